#include "scene/reader.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "test_files.h"

namespace spirelle {
namespace {

using spirelle::testing::TempDir;

std::vector<Scene> load_text(const std::string& text) {
    TempDir dir;
    return load_parameter_file(dir.write("scene.upr", text));
}

// A parameter set with one layer whose sections hold the given lines,
// followed by the formula entries that the layer names.
Scene load_layer(const std::string& sections, const std::string& entries = "") {
    std::vector<Scene> scenes = load_text("set {\nlayer:\n" + sections + "\n}\n" + entries);
    if (scenes.size() != 1 || scenes[0].layers.size() != 1) {
        throw std::logic_error("expected one scene with one layer");
    }
    return scenes[0];
}

std::string load_error(const std::string& text) {
    try {
        load_text(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(SplitBlocks, NamesAndBodies) {
    auto blocks = split_blocks("junk\nfirst {\n a=1\n}\n  second{b=\"}\" ; }\n}\n{anon}");
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].name, "first");
    EXPECT_EQ(blocks[0].text, "\n a=1\n");
    EXPECT_EQ(blocks[1].name, "second");
    EXPECT_EQ(blocks[1].text, "b=\"}\" ; }\n");
    EXPECT_EQ(blocks[2].name, "");
    EXPECT_EQ(blocks[2].text, "anon\n");
}

TEST(SplitBlocks, NestedBracesAndUnclosedBlock) {
    auto blocks = split_blocks("a { x { y } z }\nb { open");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].text, " x { y } z \n");
    EXPECT_EQ(blocks[1].text, " open\n");
}

TEST(SplitBlocks, QuoteEndsAtLineFeedAndBackslashEscapes) {
    auto blocks = split_blocks("a { \"x\\\"}\" }\nb { \"open\n} c {}");
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].text, " \"x\\\"}\" \n");
    EXPECT_EQ(blocks[1].text, " \"open\n");
    EXPECT_EQ(blocks[2].name, "c");
}

TEST(JoinContinuedLines, RemovesBackslashLineEndAndLeadingBlanks) {
    EXPECT_EQ(join_continued_lines("a=1\\\n   \tb=2\nc"), "a=1b=2\nc");
    EXPECT_EQ(join_continued_lines("a\\\r\n  b"), "ab");
    EXPECT_EQ(join_continued_lines("a\\ b\\"), "a\\ b\\");
}

TEST(ParsePairs, Table) {
    struct Case {
        const char* text;
        std::map<std::string, std::string> expected;
    };
    const Case cases[] = {
        {"a=1 b=2", {{"a", "1"}, {"b", "2"}}},
        {"title=\"two words\" x=3", {{"title", "two words"}, {"x", "3"}}},
        {"open=\"runs to the end", {{"open", "runs to the end"}}},
        {"bare word=1", {{"word", "1"}}},
        {"a=1 a=2", {{"a", "2"}}},
        {"a = 1", {}},
        {"-x=1 $y=2", {{"x", "1"}, {"y", "2"}}},
        {"k=", {{"k", ""}}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_pairs(c.text), c.expected) << c.text;
}

TEST(ParseKeyframes, Table) {
    struct Case {
        const char* text;
        const char* static_value;
        KeyframeTrack track;
    };
    const Case cases[] = {
        {"1.5", "1.5", {}},
        {"1.5@#0L2.5@#100L", "1.5", {{0, "1.5", "L"}, {100, "2.5", "L"}}},
        {"\"0.3/0.1@#0SS0.5/0.2@#-20.5E\"",
         "0.3/0.1",
         {{0, "0.3/0.1", "SS"}, {-20.5, "0.5/0.2", "E"}}},
        {"1@#10 7  ", "1", {{10, "1", ""}, {0, " 7", ""}}},
        {"1@#x", "1", {{0, "1", ""}, {0, "x", ""}}},
        {"@", "@", {}},
    };
    for (const Case& c : cases) {
        KeyframeValue v = parse_keyframes(c.text);
        EXPECT_EQ(v.static_value, c.static_value) << c.text;
        ASSERT_EQ(v.track.size(), c.track.size()) << c.text;
        for (size_t i = 0; i < c.track.size(); ++i) {
            EXPECT_EQ(v.track[i].position, c.track[i].position) << c.text << " key " << i;
            EXPECT_EQ(v.track[i].value, c.track[i].value) << c.text << " key " << i;
            EXPECT_EQ(v.track[i].flags, c.track[i].flags) << c.text << " key " << i;
        }
    }
}

TEST(NumberReaders, ConversionsAndMessages) {
    EXPECT_EQ(read_int("  \"12abc"), 12);
    EXPECT_EQ(read_int("-7@#0L3@#100"), -7);
    EXPECT_EQ(read_uint("4294967295"), 4294967295u);
    EXPECT_EQ(read_uint("-1"), 4294967295u);
    EXPECT_DOUBLE_EQ(read_double("1e5"), 100000.0);
    const std::pair<std::function<void()>, const char*> failures[] = {
        {[] { read_int("abc"); }, "invalid stoi argument"},
        {[] { read_int("2147483648"); }, "stoi argument out of range"},
        {[] { read_uint(""); }, "invalid stoul argument"},
        {[] { read_uint("4294967296"); }, "stoul argument out of range"},
        {[] { read_uint("-4294967296"); }, "stoul argument out of range"},
        {[] { read_double("x1"); }, "invalid stod argument"},
        {[] { read_double("1e999"); }, "stod argument out of range"},
    };
    for (const auto& [call, message] : failures) {
        try {
            call();
            ADD_FAILURE() << "expected " << message;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(ReadParameterSet, LayerFieldsFromSections) {
    Scene scene = load_layer(
        "opacity=55 mergemode=Subtract transparent=yes\n"
        "mapping:\ncenter=-0.5/0.25 magn=1e5 angle=30 stretch=2 skew=abc\n"
        "formula:\nmaxiter=1000 filename=Std.ufm entry=Mandel p_Power=3 P_seed=0.1/0.2 f_fn1=sin\n"
        "inside:\ntransfer=sqrt filename=Std.ucl entry=Solid solid=255 density=2 p_x=1\n"
        "outside:\ntransfer=log repeat=no entry=Smooth solid=oops\n",
        "Std.ufm:Mandel {\nloop:\nz = z*z + #pixel\n}\nStd.ucl:Solid {\nfinal:\n#index = 0\n}\n");
    const Layer& l = scene.layers[0];
    EXPECT_EQ(l.opacity, 55);
    EXPECT_EQ(l.mergemode, "subtraction");
    EXPECT_TRUE(l.transparent);
    EXPECT_EQ(l.center.re, -0.5);
    EXPECT_EQ(l.center.im, 0.25);
    EXPECT_EQ(l.magn, 100000.0);
    EXPECT_EQ(l.angle, 30.0);
    EXPECT_EQ(l.stretch, 2.0);
    EXPECT_EQ(l.skew, 0.0);
    EXPECT_EQ(l.maxiter, 1000);
    EXPECT_EQ(l.formula.filename, "Std.ufm");
    EXPECT_EQ(l.formula.entry, "Mandel");
    EXPECT_EQ(l.formula.params,
              (std::map<std::string, std::string>{{"power", "3"}, {"seed", "0.1/0.2"}}));
    EXPECT_EQ(l.formula.funcs.at("fn1"), "sin");
    EXPECT_EQ(l.inside_transfer, "sqrt");
    EXPECT_EQ(l.inside.entry, "Solid");
    EXPECT_EQ(l.inside_solid, 255u);
    EXPECT_EQ(l.inside_density, 2.0);
    EXPECT_EQ(l.inside.params.at("x"), "1");
    EXPECT_EQ(l.outside_transfer, "log");
    EXPECT_FALSE(l.outside_repeat);
    EXPECT_EQ(l.outside_solid, 0u);
}

TEST(ReadParameterSet, MergeModeAliases) {
    const std::pair<const char*, const char*> cases[] = {
        {"Subtract", "subtraction"}, {"ADD", "addition"}, {"Screen", "screen"}, {"weird", "weird"}};
    for (const auto& [written, stored] : cases) {
        EXPECT_EQ(load_layer(std::string("mergemode=") + written).layers[0].mergemode, stored);
    }
}

TEST(ReadParameterSet, CenterWithoutSlashSetsRealPartOnly) {
    Scene scene = load_layer("mapping:\ncenter=2");
    EXPECT_EQ(scene.layers[0].center.re, 2.0);
    EXPECT_EQ(scene.layers[0].center.im, 0.0);
    scene = load_layer("mapping:\ncenter=x/3");
    EXPECT_EQ(scene.layers[0].center.re, 0.0);
    EXPECT_EQ(scene.layers[0].center.im, 3.0);
}

TEST(ReadParameterSet, AnimatedValuesRecordTracks) {
    Scene scene = load_layer(
        "mapping:\nmagn=1.5@#0L2.5@#100L center=0/0@#0L1/1@#100L\n"
        "formula:\np_power=2@#0L4@#100L\n"
        "outside:\ndensity=1@#0L2@#100L p_shift=0@#0L1@#100L\n"
        "transform:\nentry=Rot p_angle=0@#0L90@#100L\n");
    const Layer& l = scene.layers[0];
    EXPECT_EQ(l.magn, 1.5);
    EXPECT_EQ(l.tracks.at("magn").size(), 2u);
    EXPECT_EQ(l.tracks.at("center")[1].value, "1/1");
    EXPECT_EQ(l.tracks.at("p_power")[1].value, "4");
    EXPECT_EQ(l.formula.params.at("power"), "2@#0L4@#100L");
    EXPECT_EQ(l.outside.tracks.count("density"), 1u);
    EXPECT_EQ(l.outside.tracks.count("p_shift"), 1u);
    EXPECT_EQ(l.transforms[0].tracks.count("p_angle"), 1u);
}

TEST(ReadParameterSet, TransformsKeepOrderAndEnabledFlag) {
    Scene scene = load_layer("transform:\nentry=A\ntransform:\nentry=B enabled=no p_k=1 f_g=cos\n");
    const auto& t = scene.layers[0].transforms;
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].entry, "A");
    EXPECT_TRUE(t[0].enabled);
    EXPECT_EQ(t[1].entry, "B");
    EXPECT_FALSE(t[1].enabled);
    EXPECT_EQ(t[1].params.at("k"), "1");
    EXPECT_EQ(t[1].funcs.at("g"), "cos");
}

TEST(LoadParameterFile, SetsLayersAndFractalSection) {
    auto scenes = load_text(
        "; comment line\n"
        "First {\nfractal:\nwidth=320 height=200 frames=12 fps=x\n"
        "layer:\nopacity=10\nlayer:\nvisible=no\nlayer:\nopacity=30\n}\n"
        "Std.ufm:Julia(XAXIS) { init: z=0 }\n"
        "Second {\nformula:\nmaxiter=5\nmapping:\nmagn=3\n}\n");
    ASSERT_EQ(scenes.size(), 2u);
    EXPECT_EQ(scenes[0].name, "First");
    EXPECT_EQ(scenes[0].width, 320);
    EXPECT_EQ(scenes[0].height, 200);
    EXPECT_EQ(scenes[0].frames, 12);
    EXPECT_EQ(scenes[0].fps, 30);
    ASSERT_EQ(scenes[0].layers.size(), 2u);
    EXPECT_EQ(scenes[0].layers[0].opacity, 10);
    EXPECT_EQ(scenes[0].layers[1].opacity, 30);
    EXPECT_EQ(scenes[1].name, "Second");
    EXPECT_TRUE(scenes[1].layers.empty());
}

TEST(LoadParameterFile, SectionsBelongToTheNextLayerHeader) {
    auto scenes = load_text(
        "s {\nmapping:\nmagn=7\nlayer:\n; comment\nformula:\nmaxiter=9\n"
        "layer :\nopacity=11\nlayer:\nfractal:\nwidth=10\n}\n");
    ASSERT_EQ(scenes[0].layers.size(), 2u);
    EXPECT_EQ(scenes[0].layers[0].magn, 7.0);
    EXPECT_EQ(scenes[0].layers[0].maxiter, 9);
    EXPECT_EQ(scenes[0].layers[0].opacity, 100);  // "layer :" is not a layer header
    EXPECT_EQ(scenes[0].layers[1].maxiter, 250);
    EXPECT_EQ(scenes[0].width, 10);
}

TEST(LoadParameterFile, ContinuedLinesAreJoined) {
    auto scenes = load_text("s {\nlayer:\nmapping:\nmagn=1\\\n    23\n}\n");
    EXPECT_EQ(scenes[0].layers[0].magn, 123.0);
}

TEST(LoadParameterFile, Failures) {
    EXPECT_EQ(load_error("s {\nfractal:\nwidth=abc\n}"), "invalid stoi argument");
    EXPECT_EQ(load_error("s {\nfractal:\nheight=99999999999\n}"), "stoi argument out of range");
    EXPECT_EQ(load_error("s {\nfractal:\nwidth=0 height=5\n}"), "invalid image size 0x5");
    EXPECT_EQ(load_error("s {\nfractal:\nheight=-3\n}"), "invalid image size 800x-3");
    EXPECT_EQ(load_error("s {\nlayer:\ngradient:\nindex=1 color=abc\n}"), "invalid stoul argument");
    TempDir dir;
    const std::string missing = dir.path() + "/missing.upr";
    try {
        load_parameter_file(missing);
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open " + missing);
    }
    try {
        load_parameter_file(dir.path());
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "cannot open " + dir.path());
    }
}

}  // namespace
}  // namespace spirelle
