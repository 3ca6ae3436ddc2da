// The in-memory form of one parameter set.
//
// A Scene is a plain value: the reader fills it, formula resolution completes
// its formula entries, the user interface edits it and the kernel generator
// and the engine read it. Nothing in it points outside itself, so it can be
// copied whole when it is handed to another thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace spirelle {

// One animated value at one position. The value is kept as text because
// parameters may be real or complex; it is interpreted when evaluated.
struct Keyframe {
    double position = 0.0;
    std::string value;
    std::string flags;  // a run of the letters S, E, L and N
};

// Keyframes in file order; positions are expected to ascend but are never
// sorted.
using KeyframeTrack = std::vector<Keyframe>;

using TrackMap = std::map<std::string, KeyframeTrack>;

// A function that a fractal formula defines in its init section.
struct UserFunctionParam {
    std::string type;
    std::string name;
};

struct UserFunction {
    std::string name;  // lower case
    std::string return_type = "complex";
    std::vector<UserFunctionParam> params;
    std::string body;  // one trimmed statement per line, each ending in "\n"
};

// A fractal formula, a coloring or a transform as a layer names it, and
// after resolution the text of the entry it names.
struct FormulaEntry {
    std::string filename;
    std::string entry;
    // Lower-case parameter name without its "p_" prefix -> value text as read,
    // keyframe markers included. Defaults are merged in at resolution.
    std::map<std::string, std::string> params;
    // Lower-case function-parameter name without "f_" -> function name.
    std::map<std::string, std::string> funcs;
    // Parameter name as declared (without "@") -> its enumerated values.
    std::map<std::string, std::vector<std::string>> param_decls;

    // Section texts, filled at resolution. A formula uses global, init, loop
    // and bailout; a coloring global, init, loop and final; a transform
    // global and transform.
    std::string global;
    std::string init;
    std::string loop;
    std::string bailout;
    std::string final;
    std::string transform;

    std::vector<UserFunction> user_functions;  // main formula only
    bool enabled = true;                       // transforms only
    TrackMap tracks;                           // colorings and transforms only
};

struct GradientPoint {
    int32_t index = 0;  // 0 to 399
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

struct OpacityPoint {
    int32_t index = 0;  // 0 to 399
    uint8_t opacity = 255;
};

// Colour and opacity control points on a ring of 400 positions.
struct Gradient {
    bool color_smooth = true;
    std::vector<GradientPoint> color_points;
    bool opacity_smooth = true;
    std::vector<OpacityPoint> opacity_points;
};

constexpr int kGradientRing = 400;

struct Complex {
    double re = 0.0;
    double im = 0.0;
};

struct Layer {
    // location
    Complex center;
    double magn = 1.0;
    double angle = 0.0;  // degrees
    double stretch = 1.0;
    double skew = 0.0;
    // iteration
    int32_t maxiter = 250;
    // formula
    FormulaEntry formula;
    int32_t bailout_test_index = 0;
    // inside
    std::string inside_transfer = "none";
    FormulaEntry inside;
    uint32_t inside_solid = 0;
    double inside_density = 1.0;
    // outside
    std::string outside_transfer = "linear";
    FormulaEntry outside;
    uint32_t outside_solid = 0;
    bool outside_repeat = true;
    double outside_density = 1.0;
    // gradient
    Gradient gradient;
    // transforms, in file order, disabled ones included
    std::vector<FormulaEntry> transforms;
    // compositing
    std::string mergemode = "normal";
    int32_t opacity = 100;  // percent
    bool transparent = false;
    bool visible = true;
    // animation of the layer's own values and the main formula's parameters
    TrackMap tracks;
};

struct Scene {
    std::string name;
    int32_t width = 800;
    int32_t height = 600;
    // Render settings: not part of the file, set by whoever starts a render.
    int32_t precision = 0;  // 0 = single, 1 = double
    int32_t sampling_level = 0;
    int32_t pass_samples_log2 = 0;
    bool auto_pass_samples = true;
    int32_t tile_size_log2 = 8;
    bool auto_tile_size = true;

    std::vector<Layer> layers;  // first is the top layer
    int32_t frames = 1;
    int32_t fps = 30;
};

// Merge modes in kernel index order; "normal" first, "passthrough" last.
extern const std::vector<std::string> kMergeModeNames;

// Index of the lower-cased name in kMergeModeNames; unknown names give 0.
int merge_mode_index(const std::string& name);

// Animation time at which tracks are evaluated for a frame counted from 1.
double frame_time(int frame);

// Real and complex evaluation of one track at time x.
double evaluate_real_track(const KeyframeTrack& track, double x);
Complex evaluate_complex_track(const KeyframeTrack& track, double x);

// Applies every track of every layer at time x; does nothing at time 0.
void evaluate_tracks(Scene& scene, double time);

// True when the scene has several frames or any track.
bool is_animated(const Scene& scene);

}  // namespace spirelle
