// Which frames a shard of a sequence renders.
#include "app/sequence.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace spirelle {
namespace {

std::vector<int> frames_of(const FrameRange& range, const Shard& shard = {}) {
    ShardFrames frames(range, shard);
    std::vector<int> list;
    for (int64_t i = 0; i < frames.size(); ++i) list.push_back(frames[i]);
    return list;
}

// Every shard keeps sequence order, and all shards together give the whole
// sequence with no frame twice.
TEST(ShardFrames, ShardsPartitionTheSequence) {
    struct Case {
        const char* shows;
        FrameRange range;
        int count;
    };
    const Case cases[] = {
        {"one shard", {1, 6, 1}, 1},
        {"three shards of six frames", {1, 6, 1}, 3},
        {"shards that do not divide the frames", {1, 7, 1}, 3},
        {"more shards than frames", {3, 4, 1}, 5},
        {"a step above one", {2, 20, 3}, 4},
        {"one frame", {5, 5, 2}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        std::vector<int> whole = frames_of(c.range);
        std::vector<int> united;
        for (int i = 0; i < c.count; ++i) {
            std::vector<int> part = frames_of(c.range, {i, c.count});
            EXPECT_TRUE(std::is_sorted(part.begin(), part.end()));
            // Position k of the sequence belongs to shard k mod N.
            for (int frame : part) {
                auto position = std::find(whole.begin(), whole.end(), frame) - whole.begin();
                EXPECT_EQ(position % c.count, i) << "frame " << frame;
            }
            united.insert(united.end(), part.begin(), part.end());
        }
        std::sort(united.begin(), united.end());
        EXPECT_EQ(united, whole);
    }
}

TEST(ShardFrames, ListsTheRange) {
    EXPECT_EQ(frames_of({2, 20, 3}), (std::vector<int>{2, 5, 8, 11, 14, 17, 20}));
    EXPECT_EQ(frames_of({2, 20, 3}, {1, 3}), (std::vector<int>{5, 14}));
    EXPECT_EQ(frames_of({3, 9, 3}, {2, 2}), std::vector<int>{});  // not a shard: empty
    EXPECT_EQ(frames_of({9, 3, 1}), std::vector<int>{});
    // Across the whole int range without overflow.
    ShardFrames wide({-2147483647, 2147483647, 1073741824}, {1, 2});
    EXPECT_EQ(wide.size(), 2);
    EXPECT_EQ(wide[0], -1073741823);
    EXPECT_EQ(wide[1], 1073741825);
}

}  // namespace
}  // namespace spirelle
