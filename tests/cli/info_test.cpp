#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "test_files.h"

namespace spirelle {
namespace {

using nlohmann::json;
using spirelle::testing::run_cli;
using spirelle::testing::TempDir;

const char kAnimated[] =
    "Anim {\nfractal:\nwidth=64 height=32 frames=3\n"
    "layer:\nmergemode=screen\nmapping:\ncenter=0/0@#0L1/-1@#320L magn=0.1\n"
    "formula:\nmaxiter=100@#0L300@#320L p_power=2\n"
    "gradient:\nsmooth=no index=0 color=255 index=200 color=16711680\n"
    "opacity:\nindex=0 opacity=128\n}\n";

TEST(InfoCommand, PrintsScenesAsJson) {
    TempDir dir;
    auto result = run_cli("info " + dir.write("a.upr", kAnimated));
    ASSERT_EQ(result.status, 0) << result.out;
    json doc = json::parse(result.out);
    ASSERT_EQ(doc["scenes"].size(), 1u);
    const json& scene = doc["scenes"][0];
    EXPECT_EQ(scene["name"], "Anim");
    EXPECT_EQ(scene["width"], 64);
    EXPECT_EQ(scene["frames"], 3);
    const json& layer = scene["layers"][0];
    EXPECT_EQ(layer["center"], json::array({0.0, 0.0}));
    EXPECT_EQ(layer["magn"].get<double>(), 0.1);
    EXPECT_EQ(layer["maxiter"], 100);
    EXPECT_EQ(layer["mergemode"], "screen");
    EXPECT_EQ(layer["formula"]["params"]["power"], "2");
    EXPECT_EQ(layer["gradient"]["color_smooth"], false);
    EXPECT_EQ(layer["gradient"]["color_points"][1], json::array({200, 0, 0, 255}));
    EXPECT_EQ(layer["gradient"]["opacity_points"][0], json::array({0, 128}));
    EXPECT_EQ(layer["tracks"]["maxiter"][1], json::array({320.0, "300", "L"}));
}

TEST(InfoCommand, FrameAppliesTracks) {
    TempDir dir;
    auto result = run_cli("info --frame 2 " + dir.write("a.upr", kAnimated));
    ASSERT_EQ(result.status, 0);
    json doc = json::parse(result.out);
    const json& layer = doc["scenes"][0]["layers"][0];
    EXPECT_EQ(layer["center"], json::array({0.5, -0.5}));
    EXPECT_EQ(layer["maxiter"], 200);
}

TEST(InfoCommand, FailedLoadReportsParseError) {
    TempDir dir;
    auto bad = run_cli("info " + dir.write("bad.upr", "s {\nfractal:\nwidth=x\n}"), true);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "parse: invalid stoi argument\n");
    auto missing = run_cli("info " + dir.path() + "/none.upr", true);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "parse: cannot open " + dir.path() + "/none.upr\n");
}

}  // namespace
}  // namespace spirelle
