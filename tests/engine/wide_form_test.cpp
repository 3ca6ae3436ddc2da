// The wide form of the generated program on the CPU device, where the engine
// builds it by default: every scene must render the pixels of the canonical
// (scalar) form, bit for bit in both precisions, whatever its formulas do
// from lane to lane.
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

struct Render {
    std::vector<uint8_t> pixels;
    int lanes = 0;
};

class WideForm : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { device_ = testing::cpu_device_name(); }

    void SetUp() override {
        if (device_.empty()) GTEST_SKIP() << "no CPU OpenCL device";
    }

    // The scene at its full sample target on a fresh engine.
    static Render render(const Scene& scene, ProgramForm form) {
        RenderEngine engine(default_kernel_generator(form));
        engine.set_requested_device_name(device_);
        testing::prepare_quietly(engine, scene);
        const int target = 1 << scene.sampling_level;
        for (int done = 0; done < target; done += engine.samples_per_pass()) engine.run_pass(done);
        return {engine.read_image(target, 1.0f, 1.0f), engine.last_prepare().lanes};
    }

    // Both forms in both precisions; returns whether the wide form was taken.
    static bool expect_same_pixels(Scene scene) {
        bool wide = true;
        for (int precision : {1, 0}) {
            SCOPED_TRACE(precision ? "double" : "single");
            scene.precision = precision;
            Render scalar = render(scene, ProgramForm::scalar);
            Render lanes = render(scene, ProgramForm::wide);
            EXPECT_EQ(scalar.lanes, 1);
            wide = wide && lanes.lanes > 1;
            EXPECT_TRUE(lanes.pixels == scalar.pixels)
                << differing(lanes.pixels, scalar.pixels) << " pixels differ";
        }
        return wide;
    }

    static long differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        if (a.size() != b.size()) return -1;
        long count = 0;
        for (size_t i = 0; i < a.size(); i += 4) {
            count += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        }
        return count;
    }

    static inline std::string device_;
};

// A small scene around the quadratic set's boundary, so that neighbouring
// lanes leave the iteration at different times, with the layer's formula
// and colorings given as sections.
Scene boundary_scene(const std::string& init, const std::string& loop,
                     const std::string& bailout = "|z| < 16") {
    Scene scene = testing::one_layer_scene();
    scene.width = 37;  // no multiple of any lane count: the last run is partial
    scene.height = 11;
    scene.sampling_level = 1;
    Layer& layer = scene.layers[0];
    layer.center = {-0.7, 0.25};
    layer.magn = 3;
    layer.maxiter = 80;
    layer.formula.init = init;
    layer.formula.loop = loop;
    layer.formula.bailout = bailout;
    layer.outside_density = 4;
    return scene;
}

TEST_F(WideForm, RendersTheCanonicalPixelsOfEveryExampleAndTestScene) {
    testing::TempDir dir;
    std::vector<std::pair<std::string, Scene>> scenes;
    auto add = [&](const std::string& path) {
        for (Scene& set : load_parameter_file(path)) {
            scenes.emplace_back(std::filesystem::path(path).filename().string() + " " + set.name,
                                set);
        }
    };
    const std::filesystem::path root(SPIRELLE_SOURCE_DIR);
    for (const char* folder : {"examples", "bench/scenes"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            if (entry.path().extension() == ".upr") add(entry.path().string());
        }
    }
    add(dir.write("quad.upr", testing::kScenes + testing::kQuadEntry));
    add(dir.write("boundary.upr", testing::kBoundaryScene + testing::kQuadEntry));
    ASSERT_GE(scenes.size(), 8u);
    for (auto& [name, scene] : scenes) {
        SCOPED_TRACE(name);
        // A fifth of the size, and an odd width, keeps the renders short and
        // leaves a partial run of lanes at the right edge.
        scene.width = std::max(9, scene.width / 5) | 1;
        scene.height = std::max(8, scene.height / 5);
        scene.sampling_level = 1;
        scene.auto_tile_size = false;
        scene.tile_size_log2 = 5;
        EXPECT_TRUE(expect_same_pixels(scene)) << "took the scalar form";
    }
}

// Each case makes the lanes of a run disagree in another way.
TEST_F(WideForm, RendersWhatTheCanonicalFormRendersWhereLanesDisagree) {
    struct Case {
        const char* shows;
        std::function<void(Scene&)> make;
    };
    const Case cases[] = {
        {"an if / elseif / else chain inside the loop",
         [](Scene& s) {
             s = boundary_scene("z = 0",
                                "if real(z) > 0.3\n  z = z*z + c\nelseif imag(z) > 0\n"
                                "  z = z*z*z + c\nelse\n  z = sqr(z) - c * 0.5\nendif");
         }},
        {"a while loop whose trip count differs per lane",
         [](Scene& s) {
             s = boundary_scene("z = 0",
                                "n = 0\nwhile n < |z| * 4 && n < 20\n  n = n + 1\nendwhile\n"
                                "z = z*z + c + n * 0.001");
         }},
        {"arrays indexed by values that differ per lane",
         [](Scene& s) {
             s = boundary_scene(
                 "complex trail[4]\nint seen[3]\nint i = 0\nwhile i < 4\n"
                 "  trail[i] = (i, 0)\n  i = i + 1\nendwhile",
                 "trail[iter % 4] = z\nseen[0] = iter\n"
                 "z = z*z + c + trail[(iter + 1) % 4] * 0.01 + seen[0] * 1e-4");
         }},
        {"a repeat loop and integer division",
         [](Scene& s) {
             s = boundary_scene("int k = 7",
                                "repeat\n  k = k / 2 + 1\nuntil k < 3 || real(z) > 0\n"
                                "z = z*z + c * (1 + k * 0.01)");
         }},
        {"a user function that returns early, called under a mask",
         [](Scene& s) {
             s = boundary_scene("z = 0",
                                "if |z| < 2\n  z = bend(z*z + c)\nelse\n  z = z*z + c\nendif");
             UserFunction bend;
             bend.name = "bend";
             bend.return_type = "complex";
             bend.params = {{"complex", "w"}};
             bend.body = "if |w| > 1\n  return w / (1 + 0.1 * |w|)\nendif\nreturn w * 1.01";
             s.layers[0].formula.user_functions = {bend};
         }},
        {"a coloring that asks for the solid colour in some lanes only",
         [](Scene& s) {
             s = boundary_scene("z = 0", "z = z*z + c");
             s.layers[0].outside.loop = "if |z| > m\n  m = |z|\nendif";
             s.layers[0].outside.init = "float m = 0";
             s.layers[0].outside.final =
                 "if real(z) > 0\n  #solid = true\nendif\n#index = m * 0.01";
             s.layers[0].inside_solid = 0x2040C0;
         }},
        {"complex powers, transcendental functions and a real that varies by lane",
         [](Scene& s) {
             s = boundary_scene("z = 0\nfloat t = 0.5",
                                "t = atan2(z) + exp(-|z|)\nz = z^2 + sin(z) * 0.01 + c\n"
                                "z = z + (z^2.5) * 0.0001 * t + z^z * 1e-5");
         }},
        {"colour functions, #color and the pixel's screen position",
         [](Scene& s) {
             s = boundary_scene("z = 0", "z = z*z + c");
             s.layers[0].outside.init = "color k = rgb(0.2, 0.4, 0.6)";
             s.layers[0].outside.final =
                 "k = compose(k, hsl(real(z), 0.5, 0.5), 0.5)\n"
                 "if #x < 20\n  #color = blend(k, gradient(cabs(z)), 0.25)\nendif\n"
                 "#index = lum(k) + #y * 0.01";
         }},
        {"every transfer function, repeated and clamped, inside and outside",
         [](Scene& s) {
             s = boundary_scene("z = 0", "z = z*z + c");
             const Layer base = s.layers[0];
             s.layers.clear();
             const char* transfers[] = {"linear", "sqrt", "sqr", "cube",  "cuberoot",
                                        "log",    "exp",  "sin", "arctan"};
             for (int i = 0; i < 9; ++i) {
                 Layer layer = base;
                 layer.outside_transfer = transfers[i];
                 layer.outside_repeat = i % 2 == 0;
                 layer.inside_transfer = transfers[(i + 4) % 9];
                 layer.inside.final = "#index = cabs(z) * 3";
                 layer.opacity = 30 + 7 * i;
                 layer.magn = 2 + i;
                 s.layers.push_back(layer);
             }
         }},
        {"a transform, blue noise, a transparent layer over another in another mode",
         [](Scene& s) {
             s = boundary_scene("z = 0", "z = z*z + c");
             s.sampling_level = 2;
             FormulaEntry shift;
             shift.entry = "Shift";
             shift.transform = "if real(#pixel) > -0.7\n  #pixel = #pixel * (1, 0.1)\nendif";
             s.layers[0].transforms = {shift};
             Layer below = s.layers[0];
             below.transforms.clear();
             below.mergemode = "overlay";
             s.layers[0].transparent = true;
             s.layers[0].mergemode = "multiply";
             s.layers[0].opacity = 70;
             s.layers.push_back(below);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        Scene scene;
        c.make(scene);
        EXPECT_TRUE(expect_same_pixels(scene)) << "took the scalar form";
    }
}

TEST_F(WideForm, EveryWidthRendersEveryPixel) {
    for (int width : {1, 3, 16, 17, 40}) {
        SCOPED_TRACE(width);
        Scene scene = boundary_scene("z = 0", "z = z*z + c");
        scene.width = width;
        scene.height = 3;
        expect_same_pixels(scene);
    }
}

// CPU devices get the wide form unless told otherwise; a scene that the wide
// form cannot express still renders, through the scalar one, and says so
// once however often it is prepared.
TEST_F(WideForm, IsTheDefaultOnCpuDevicesAndStepsAsideForWhatItCannotExpress) {
    Scene scene = boundary_scene("z = 0", "z = z*z + c");
    struct Case {
        const char* shows;
        ProgramForm form;
        int precision;
        int lanes;
    };
    const Case cases[] = {
        {"automatic, single precision", ProgramForm::automatic, 0, 16},
        {"automatic, double precision", ProgramForm::automatic, 1, 8},
        {"scalar on request", ProgramForm::scalar, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        scene.precision = c.precision;
        EXPECT_EQ(render(scene, c.form).lanes, c.lanes);
    }

    // The formula calls an OpenCL builtin by name, which only the canonical
    // form passes through.
    Scene builtin = boundary_scene("z = 0", "z = z*z + c + min(z, c) * 0");
    ::testing::internal::CaptureStderr();
    Render first = render(builtin, ProgramForm::automatic);
    Render again = render(builtin, ProgramForm::automatic);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "scalar program: an unknown function\n");
    EXPECT_EQ(first.lanes, 1);
    EXPECT_EQ(again.pixels, render(builtin, ProgramForm::scalar).pixels);
}

}  // namespace
}  // namespace spirelle
