// Builds generated programs with the OpenCL compiler of the CPU device: every
// example and exercise scene in both precisions and all forms, and scenes written here to
// reach every merge mode, transfer function and coloring path. This catches
// what comparing text cannot: code that the compiler rejects.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "kernelgen/kernel_source.h"
#include "opencl_build.h"
#include "scene/reader.h"
#include "scenes.h"

namespace spirelle {
namespace {

using testing::build_program;
using testing::cpu_device;

// In both precisions, with the view values written in and read from the
// layer_view buffer, in the canonical and the wide form.
void expect_builds(Scene scene, const std::string& what) {
    for (int precision : {0, 1}) {
        for (ViewValues view : {ViewValues::literals, ViewValues::buffer}) {
            for (bool wide : {false, true}) {
                scene.precision = precision;
                const std::string source =
                    wide ? build_wide_kernel_source(scene, view, precision ? 8 : 16).text
                         : build_kernel_source(scene, view);
                testing::BuildResult result = build_program(source, precision == 1);
                EXPECT_TRUE(result.ok) << what << (precision ? " (double" : " (single")
                                       << (view == ViewValues::buffer ? ", view buffer" : "")
                                       << (wide ? ", wide)" : ")") << " does not build:\n"
                                       << result.log;
            }
        }
    }
}

std::vector<std::string> scene_files() {
    std::vector<std::string> files;
    const std::filesystem::path root = std::filesystem::path(SPIRELLE_SOURCE_DIR) / "examples";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().extension() == ".upr") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(KernelCompile, EveryExampleAndExerciseSceneBuilds) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    const std::vector<std::string> files = scene_files();
    ASSERT_FALSE(files.empty());
    for (const std::string& file : files) {
        std::vector<Scene> scenes = load_parameter_file(file);
        for (size_t i = 0; i < scenes.size(); ++i) {
            expect_builds(scenes[i], file + " set " + std::to_string(i));
        }
    }
}

// All merge modes and transfer functions in one scene: one layer per mode,
// the transfers spread over inside and outside with both repeat settings,
// solid colors and transparency on some layers.
TEST(KernelCompile, EveryMergeModeAndTransferBuilds) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    static const char* kTransfers[] = {"linear", "sqrt", "sqr", "cube",   "cuberoot",
                                       "log",    "exp",  "sin", "arctan", "none"};
    Scene scene = testing::one_layer_scene();
    scene.sampling_level = 2;
    const Layer base = scene.layers[0];
    scene.layers.clear();
    for (size_t i = 0; i < kMergeModeNames.size(); ++i) {
        Layer layer = base;
        layer.mergemode = kMergeModeNames[i];
        layer.opacity = static_cast<int32_t>(i * 5);
        layer.inside_transfer = kTransfers[i % 10];
        layer.outside_transfer = kTransfers[(i + 3) % 10];
        layer.outside_repeat = i % 2 == 0;
        layer.transparent = i % 3 == 0;
        layer.inside_solid = i % 4 == 0 ? 0xFF8040u : 0;
        layer.outside_solid = i % 5 == 0 ? 0x123456u : 0;
        if (i % 2 == 1) {
            layer.inside.loop = "sum = sum + |z|\n";
            layer.inside.final = "#index = sum / (#numiter + 1)\n";
            layer.outside.final = "#index = atan2(z) / (2 * #pi)\n";
        }
        scene.layers.push_back(layer);
    }
    expect_builds(scene, "merge modes and transfers");
}

TEST(KernelCompile, HostileSceneBuilds) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    expect_builds(testing::hostile_scene(), "hostile scene");
}

// A transform name ending in a trigraph backslash must not join the block
// that follows its comment to the comment.
TEST(KernelCompile, TransformNameEndingInATrigraphBuilds) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    Scene scene = testing::one_layer_scene();
    FormulaEntry transform;
    transform.entry = "Shift?\?/";
    transform.transform = "#pixel = #pixel + 1\n";
    scene.layers[0].transforms = {transform};
    expect_builds(scene, "transform named Shift?\?/");
}

}  // namespace
}  // namespace spirelle
