#include "app/sequence.h"

namespace spirelle {

ShardFrames::ShardFrames(const FrameRange& range, const Shard& shard)
    : range_(range), shard_(shard) {
    if (range.last < range.first || range.step < 1 || shard.index < 0 || shard.index >= shard.count)
        return;
    // 64-bit: B - A overflows an int for a range across the whole int range.
    int64_t positions = (int64_t{range.last} - range.first) / range.step + 1;
    if (shard.index < positions) size_ = (positions - shard.index - 1) / shard.count + 1;
}

int ShardFrames::operator[](int64_t i) const {
    int64_t position = shard_.index + i * shard_.count;
    return static_cast<int>(range_.first + position * range_.step);
}

}  // namespace spirelle
