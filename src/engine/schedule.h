// The arithmetic of a pass: how the image is cut into tiles, how many tiles
// are enqueued before the host waits, and how many samples a pass adds.
// Pure functions, so that the numbers can be checked without a device.
#pragma once

#include <cstdint>

namespace spirelle {

// Work-group edge of both kernels; global sizes are multiples of it.
constexpr int kLocalSize = 16;

// One batch of tiles should keep the device busy for about half a second:
// long enough to amortise the wait, short enough not to stall a display.
constexpr double kBatchTargetNs = 5e8;
constexpr int64_t kBatchTargetUs = 500000;

// Tiles are timed on a 128 x 128 region when the tile size is measured.
constexpr int kMeasureEdge = 128;

struct TileGrid {
    int columns = 0;
    int rows = 0;
    int total() const { return columns * rows; }
};

// Tile edge in pixels for an exponent; a negative exponent counts as 0.
int tile_edge(int tile_size_log2);

// ceil(W / T) columns and ceil(H / T) rows.
TileGrid tile_grid(int width, int height, int edge);

// The global size along one axis of the tile that starts at `start`: the
// part of the image it covers, rounded up to the work-group edge.
int tile_global_extent(int image_extent, int start, int edge);

// extent rounded up to a multiple of the work-group edge.
int round_up_to_local(int extent);

// The work items along x of the tile that starts at pixel column `start`,
// for a program whose work items render `lanes` adjacent pixels each.
struct TileRange {
    int offset = 0;  // first work item
    int extent = 0;  // global size
    int local = 0;   // work-group size
};

// One pixel per work item: kLocalSize-wide groups, the extent rounded up
// to them. Several: one work item per run of `lanes` pixels, which the
// tile's start must begin, and groups one work item wide.
TileRange tile_columns(int image_width, int start, int edge, int lanes);

// The lane count of a wide program for a device's preferred vector width:
// 4, 8 or 16, the largest that does not exceed the width (4 below it).
int wide_lanes_for(unsigned preferred_width);

// New tiles-per-batch after `tiles` tiles took `elapsed_us` microseconds:
// as many as fit half a second, at most a whole pass, at least one. A wait
// too short to measure keeps the current value.
int adapt_tiles_per_batch(int current, int tiles, int64_t elapsed_us, int total_tiles);

// Tiles per batch before any wait was timed, from the measured time per
// pixel (nanoseconds per pixel and pass); 1 when nothing was measured.
int initial_tiles_per_batch(int tile_size_log2, double ns_per_pixel);

// Tile exponent (5 to 9, tiles of 32 to 512 pixels) whose tile takes about
// half a second at the measured time per pixel.
int tile_exponent_for(double ns_per_pixel);

// Samples per pass exponent chosen by the engine: up to 8 samples per pass
// on a discrete device, 1 on one that shares memory with the host, never
// more than the whole sample target.
int auto_pass_samples_log2(int sampling_level, bool unified_memory);

// 1 / total samples in single precision; 0 when nothing was accumulated.
float inverse_samples(int total_samples);

}  // namespace spirelle
