#include "engine/schedule.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

TEST(TileGrid, CoversTheImageWithWorkGroupAlignedTiles) {
    struct Case {
        const char* shows;
        int width, height, edge;
        int columns, rows;
        int last_global_x, last_global_y;
    };
    const Case cases[] = {
        {"a small image is one rounded-up tile", 100, 50, 256, 1, 1, 112, 64},
        {"a partial last column is rounded up", 600, 256, 256, 3, 1, 96, 256},
        {"exact multiples leave full tiles", 512, 512, 256, 2, 2, 256, 256},
        {"a single pixel still launches a work group", 1, 1, 32, 1, 1, 16, 16},
        {"tiles smaller than a work group round up", 40, 24, 8, 5, 3, 16, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        TileGrid grid = tile_grid(c.width, c.height, c.edge);
        EXPECT_EQ(grid.columns, c.columns);
        EXPECT_EQ(grid.rows, c.rows);
        EXPECT_EQ(tile_global_extent(c.width, (c.columns - 1) * c.edge, c.edge), c.last_global_x);
        EXPECT_EQ(tile_global_extent(c.height, (c.rows - 1) * c.edge, c.edge), c.last_global_y);
    }
}

TEST(TileColumns, CountWorkItemsInPixelsOrInRunsOfLanes) {
    struct Case {
        const char* shows;
        int width, start, edge, lanes;
        TileRange expected;
    };
    const Case cases[] = {
        {"one pixel per item: work-group aligned", 100, 64, 64, 1, {64, 48, kLocalSize}},
        {"runs of 16: the last run is partial", 100, 64, 64, 16, {4, 3, 1}},
        {"runs of 8 in a full tile", 512, 256, 256, 8, {32, 32, 1}},
        {"an image narrower than one run", 5, 0, 32, 16, {0, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        TileRange range = tile_columns(c.width, c.start, c.edge, c.lanes);
        EXPECT_EQ(range.offset, c.expected.offset);
        EXPECT_EQ(range.extent, c.expected.extent);
        EXPECT_EQ(range.local, c.expected.local);
    }
}

TEST(WideLanes, FollowThePreferredVectorWidthBetweenFourAndSixteen) {
    const std::pair<unsigned, int> cases[] = {{0, 4},  {1, 4},   {4, 4},  {8, 8},
                                              {12, 8}, {16, 16}, {64, 16}};
    for (const auto& [preferred, lanes] : cases)
        EXPECT_EQ(wide_lanes_for(preferred), lanes) << preferred;
}

TEST(TileEdge, NegativeExponentsMeanOnePixelAndHugeOnesStayDefined) {
    EXPECT_EQ(tile_edge(-3), 1);
    EXPECT_EQ(tile_edge(8), 256);
    EXPECT_GT(tile_edge(100), 0);
}

TEST(TilesPerBatch, AdaptsToHalfASecondWithinOneAndAPass) {
    struct Case {
        const char* shows;
        int current, tiles;
        int64_t elapsed_us;
        int total;
        int expected;
    };
    const Case cases[] = {
        {"a wait too short to measure keeps the batch", 7, 7, 0, 100, 7},
        {"fast tiles grow the batch to fill half a second", 1, 1, 1000, 10000, 500},
        {"the batch never exceeds the tiles of a pass", 1, 1, 1000, 12, 12},
        {"slow tiles shrink the batch", 10, 10, 2000000, 100, 2},
        {"a batch slower than half a second per tile still holds one", 4, 1, 3000000, 100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        EXPECT_EQ(adapt_tiles_per_batch(c.current, c.tiles, c.elapsed_us, c.total), c.expected);
    }
}

TEST(TilesPerBatch, StartsFromTheMeasuredTimePerPixel) {
    EXPECT_EQ(initial_tiles_per_batch(8, 0.0), 1);            // nothing measured
    EXPECT_EQ(initial_tiles_per_batch(8, 1.0), 7629);         // 5e8 / 65536
    EXPECT_EQ(initial_tiles_per_batch(9, 1e4), 1);            // one tile already takes longer
    EXPECT_EQ(initial_tiles_per_batch(-2, 5e8 / 3), 3);       // an edge of one pixel
    EXPECT_EQ(initial_tiles_per_batch(5, 1e-12), INT32_MAX);  // clamped, not overflowed
}

TEST(TileExponent, TargetsHalfASecondBetween32And512Pixels) {
    struct Case {
        const char* shows;
        double ns_per_pixel;
        int exponent;
    };
    const Case cases[] = {
        {"no measured time gives the largest tile", 0.0, 9},
        {"a fast device gets the largest tile", 1.0, 9},
        {"5e8 / 100^2 ns per pixel gives an edge of 100, so 64 pixels", 5e4, 6},
        {"a slow device gets the smallest tile", 1e9, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        EXPECT_EQ(tile_exponent_for(c.ns_per_pixel), c.exponent);
    }
}

TEST(PassSamples, DiscreteDevicesTakeUpToEightUnifiedOnesOne) {
    struct Case {
        int level;
        bool unified;
        int log2;
    };
    const Case cases[] = {{0, false, 0}, {2, false, 2}, {5, false, 3}, {10, false, 3},
                          {5, true, 0},  {0, true, 0},  {-1, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "level " << c.level << (c.unified ? " unified" : " discrete"));
        EXPECT_EQ(auto_pass_samples_log2(c.level, c.unified), c.log2);
    }
}

TEST(InverseSamples, NothingAccumulatedGivesZero) {
    EXPECT_EQ(inverse_samples(0), 0.0f);
    EXPECT_EQ(inverse_samples(-4), 0.0f);
    EXPECT_EQ(inverse_samples(4), 0.25f);
}

}  // namespace
}  // namespace spirelle
