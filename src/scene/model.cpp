// Merge-mode names and keyframe evaluation: properties of the scene data
// rather than of any one consumer.
#include "scene/model.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace spirelle {

const std::vector<std::string> kMergeModeNames = {
    "normal",     "multiply",   "screen",      "overlay",  "hardlight", "softlight",   "darken",
    "lighten",    "difference", "subtraction", "addition", "hue",       "color",       "luminance",
    "saturation", "hsladd",     "red",         "green",    "blue",      "passthrough",
};

int merge_mode_index(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto it = std::find(kMergeModeNames.begin(), kMergeModeNames.end(), lower);
    return it == kMergeModeNames.end() ? 0 : static_cast<int>(it - kMergeModeNames.begin());
}

double frame_time(int frame) { return (static_cast<double>(frame) - 1.0) * 160.0; }

namespace {

double read_value(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

Complex read_complex(const std::string& text) {
    size_t slash = text.find('/');
    if (slash == std::string::npos) return {read_value(text), 0.0};
    return {read_value(text.substr(0, slash)), read_value(text.substr(slash + 1))};
}

// Where x falls in a track: the segment index and the shaped parameter t, or
// the index of a single keyframe whose value stands unchanged.
struct Segment {
    size_t index = 0;
    double t = 0.0;
    bool single = true;
};

Segment locate(const KeyframeTrack& track, double x) {
    if (track.size() == 1 || x <= track.front().position) return {0, 0.0, true};
    if (x >= track.back().position) return {track.size() - 1, 0.0, true};
    for (size_t i = 0; i + 1 < track.size(); ++i) {
        double p0 = track[i].position;
        double p1 = track[i + 1].position;
        if (p0 <= x && x <= p1) {
            double t = p1 == p0 ? 0.0 : (x - p0) / (p1 - p0);
            const std::string& flags = track[i].flags;
            if (flags.size() >= 2 && flags.find("NN") != std::string::npos) {
                t = 0.0;
            } else if (flags.rfind("SS", 0) == 0) {
                t = (3.0 - 2.0 * t) * t * t;  // smoothstep
            }
            return {i, t, false};
        }
    }
    return {0, 0.0, true};  // positions out of order
}

bool has_exponential_key(const KeyframeTrack& track) {
    return std::any_of(track.begin(), track.end(),
                       [](const Keyframe& k) { return k.flags.find('E') != std::string::npos; });
}

std::string format_real(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

int32_t round_to_int32(double v) {
    double r = std::round(v);
    if (!(r >= std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(r);
}

// Writes a "p_" track back into a parameter map, as real or complex text.
void apply_param_track(const std::string& track_name, const KeyframeTrack& track, double time,
                       std::map<std::string, std::string>& params) {
    if (track_name.rfind("p_", 0) != 0) return;
    std::string name = track_name.substr(2);
    std::string& text = params[name];
    bool is_complex = text.find('/') != std::string::npos ||
                      (!track.empty() && track.front().value.find('/') != std::string::npos);
    if (is_complex) {
        Complex c = evaluate_complex_track(track, time);
        text = format_real(c.re) + "/" + format_real(c.im);
    } else {
        text = format_real(evaluate_real_track(track, time));
    }
}

void apply_coloring_tracks(FormulaEntry& coloring, double& density, double time) {
    for (const auto& [name, track] : coloring.tracks) {
        if (name == "density") {
            density = evaluate_real_track(track, time);
        } else {
            apply_param_track(name, track, time, coloring.params);
        }
    }
}

void apply_layer_tracks(Layer& layer, double time) {
    for (const auto& [name, track] : layer.tracks) {
        if (name == "center") {
            layer.center = evaluate_complex_track(track, time);
        } else if (name == "magn") {
            layer.magn = evaluate_real_track(track, time);
        } else if (name == "angle") {
            layer.angle = evaluate_real_track(track, time);
        } else if (name == "stretch") {
            layer.stretch = evaluate_real_track(track, time);
        } else if (name == "skew") {
            layer.skew = evaluate_real_track(track, time);
        } else if (name == "opacity") {
            layer.opacity = round_to_int32(evaluate_real_track(track, time));
        } else if (name == "maxiter") {
            layer.maxiter = round_to_int32(evaluate_real_track(track, time));
        } else {
            apply_param_track(name, track, time, layer.formula.params);
        }
    }
    apply_coloring_tracks(layer.inside, layer.inside_density, time);
    apply_coloring_tracks(layer.outside, layer.outside_density, time);
    for (FormulaEntry& transform : layer.transforms) {
        for (const auto& [name, track] : transform.tracks) {
            apply_param_track(name, track, time, transform.params);
        }
    }
}

}  // namespace

double evaluate_real_track(const KeyframeTrack& track, double x) {
    if (track.empty()) return 0.0;
    Segment s = locate(track, x);
    double v0 = read_value(track[s.index].value);
    if (s.single) return v0;
    double v1 = read_value(track[s.index + 1].value);
    if (has_exponential_key(track) && v0 > 0.0 && v1 > 0.0) {
        return std::exp(std::log(v0) * (1.0 - s.t) + std::log(v1) * s.t);
    }
    return (1.0 - s.t) * v0 + s.t * v1;
}

Complex evaluate_complex_track(const KeyframeTrack& track, double x) {
    if (track.empty()) return {};
    Segment s = locate(track, x);
    Complex c0 = read_complex(track[s.index].value);
    if (s.single) return c0;
    Complex c1 = read_complex(track[s.index + 1].value);
    return {(1.0 - s.t) * c0.re + s.t * c1.re, (1.0 - s.t) * c0.im + s.t * c1.im};
}

void evaluate_tracks(Scene& scene, double time) {
    if (time == 0.0) return;
    for (Layer& layer : scene.layers) apply_layer_tracks(layer, time);
}

bool is_animated(const Scene& scene) {
    if (scene.frames >= 2) return true;
    for (const Layer& layer : scene.layers) {
        if (!layer.tracks.empty() || !layer.inside.tracks.empty() ||
            !layer.outside.tracks.empty()) {
            return true;
        }
        for (const FormulaEntry& t : layer.transforms) {
            if (!t.tracks.empty()) return true;
        }
    }
    return false;
}

}  // namespace spirelle
