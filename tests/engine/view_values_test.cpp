// The engine on the generated program, whose text leaves each layer's view
// values (centre, magnification, angle, mapping, maximum iterations) to a
// buffer: view edits refill the buffer instead of rebuilding, and the
// pixels are those of the program that has the values written into it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "cpu_device.h"
#include "engine/render_engine.h"
#include "kernelgen/scenes.h"
#include "render_scenes.h"
#include "scene/reader.h"
#include "test_files.h"

namespace spirelle {
namespace {

using testing::prepare_quietly;

// A one-colour-per-band gradient, so that a wrong sample position or a
// stale gradient changes the pixels.
Gradient bands(uint8_t shift) {
    Gradient gradient;
    gradient.color_smooth = false;
    for (int i = 0; i < 8; ++i) {
        GradientPoint point;
        point.index = i * 50;
        point.red = static_cast<uint8_t>(i * 32 + shift);
        point.green = static_cast<uint8_t>(255 - i * 32);
        point.blue = static_cast<uint8_t>(i % 2 ? 200 : 40);
        gradient.color_points.push_back(point);
    }
    return gradient;
}

// The quadratic set's boundary, where every view edit moves many pixels.
Scene boundary_scene(int precision) {
    Scene scene = testing::one_layer_scene();
    scene.precision = precision;
    scene.sampling_level = 1;
    Layer& layer = scene.layers[0];
    layer.center = {-0.75, 0.1};
    layer.magn = 1.5;
    layer.gradient = bands(0);
    layer.outside_density = 3;
    return scene;
}

std::vector<uint8_t> render(RenderEngine& engine, int samples) {
    for (int done = 0; done < samples; done += engine.samples_per_pass()) engine.run_pass(done);
    return engine.read_image(samples, 1.0f, 1.0f);
}

class ViewValues : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { device_ = testing::cpu_device_name(); }

    void SetUp() override {
        if (device_.empty()) GTEST_SKIP() << "no CPU OpenCL device";
    }

    static std::unique_ptr<RenderEngine> engine(KernelGenerator generator) {
        auto engine = std::make_unique<RenderEngine>(std::move(generator));
        engine->set_requested_device_name(device_);
        return engine;
    }

    // The scene rendered by a fresh engine.
    static std::vector<uint8_t> fresh_render(KernelGenerator generator, Scene scene, int samples) {
        scene.auto_tile_size = false;
        std::unique_ptr<RenderEngine> fresh = engine(std::move(generator));
        prepare_quietly(*fresh, scene);
        return render(*fresh, samples);
    }

    static inline std::string device_;
};

// Every edit goes to the same warm engine, which rendered the scene before
// it, so an image equal to a fresh render also shows that the
// accumulation was cleared.
TEST_F(ViewValues, ViewEditsNeedNoBuildAndRenderWhatAFreshEngineRenders) {
    struct Case {
        const char* shows;
        std::function<void(Scene&)> edit;
    };
    const Case cases[] = {
        {"a new centre",
         [](Scene& s) {
             s.layers[0].center = {-0.1, 0.9};
         }},
        {"a new magnification", [](Scene& s) { s.layers[0].magn = 4; }},
        {"a rotation", [](Scene& s) { s.layers[0].angle = 30; }},
        {"stretch and skew",
         [](Scene& s) {
             s.layers[0].stretch = 1.5;
             s.layers[0].skew = 20;
         }},
        {"more iterations", [](Scene& s) { s.layers[0].maxiter = 400; }},
        {"another image size",
         [](Scene& s) {
             s.width = 50;
             s.height = 31;
         }},
    };
    for (int precision : {1, 0}) {
        std::unique_ptr<RenderEngine> warm = engine(default_kernel_generator());
        prepare_quietly(*warm, boundary_scene(precision));
        ASSERT_TRUE(warm->last_prepare().tile_size_measured);
        const std::vector<uint8_t> before = render(*warm, 2);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.shows) + (precision ? ", double" : ", single"));
            Scene scene = boundary_scene(precision);
            c.edit(scene);
            render(*warm, 2);
            ::testing::internal::CaptureStdout();
            warm->prepare(scene);
            EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
            const PrepareReport& report = warm->last_prepare();
            EXPECT_FALSE(report.device_chosen);
            EXPECT_FALSE(report.program_built);
            EXPECT_FALSE(report.tile_size_measured);
            EXPECT_FALSE(report.gradient_written);
            const std::vector<uint8_t> image = render(*warm, 2);
            EXPECT_NE(image, before) << "the edit changed nothing";
            // In single precision the program with literals may differ in
            // the last bits of a sample where the compiler folds a literal
            // that the other program loads.
            const KernelGenerator reference =
                precision == 1 ? literal_view_kernel_generator() : default_kernel_generator();
            EXPECT_EQ(image, fresh_render(reference, scene, 2));
        }
    }
}

// The gradient table lives outside the program text too; a scene that
// changes only its gradient must not keep showing the old one.
TEST_F(ViewValues, GradientEditsReachTheDeviceWithoutABuild) {
    std::unique_ptr<RenderEngine> warm = engine(default_kernel_generator());
    Scene scene = boundary_scene(1);
    prepare_quietly(*warm, scene);
    const std::vector<uint8_t> before = render(*warm, 2);

    warm->prepare(scene);
    EXPECT_FALSE(warm->last_prepare().gradient_written) << "an unchanged gradient was written";

    scene.layers[0].gradient = bands(16);
    warm->prepare(scene);
    EXPECT_FALSE(warm->last_prepare().program_built);
    EXPECT_TRUE(warm->last_prepare().gradient_written);
    const std::vector<uint8_t> image = render(*warm, 2);
    EXPECT_NE(image, before);
    EXPECT_EQ(image, fresh_render(literal_view_kernel_generator(), scene, 2));
}

// Every example set and the render tests' scenes, made small, render the
// same pixels in both forms in double precision. (Single precision is
// counted by spirelle_bench.)
TEST_F(ViewValues, BothFormsRenderTheSamePixelsInDoublePrecision) {
    testing::TempDir dir;
    std::vector<std::pair<std::string, Scene>> scenes;
    auto add = [&](const std::string& path) {
        std::vector<Scene> sets = load_parameter_file(path);
        for (size_t i = 0; i < sets.size(); ++i) {
            scenes.emplace_back(
                std::filesystem::path(path).filename().string() + " set " + std::to_string(i),
                sets[i]);
        }
    };
    const std::filesystem::path examples = std::filesystem::path(SPIRELLE_SOURCE_DIR) / "examples";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(examples)) {
        if (entry.path().extension() == ".upr") add(entry.path().string());
    }
    add(dir.write("quad.upr", testing::kScenes + testing::kQuadEntry));
    add(dir.write("boundary.upr", testing::kBoundaryScene + testing::kQuadEntry));
    ASSERT_GE(scenes.size(), 6u);

    std::unique_ptr<RenderEngine> lifted = engine(default_kernel_generator());
    for (auto& [name, scene] : scenes) {
        SCOPED_TRACE(name);
        // A fifth of the size keeps the renders short.
        scene.width = std::max(8, scene.width / 5);
        scene.height = std::max(8, scene.height / 5);
        scene.precision = 1;
        scene.sampling_level = 1;
        scene.auto_tile_size = false;
        prepare_quietly(*lifted, scene);
        EXPECT_EQ(render(*lifted, 2), fresh_render(literal_view_kernel_generator(), scene, 2));
    }
}

}  // namespace
}  // namespace spirelle
