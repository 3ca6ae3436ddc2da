// The Controls panel's arithmetic and text, apart from ImGui so that it is
// tested without a window: slider captions, colour packing, the kind of row
// a formula parameter gets, clamps and the progress figures.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/model.h"

namespace spirelle {

// Display format of the sampling-level slider: at level 4 the slider reads
// "4 (= 16 spp)". The result is itself an ImGui format with one "%d".
std::string sampling_level_format(int level);

// A packed solid colour (red in bits 0-7, green 8-15, blue 16-23) as three
// floats in 0..1 for a colour editor.
std::array<float, 3> unpack_solid(uint32_t packed);

// The edited floats back into `packed`: each becomes (int)(255 * clamp(c, 0, 1)
// + 0.5). Bits 24-31 are kept as they were.
uint32_t pack_solid(const std::array<float, 3>& rgb, uint32_t packed);

// A formula parameter whose whole text reads as one number is edited with a
// drag; anything else (a complex "re/im", a name, empty text) as text.
struct ParamRow {
    bool numeric = false;
    double value = 0.0;
};
ParamRow classify_param(const std::string& text);

// A dragged parameter value written back as "%.10g".
std::string format_param(double value);

// Playback rate typed into the panel, kept within 1..240.
int clamp_fps(int fps);

// Progress bar fraction: done / target within 0..1, 0 for a target below 1.
float progress_fraction(int done, int target);

// Seconds between the job's start and its last pass, never negative.
double elapsed_seconds(int64_t start_ns, int64_t last_ns);

// Index shown by the device combo: 0 for "auto" (empty name or one that is
// not listed), otherwise 1 + its position in the list.
int device_combo_index(const std::vector<std::string>& names, const std::string& name);

// Combo items: a set's name or "(unnamed)"; "layer 2 (Mandelbrot)".
std::string set_label(const Scene& set);
std::string layer_label(size_t index, const Layer& layer);

// True when the value named `track` is driven by an animation track.
bool has_track(const TrackMap& tracks, const std::string& track);

// The track that drives formula parameter `key`: the layer keeps parameter
// tracks under "p_" + the parameter's name.
std::string param_track_name(const std::string& key);

}  // namespace spirelle
