// spirelle-cli render end to end on the machine's OpenCL device: scenes whose
// every pixel is known (all inside with a solid colour, all outside with a
// one-colour gradient), the file names it writes, and how it fails.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <array>
#include <filesystem>

#include "cli/cli_runner.h"
#include "render_scenes.h"
#include "test_files.h"

namespace spirelle {
namespace {

using spirelle::testing::kBrokenScene;
using spirelle::testing::kQuadEntry;
using spirelle::testing::kScenes;
using spirelle::testing::run_cli;
using spirelle::testing::TempDir;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::array<int, 4>> pixels;
};

Image load_png(const std::string& path) {
    Image image;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
    if (data == nullptr) return image;
    for (int i = 0; i < image.width * image.height; ++i) {
        image.pixels.push_back({data[4 * i], data[4 * i + 1], data[4 * i + 2], data[4 * i + 3]});
    }
    stbi_image_free(data);
    return image;
}

void expect_uniform(const Image& image, std::array<int, 4> colour) {
    ASSERT_FALSE(image.pixels.empty());
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        for (int c = 0; c < 4; ++c) {
            // Averaging identical samples may land a hair below the value.
            ASSERT_LE(std::abs(image.pixels[i][c] - colour[c]), 1)
                << "pixel " << i << " channel " << c;
        }
    }
}

TEST(RenderCommand, RendersKnownPixels) {
    struct Case {
        const char* shows;
        std::string args;
        int width, height;
        std::array<int, 4> colour;
    };
    const Case cases[] = {
        {"the solid inside colour", "--set 0 --sampling-level 2", 24, 16, {255, 120, 0, 255}},
        {"a one-colour gradient outside", "--set 1 --sampling-level 1", 20, 20, {0, 128, 192, 255}},
        {"in double precision",
         "--set 1 --precision double --sampling-level 0",
         20,
         20,
         {0, 128, 192, 255}},
        {"at another size, with exposure",
         "--set 0 --size 7x5 --exposure 0.5 --sampling-level 0",
         7,
         5,
         {127, 60, 0, 255}},
    };
    TempDir dir;
    std::string scene = dir.write("quad.upr", kScenes + kQuadEntry);
    for (const char* form : {"scalar", "wide"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.shows) + ", " + form);
            std::string out = dir.path() + "/out.png";
            auto result = run_cli(
                "render " + scene + " " + c.args + " --program-form " + form + " -o " + out, true);
            ASSERT_EQ(result.status, 0) << result.out;
            EXPECT_NE(result.out.find("Wrote " + out), std::string::npos) << result.out;
            Image image = load_png(out);
            EXPECT_EQ(image.width, c.width);
            EXPECT_EQ(image.height, c.height);
            expect_uniform(image, c.colour);
        }
    }
}

// Layers of one colour each, composited bottom-up (the first layer of a set
// is the top one) onto white paper. Solid inside colour: (255, 120, 0);
// gradient colour: (0, 128, 192).
const std::string kLayeredScenes = R"(Multiply {
fractal:
  width=12 height=8
layer:
  mergemode=multiply opacity=50
mapping:
  center=9/9 magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  entry=Smooth
gradient:
  index=0 color=12615680
layer:
  mergemode=screen
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=60 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278221055
outside:
  entry=Smooth
}

Veil {
fractal:
  width=12 height=8
layer:
  mergemode=screen transparent=yes
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  entry=Smooth
layer:
mapping:
  center=9/9 magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  entry=Smooth
gradient:
  index=0 color=12615680
}

Paper {
fractal:
  width=12 height=8
layer:
  transparent=yes
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=60 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278221055
outside:
  entry=Smooth
}

Order {
fractal:
  width=12 height=8
layer:
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=60 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278221055
outside:
  entry=Smooth
layer:
  mergemode=difference
mapping:
  center=9/9 magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  entry=Smooth
gradient:
  index=0 color=12615680
}

Faint {
fractal:
  width=12 height=8
layer:
mapping:
  center=9/9 magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  entry=Smooth
gradient:
  index=0 color=12615680
opacity:
  smooth=no index=0 opacity=51
}

)";

TEST(RenderCommand, CompositesLayersBottomUpOntoWhitePaper) {
    struct Case {
        const char* shows;
        int set;
        std::array<int, 4> colour;
    };
    const Case cases[] = {
        // 0.5 * multiply + 0.5 * bottom: (0.5, 0.5 * (120 * 128 / 255 + 120) / 255, 0).
        {"a half-opaque multiply over an opaque bottom layer", 0, {127, 90, 0, 255}},
        {"a transparent top layer over the bottom one", 1, {0, 128, 192, 255}},
        {"nothing opaque: the white paper", 2, {255, 255, 255, 255}},
        {"an opaque top layer hiding the bottom one", 3, {255, 120, 0, 255}},
        // Gradient opacity 51/255 = 0.2 over white: 0.2 * colour + 0.8.
        {"a faint gradient over the paper", 4, {204, 229, 242, 255}},
    };
    TempDir dir;
    std::string scene = dir.write("layers.upr", kLayeredScenes + kQuadEntry);
    for (const char* form : {"scalar", "wide"}) {
        for (const char* precision : {"single", "double"}) {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.shows) + ", " + precision + ", " + form);
                std::string out = dir.path() + "/out.png";
                auto result = run_cli("render " + scene + " --set " + std::to_string(c.set) +
                                          " --sampling-level 2 --precision " + precision +
                                          " --program-form " + form + " -o " + out,
                                      true);
                ASSERT_EQ(result.status, 0) << result.out;
                expect_uniform(load_png(out), c.colour);
            }
        }
    }
}

// A coloring that paints every pixel with a colour parameter. Its packed
// value 0xFF123456 is beyond what a float holds exactly; rounding it would
// lose the red byte in single precision.
const char kPaintedScene[] = R"(Painted {
fractal:
  width=8 height=8
layer:
mapping:
  center=9/9 magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  transfer=linear filename=Test.ucl entry=Paint p_paint=4279383126
gradient:
  index=0 color=65280
}

Test.ucl:Paint {
final:
  #color = @paint
default:
  color param paint
    default = 0
  endparam
}

Test.ufm:Quad {
builtin:
  type = 1
default:
  float param bailout
    default = 4.0
  endparam
}
)";

TEST(RenderCommand, PaintsColourParametersExactlyInEitherPrecision) {
    TempDir dir;
    std::string scene = dir.write("painted.upr", kPaintedScene);
    for (const char* precision : {"single", "double"}) {
        SCOPED_TRACE(precision);
        std::string out = dir.path() + "/out.png";
        auto result = run_cli(
            "render " + scene + " --sampling-level 0 --precision " + precision + " -o " + out,
            true);
        ASSERT_EQ(result.status, 0) << result.out;
        expect_uniform(load_png(out), {86, 52, 18, 255});
    }
}

TEST(RenderCommand, NamesFilesAfterTheSceneSetAndFrame) {
    TempDir dir;
    std::string scene = dir.write("quad.upr", kScenes + kQuadEntry);
    auto result = run_cli("render " + scene + " --set 0 --sampling-level 0");
    ASSERT_EQ(result.status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/quad_Inside_rendered.png"));

    result = run_cli("render " + scene + " --set 1 --frame 3 --sampling-level 0");
    ASSERT_EQ(result.status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/quad_Outside_f3.png"));

    result = run_cli("render " + scene + " --set 1 --frames 2:4:2 --sampling-level 1");
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find(" passes\n"), std::string::npos) << result.out;
    for (const char* name : {"quad_f0002.png", "quad_f0004.png"}) {
        SCOPED_TRACE(name);
        Image image = load_png(dir.path() + "/" + name);
        expect_uniform(image, {0, 128, 192, 255});
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/quad_f0003.png"));

    // An output naming only a directory keeps the scene's stem.
    std::filesystem::create_directory(dir.path() + "/frames");
    result = run_cli("render " + scene + " --set 1 --frames 3:3 --sampling-level 0 -o " +
                     dir.path() + "/frames/");
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/frames/quad_f0003.png")) << result.out;
}

TEST(RenderCommand, FailuresExitWithAMessage) {
    struct Case {
        const char* shows;
        std::string args;
        const char* message;
    };
    const Case cases[] = {
        {"an unwritable image", "--sampling-level 0 -o /nonexistent-dir/x.png",
         "save: cannot write"},
        {"an unwritable sequence frame",
         "--set 1 --frames 1:1 --sampling-level 0 -o /nonexistent-dir/x.png",
         "seq frame 1: cannot write"},
        {"a backwards range", "--frames 5:2", "range: B must be >= A"},
        {"a malformed range", "--frames 5", "--frames wants"},
        {"a malformed size", "--size 10by10", "--size wants"},
        {"a set that does not exist", "--set 2", "set 2 does not exist"},
    };
    TempDir dir;
    std::string scene = dir.write("quad.upr", kScenes + kQuadEntry);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        auto result = run_cli("render " + scene + " " + c.args, true);
        EXPECT_EQ(result.status, 1) << result.out;
        EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
    }
    auto missing = run_cli("render " + dir.path() + "/missing.upr", true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out.rfind("parse: ", 0), 0u) << missing.out;
}

// Engine failures carry the prefix that the desktop program gives the same
// step: a program that does not build fails the reset, with the build log.
TEST(RenderCommand, BuildErrorsFailTheResetWithTheLog) {
    TempDir dir;
    std::string scene = dir.write("broken.upr", kBrokenScene);
    auto result = run_cli("render " + scene + " --sampling-level 0", true);
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_NE(result.out.find("reset: OpenCL build error:\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("nosuchcall"), std::string::npos) << result.out;
}

TEST(DevicesCommand, ListsTheDeviceThatRendersTheTests) {
    auto result = run_cli("devices");
    EXPECT_EQ(result.status, 0);
    EXPECT_FALSE(result.out.empty());
}

}  // namespace
}  // namespace spirelle
