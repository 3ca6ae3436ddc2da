// The frames of a numbered sequence, and the share of them that one of
// several machines renders. A range A:B:STEP holds the frames A, A + STEP,
// ... up to B; shard I of N takes the frames at positions I, I + N, I + 2N,
// ... of that list, so N shards together render every frame exactly once
// with the same names and pixels as one run.
#pragma once

#include <cstdint>

namespace spirelle {

struct FrameRange {
    int first = 1;
    int last = 1;
    int step = 1;  // at least 1
};

struct Shard {
    int index = 0;  // 0 <= index < count
    int count = 1;
};

class ShardFrames {
  public:
    ShardFrames(const FrameRange& range, const Shard& shard = {});

    // Number of frames in the shard; 0 for an empty range.
    int64_t size() const { return size_; }
    // The i-th frame of the shard, in sequence order.
    int operator[](int64_t i) const;

  private:
    FrameRange range_;
    Shard shard_;
    int64_t size_ = 0;
};

}  // namespace spirelle
