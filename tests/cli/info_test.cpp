#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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

// A scene whose formula, coloring and transform are carried in the file
// itself, so that the printed entries show what resolution filled in.
const char kResolved[] =
    "Set {\nlayer:\n"
    "formula:\nfilename=My.ufm entry=Fract p_test=real\n"
    "outside:\nfilename=My.ucl entry=Dist\n"
    "transform:\nfilename=My.uxf entry=Move\n}\n"
    "My.ufm:Fract {\ninit:\nz = 0\nif @test == 1\nz = 1\nelse\nz = 2\nendif\n"
    "float func half(const complex a)\nreturn a / 2\nendfunc\n"
    "loop:\nz = half(z) + #pixel\nbailout:\n|z| < 4\n"
    "default:\nparam test\nenum = \"mod\" \"real\"\nendparam\n}\n"
    "My.ucl:Dist {\nglobal:\nfloat g = 1\ninit:\nfloat d = 0\nloop:\nd = d + 1\n"
    "final:\n#index = d\n}\n"
    "My.uxf:Move {\ntransform:\n#pixel = #pixel + @shift\n"
    "default:\ncomplex param shift\ndefault = (1, 0)\nendparam\n}\n";

std::vector<std::string> keys_of(const json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

TEST(InfoCommand, EntriesShowTheSectionsOfTheirKind) {
    TempDir dir;
    auto result = run_cli("info " + dir.write("r.upr", kResolved));
    ASSERT_EQ(result.status, 0) << result.out;
    const json layer = json::parse(result.out)["scenes"][0]["layers"][0];
    using Keys = std::vector<std::string>;
    const Keys common = {"enabled", "entry",  "filename",    "funcs",
                         "global",  "params", "param_decls", "tracks"};
    struct Case {
        const char* what;
        json entry;
        Keys own;
    };
    const Case cases[] = {
        {"fractal formula", layer["formula"], {"bailout", "init", "loop", "user_functions"}},
        {"coloring", layer["outside"], {"final", "init", "loop"}},
        {"transform", layer["transforms"][0], {"transform"}},
    };
    for (const Case& c : cases) {
        Keys expected = common;
        expected.insert(expected.end(), c.own.begin(), c.own.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(keys_of(c.entry), expected) << c.what;
    }
}

TEST(InfoCommand, EntriesShowWhatResolutionFilledIn) {
    TempDir dir;
    auto result = run_cli("info " + dir.write("r.upr", kResolved));
    ASSERT_EQ(result.status, 0) << result.out;
    const json layer = json::parse(result.out)["scenes"][0]["layers"][0];
    const json& formula = layer["formula"];
    EXPECT_EQ(formula["init"], "z = 0\nz = 1") << "folded, function lifted";
    EXPECT_EQ(formula["loop"], "z = half(z) + #pixel");
    EXPECT_EQ(formula["bailout"], "|z| < 4");
    EXPECT_EQ(formula["param_decls"], json::parse(R"({"test": ["mod", "real"]})"));
    EXPECT_EQ(formula["user_functions"], json::parse(R"([{"name": "half", "return_type": "float",
                               "params": [["complex", "a"]], "body": "return a / 2\n"}])"));
    EXPECT_EQ(layer["bailout_test_index"], 1);
    EXPECT_EQ(layer["outside"]["global"], "float g = 1");
    EXPECT_EQ(layer["outside"]["final"], "#index = d");
    EXPECT_EQ(layer["transforms"][0]["transform"], "#pixel = #pixel + @shift");
    EXPECT_EQ(layer["transforms"][0]["params"], json::parse(R"({"shift": "1/0"})"))
        << "defaults merged into the values";
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
