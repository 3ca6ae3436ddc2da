#include "ui/panel_logic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace spirelle {

std::string sampling_level_format(int level) {
    char text[48];
    std::snprintf(text, sizeof text, "%%d (= %d spp)", 1 << std::clamp(level, 0, 30));
    return text;
}

std::array<float, 3> unpack_solid(uint32_t packed) {
    return {static_cast<float>(packed & 0xFF) / 255.0f,
            static_cast<float>((packed >> 8) & 0xFF) / 255.0f,
            static_cast<float>((packed >> 16) & 0xFF) / 255.0f};
}

uint32_t pack_solid(const std::array<float, 3>& rgb, uint32_t packed) {
    uint32_t result = packed & 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        // A NaN from the editor counts as 0 rather than reaching the cast.
        float c = rgb[i] >= 0.0f ? std::min(rgb[i], 1.0f) : 0.0f;
        auto byte = static_cast<uint32_t>(static_cast<int>(255.0f * c + 0.5f));
        result |= byte << (8 * i);
    }
    return result;
}

ParamRow classify_param(const std::string& text) {
    ParamRow row;
    if (text.empty()) return row;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == '\0') {
        row.numeric = true;
        row.value = value;
    }
    return row;
}

std::string format_param(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

int clamp_fps(int fps) { return std::clamp(fps, 1, 240); }

float progress_fraction(int done, int target) {
    if (target < 1) return 0.0f;
    return std::clamp(static_cast<float>(done) / static_cast<float>(target), 0.0f, 1.0f);
}

double elapsed_seconds(int64_t start_ns, int64_t last_ns) {
    return static_cast<double>(std::max<int64_t>(last_ns - start_ns, 0)) / 1e9;
}

int device_combo_index(const std::vector<std::string>& names, const std::string& name) {
    if (name.empty()) return 0;
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? 0 : 1 + static_cast<int>(it - names.begin());
}

std::string set_label(const Scene& set) { return set.name.empty() ? "(unnamed)" : set.name; }

std::string layer_label(size_t index, const Layer& layer) {
    char text[96];
    std::snprintf(text, sizeof text, "layer %zu (%s)", index, layer.formula.entry.c_str());
    return text;
}

bool has_track(const TrackMap& tracks, const std::string& track) {
    return tracks.find(track) != tracks.end();
}

std::string param_track_name(const std::string& key) { return "p_" + key; }

}  // namespace spirelle
