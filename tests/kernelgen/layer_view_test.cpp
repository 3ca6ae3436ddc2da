// The form of the program that reads each layer's view values from the
// layer_view buffer: its text must stay the same under every view edit,
// change with everything else, and otherwise be the literal form's text.
#include "kernelgen/layer_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "kernelgen/kernel_source.h"
#include "scene/reader.h"
#include "scenes.h"

namespace spirelle {
namespace {

std::string lifted(const Scene& scene) { return build_kernel_source(scene, ViewValues::buffer); }

// Two layers, the lower one with a transform and a user function, so that
// layer numbering and the frame around spliced code are covered.
Scene two_layer_scene() {
    Scene scene = testing::one_layer_scene();
    Layer lower = scene.layers[0];
    lower.center = {0.25, -0.5};
    lower.maxiter = 80;
    UserFunction twice;
    twice.name = "twice";
    twice.params = {{"complex", "a"}};
    twice.body = "return a * 2\n";
    lower.formula.user_functions = {twice};
    lower.formula.loop = "z = twice(z) * z + c\n";
    FormulaEntry shift;
    shift.entry = "Shift";
    shift.transform = "#pixel = #pixel + #center * 0.1\n";
    lower.transforms = {shift};
    lower.outside.final = "#index = #magn * cabs(z) + #maxiter\n";
    scene.layers.push_back(lower);
    return scene;
}

struct Edit {
    const char* shows;
    std::function<void(Scene&)> apply;
};

TEST(LiftedText, StaysTheSameUnderViewEdits) {
    const Edit edits[] = {
        {"centre",
         [](Scene& s) {
             s.layers[1].center = {-1.5, 0.75};
         }},
        {"magnification", [](Scene& s) { s.layers[0].magn = 1e9; }},
        {"angle", [](Scene& s) { s.layers[1].angle = 45; }},
        {"stretch", [](Scene& s) { s.layers[0].stretch = 3; }},
        {"skew", [](Scene& s) { s.layers[1].skew = -10; }},
        {"maximum iterations", [](Scene& s) { s.layers[0].maxiter = 100000; }},
        {"image size",
         [](Scene& s) {
             s.width = 1920;
             s.height = 1080;
         }},
    };
    for (int precision : {0, 1}) {
        Scene base = two_layer_scene();
        base.precision = precision;
        for (const Edit& edit : edits) {
            SCOPED_TRACE(std::string(edit.shows) + (precision ? ", double" : ", single"));
            Scene edited = base;
            edit.apply(edited);
            EXPECT_NE(build_kernel_source(edited), build_kernel_source(base))
                << "the literal text does not show this edit";
            EXPECT_EQ(lifted(edited), lifted(base));
        }
    }
}

TEST(LiftedText, ChangesWithWhatTheProgramComputes) {
    const Edit edits[] = {
        {"formula code", [](Scene& s) { s.layers[0].formula.loop = "z = z*z*z + c\n"; }},
        {"formula parameter", [](Scene& s) { s.layers[0].formula.params["bailout"] = "16"; }},
        {"coloring", [](Scene& s) { s.layers[1].outside.final = "#index = cabs(z)\n"; }},
        {"coloring parameter", [](Scene& s) { s.layers[0].outside_density = 2; }},
        {"transfer function", [](Scene& s) { s.layers[1].outside_transfer = "sqrt"; }},
        {"solid colour", [](Scene& s) { s.layers[0].inside_solid = 0x00FF00; }},
        {"merge mode", [](Scene& s) { s.layers[0].mergemode = "screen"; }},
        {"opacity", [](Scene& s) { s.layers[1].opacity = 40; }},
        {"another layer", [](Scene& s) { s.layers.push_back(s.layers[0]); }},
        {"precision", [](Scene& s) { s.precision = 1; }},
        {"blue noise", [](Scene& s) { s.sampling_level = 3; }},
    };
    const Scene base = two_layer_scene();
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.shows);
        Scene edited = base;
        edit.apply(edited);
        EXPECT_NE(lifted(edited), lifted(base));
    }
}

// The lines that carry view values, in either form, or hand them on.
std::string without_view_lines(const std::string& text) {
    static const char* const kViewLines[] = {
        "float4 eval_layer_",
        "    const real_t center_re = ",
        "    const real_t center_im = ",
        "    const real_t pixel_size = ",
        "    const int maxiter = ",
        "    const real_t _layer_magn = ",
        "    const real_t _layer_angle = ",
        "    real_t re = center_re + ",
        "    real_t im = center_im + ",
        "        src = eval_layer_",
        "    const int spp_count",
        "    __constant real_t * layer_view",
    };
    std::istringstream in(text);
    std::string out, line;
    while (std::getline(in, line)) {
        bool view = false;
        for (const char* prefix : kViewLines) view = view || line.rfind(prefix, 0) == 0;
        if (!view) out += line + "\n";
    }
    return out;
}

// Everything that comes from the scene's files, hostile text included,
// reaches both forms the same way; the forms differ only where the view
// values are read.
TEST(LiftedText, IsTheLiteralTextWithTheViewReadFromTheBuffer) {
    std::vector<std::pair<std::string, Scene>> scenes = {
        {"one layer", testing::one_layer_scene()},
        {"two layers", two_layer_scene()},
        {"hostile", testing::hostile_scene()},
    };
    const std::filesystem::path examples = std::filesystem::path(SPIRELLE_SOURCE_DIR) / "examples";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(examples)) {
        if (entry.path().extension() != ".upr") continue;
        for (const Scene& scene : load_parameter_file(entry.path().string()))
            scenes.emplace_back(entry.path().filename().string(), scene);
    }
    for (auto& [name, scene] : scenes) {
        for (int precision : {0, 1}) {
            SCOPED_TRACE(name + (precision ? ", double" : ", single"));
            scene.precision = precision;
            scene.sampling_level = 1;
            const std::string literal = build_kernel_source(scene);
            const std::string buffer = lifted(scene);
            EXPECT_EQ(without_view_lines(buffer), without_view_lines(literal));
            // Each layer reads its own slots.
            for (size_t i = 0; i < scene.layers.size(); ++i) {
                EXPECT_NE(
                    buffer.find("(gx, gy, width, height, ox, oy, gradient_lut, layer_view + " +
                                std::to_string(i * kLayerViewSlots) + ");\n"),
                    std::string::npos);
            }
        }
    }
}

TEST(LiftedText, ReadsTheIterationLimitFromItsBits) {
    Scene scene = testing::one_layer_scene();
    EXPECT_NE(lifted(scene).find("    const int maxiter = as_int(_layer_view[3]);\n"),
              std::string::npos);
    scene.precision = 1;
    EXPECT_NE(lifted(scene).find("    const int maxiter = (int)as_long(_layer_view[3]);\n"),
              std::string::npos);
}

template <typename T>
T slot_value(const std::vector<uint8_t>& buffer, size_t layer, int slot, size_t real_size) {
    T value{};
    std::memcpy(&value, buffer.data() + (layer * kLayerViewSlots + slot) * real_size, sizeof value);
    return value;
}

// Each layer has its own slots, and an iteration limit beyond what a float
// holds exactly travels unrounded. (Whether the program reads the slots
// right shows in the engine's pixel comparisons.)
TEST(LayerViewBuffer, HoldsEachLayersValuesInItsOwnSlots) {
    Scene scene = two_layer_scene();
    scene.layers[1].maxiter = (1 << 24) + 1;
    for (int precision : {0, 1}) {
        SCOPED_TRACE(precision ? "double" : "single");
        scene.precision = precision;
        const std::vector<uint8_t> buffer = layer_view_buffer(scene);
        const size_t real = precision ? sizeof(double) : sizeof(float);
        ASSERT_EQ(buffer.size(), 2 * kLayerViewSlots * real);
        for (size_t i = 0; i < 2; ++i) {
            const Layer& layer = scene.layers[i];
            if (precision) {
                EXPECT_EQ(slot_value<double>(buffer, i, kViewCenterIm, real), layer.center.im);
                EXPECT_EQ(slot_value<int64_t>(buffer, i, kViewMaxiter, real), layer.maxiter);
            } else {
                EXPECT_EQ(slot_value<float>(buffer, i, kViewCenterIm, real),
                          static_cast<float>(layer.center.im));
                EXPECT_EQ(slot_value<int32_t>(buffer, i, kViewMaxiter, real), layer.maxiter);
            }
        }
    }
}

}  // namespace
}  // namespace spirelle
