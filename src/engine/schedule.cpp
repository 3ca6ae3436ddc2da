#include "engine/schedule.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace spirelle {

int tile_edge(int tile_size_log2) {
    // Tiles larger than any image size an int can hold are pointless; the
    // cap keeps the shift defined.
    return 1 << std::clamp(tile_size_log2, 0, 30);
}

namespace {

int ceil_div(int64_t a, int64_t b) { return static_cast<int>((a + b - 1) / b); }

}  // namespace

TileGrid tile_grid(int width, int height, int edge) {
    return {ceil_div(width, edge), ceil_div(height, edge)};
}

int round_up_to_local(int extent) { return ceil_div(extent, kLocalSize) * kLocalSize; }

int tile_global_extent(int image_extent, int start, int edge) {
    return round_up_to_local(std::min(image_extent - start, edge));
}

TileRange tile_columns(int image_width, int start, int edge, int lanes) {
    if (lanes <= 1) {
        return {start, tile_global_extent(image_width, start, edge), kLocalSize};
    }
    const int pixels = std::min(image_width - start, edge);
    return {start / lanes, ceil_div(pixels, lanes), 1};
}

int wide_lanes_for(unsigned preferred_width) {
    if (preferred_width >= 16) return 16;
    if (preferred_width >= 8) return 8;
    return 4;
}

int adapt_tiles_per_batch(int current, int tiles, int64_t elapsed_us, int total_tiles) {
    if (elapsed_us <= 0) return current;
    int64_t fit = static_cast<int64_t>(tiles) * kBatchTargetUs / elapsed_us;
    if (total_tiles < fit) return total_tiles;
    return fit > 0 ? static_cast<int>(fit) : 1;
}

int initial_tiles_per_batch(int tile_size_log2, double ns_per_pixel) {
    double edge = tile_edge(tile_size_log2);
    double batch_pixels_ns = edge * edge * ns_per_pixel;
    if (!(batch_pixels_ns > 0)) return 1;
    double tiles = std::floor(kBatchTargetNs / batch_pixels_ns);
    return static_cast<int>(std::clamp(tiles, 1.0, static_cast<double>(INT_MAX)));
}

int tile_exponent_for(double ns_per_pixel) {
    double pixels = kBatchTargetNs / std::max(ns_per_pixel, 1e-6);
    double edge = std::sqrt(pixels);
    int exponent = static_cast<int>(std::floor(std::log2(std::max(32.0, edge))));
    return std::clamp(exponent, 5, 9);
}

int auto_pass_samples_log2(int sampling_level, bool unified_memory) {
    return std::min(std::max(sampling_level, 0), unified_memory ? 0 : 3);
}

float inverse_samples(int total_samples) {
    return total_samples > 0 ? 1.0f / static_cast<float>(total_samples) : 0.0f;
}

}  // namespace spirelle
