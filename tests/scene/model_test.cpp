#include "scene/model.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

KeyframeTrack two_keys(const std::string& flags0, const std::string& v0, const std::string& v1) {
    return {{0.0, v0, flags0}, {100.0, v1, ""}};
}

struct RealCase {
    const char* what;
    KeyframeTrack track;
    double x;
    double expected;
};

TEST(KeyframeTrack, RealEvaluation) {
    const RealCase cases[] = {
        {"empty track", {}, 5.0, 0.0},
        {"single key", {{10.0, "7", ""}}, 50.0, 7.0},
        {"linear midpoint", two_keys("", "1", "3"), 50.0, 2.0},
        {"before first key", two_keys("", "1", "3"), -10.0, 1.0},
        {"after last key", two_keys("", "1", "3"), 500.0, 3.0},
        {"smoothstep midpoint", two_keys("SS", "1", "3"), 50.0, 2.0},
        {"smoothstep quarter", two_keys("SS", "1", "3"), 25.0, 1.3125},
        {"hold", two_keys("NN", "1", "3"), 99.0, 1.0},
        {"single N does not hold", two_keys("N", "1", "3"), 50.0, 2.0},
        {"exponential midpoint", two_keys("E", "1", "100"), 50.0, 10.0},
        {"exponential flag on later key", {{0.0, "1", ""}, {100.0, "100", "E"}}, 50.0, 10.0},
        {"exponential with zero is linear", two_keys("E", "0", "100"), 50.0, 50.0},
        {"exponential with negative is linear", two_keys("E", "-2", "2"), 50.0, 0.0},
        {"unparsable value counts as zero", two_keys("", "abc", "4"), 50.0, 2.0},
        {"equal positions", {{0.0, "1", ""}, {0.0, "5", ""}, {10.0, "9", ""}}, 5.0, 7.0},
        {"first segment that holds x wins",
         {{0.0, "1", ""}, {100.0, "3", ""}, {50.0, "5", ""}, {200.0, "7", ""}},
         75.0,
         2.5},
    };
    for (const RealCase& c : cases) {
        EXPECT_DOUBLE_EQ(evaluate_real_track(c.track, c.x), c.expected) << c.what;
    }
}

TEST(KeyframeTrack, ComplexEvaluationInterpolatesBothParts) {
    KeyframeTrack track = {{0.0, "0/1", ""}, {100.0, "2/3", ""}};
    Complex c = evaluate_complex_track(track, 50.0);
    EXPECT_DOUBLE_EQ(c.re, 1.0);
    EXPECT_DOUBLE_EQ(c.im, 2.0);
    Complex real_only = evaluate_complex_track({{0.0, "4", ""}}, 0.0);
    EXPECT_DOUBLE_EQ(real_only.re, 4.0);
    EXPECT_DOUBLE_EQ(real_only.im, 0.0);
    Complex none = evaluate_complex_track({}, 3.0);
    EXPECT_EQ(none.re, 0.0);
    EXPECT_EQ(none.im, 0.0);
}

TEST(MergeMode, IndexOfName) {
    const std::pair<const char*, int> cases[] = {
        {"normal", 0}, {"multiply", 1}, {"hsladd", 15},     {"PASSTHROUGH", 19},
        {"", 0},       {"nonsense", 0}, {"Subtraction", 9},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(merge_mode_index(name), index) << name;
    ASSERT_EQ(kMergeModeNames.size(), 20u);
}

TEST(FrameTime, CountsFromFrameOne) {
    EXPECT_EQ(frame_time(1), 0.0);
    EXPECT_EQ(frame_time(2), 160.0);
    EXPECT_EQ(frame_time(11), 1600.0);
}

Scene animated_scene() {
    Scene scene;
    Layer layer;
    layer.tracks["center"] = {{0.0, "0/0", ""}, {160.0, "1/-1", ""}};
    layer.tracks["magn"] = {{0.0, "1", ""}, {160.0, "3", ""}};
    layer.tracks["opacity"] = {{0.0, "0", ""}, {160.0, "5", ""}};
    layer.tracks["maxiter"] = {{0.0, "100", ""}, {160.0, "201", ""}};
    layer.tracks["p_seed"] = {{0.0, "0.3/0.1", ""}, {160.0, "0.5/0.3", ""}};
    layer.tracks["p_power"] = {{0.0, "2", ""}, {160.0, "4", ""}};
    layer.tracks["unknown"] = {{0.0, "2", ""}, {160.0, "4", ""}};
    layer.formula.params["power"] = "2";
    layer.outside.tracks["density"] = {{0.0, "1", ""}, {160.0, "2", ""}};
    layer.outside.tracks["p_shift"] = {{0.0, "0", ""}, {160.0, "1", ""}};
    FormulaEntry transform;
    transform.tracks["p_angle"] = {{0.0, "0", ""}, {160.0, "90", ""}};
    layer.transforms.push_back(transform);
    scene.layers.push_back(layer);
    return scene;
}

TEST(EvaluateTracks, AppliesEveryTrackAtTime) {
    Scene scene = animated_scene();
    evaluate_tracks(scene, 80.0);
    const Layer& layer = scene.layers[0];
    EXPECT_DOUBLE_EQ(layer.center.re, 0.5);
    EXPECT_DOUBLE_EQ(layer.center.im, -0.5);
    EXPECT_DOUBLE_EQ(layer.magn, 2.0);
    EXPECT_EQ(layer.opacity, 3);    // 2.5 rounds away from zero
    EXPECT_EQ(layer.maxiter, 151);  // 150.5 likewise
    EXPECT_EQ(layer.formula.params.at("seed"), "0.4/0.2");
    EXPECT_EQ(layer.formula.params.at("power"), "3");
    EXPECT_EQ(layer.formula.params.count("unknown"), 0u);
    EXPECT_DOUBLE_EQ(layer.outside_density, 1.5);
    EXPECT_EQ(layer.outside.params.at("shift"), "0.5");
    EXPECT_EQ(layer.transforms[0].params.at("angle"), "45");
}

TEST(EvaluateTracks, TimeZeroLeavesValuesAsRead) {
    Scene scene = animated_scene();
    scene.layers[0].tracks["magn"] = {{50.0, "9", ""}, {160.0, "3", ""}};
    evaluate_tracks(scene, 0.0);
    EXPECT_DOUBLE_EQ(scene.layers[0].magn, 1.0);
    EXPECT_EQ(scene.layers[0].formula.params.at("power"), "2");
}

TEST(Scene, IsAnimated) {
    Scene still;
    still.layers.emplace_back();
    EXPECT_FALSE(is_animated(still));
    Scene frames = still;
    frames.frames = 2;
    EXPECT_TRUE(is_animated(frames));
    EXPECT_TRUE(is_animated(animated_scene()));
}

}  // namespace
}  // namespace spirelle
