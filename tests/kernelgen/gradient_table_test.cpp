#include "kernelgen/gradient_table.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

std::array<float, 4> entry(const std::vector<float>& slice, int k) {
    return {slice[4 * k], slice[4 * k + 1], slice[4 * k + 2], slice[4 * k + 3]};
}

Gradient two_points(bool smooth) {
    Gradient g;
    g.color_smooth = smooth;
    g.color_points = {{200, 0, 0, 200}, {0, 200, 100, 0}};  // unsorted on purpose
    return g;
}

TEST(GradientTable, WithoutPointsIsOpaqueBlack) {
    const std::vector<float> slice = build_gradient_slice(Gradient{});
    ASSERT_EQ(slice.size(), 16000u);
    for (int k : {0, 1234, 3999}) EXPECT_EQ(entry(slice, k), (std::array<float, 4>{0, 0, 0, 1}));
}

struct LinearCase {
    const char* name;
    int slot;
    std::array<float, 4> expected;
};

TEST(GradientTable, LinearInterpolationWrapsAroundTheRing) {
    const std::vector<float> slice = build_gradient_slice(two_points(false));
    const LinearCase cases[] = {
        {"first point", 0, {200 / 255.0f, 100 / 255.0f, 0, 1}},
        {"halfway to the second", 1000, {100 / 255.0f, 50 / 255.0f, 100 / 255.0f, 1}},
        {"second point", 2000, {0, 0, 200 / 255.0f, 1}},
        {"halfway back to the first", 3000, {100 / 255.0f, 50 / 255.0f, 100 / 255.0f, 1}},
    };
    for (const LinearCase& c : cases) {
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(entry(slice, c.slot)[i], c.expected[i], 1e-6) << c.name;
    }
}

TEST(GradientTable, SinglePointFillsTheTableSmoothOrNot) {
    for (bool smooth : {false, true}) {
        Gradient g;
        g.color_smooth = smooth;
        g.color_points = {{123, 10, 20, 30}};
        const std::vector<float> slice = build_gradient_slice(g);
        for (int k : {0, 1230, 3999}) {
            EXPECT_FLOAT_EQ(entry(slice, k)[2], 30 / 255.0f)
                << "smooth " << smooth << " slot " << k;
        }
    }
}

// A monotone spline never overshoots the control values, and passes
// through them.
TEST(GradientTable, SmoothSplineStaysWithinItsPoints) {
    const std::vector<double> red =
        interpolate_channel({0, 100, 150, 300}, {0, 255, 40, 200}, true);
    for (double x : red) {
        EXPECT_GE(x, -1e-9);
        EXPECT_LE(x, 255 + 1e-9);
    }
    EXPECT_DOUBLE_EQ(red[1000], 255);
    EXPECT_DOUBLE_EQ(red[1500], 40);
}

TEST(GradientTable, TwoPointsAtOnePositionMakeAHardStep) {
    const std::vector<double> linear = interpolate_channel({0, 100, 100}, {0, 0, 255}, false);
    EXPECT_DOUBLE_EQ(linear[999], 0);
    EXPECT_DOUBLE_EQ(linear[1000], 255);
    const std::vector<double> smooth = interpolate_channel({0, 100, 100}, {0, 0, 255}, true);
    EXPECT_NEAR(smooth[999], 0, 1e-9);
    EXPECT_DOUBLE_EQ(smooth[1000], 255);
}

TEST(GradientTable, OpacityPointsSetAlpha) {
    Gradient g;
    g.opacity_smooth = false;
    g.opacity_points = {{0, 255}, {200, 0}};
    const std::vector<float> slice = build_gradient_slice(g);
    EXPECT_FLOAT_EQ(entry(slice, 0)[3], 1.0f);
    EXPECT_FLOAT_EQ(entry(slice, 1000)[3], 0.5f);
    EXPECT_FLOAT_EQ(entry(slice, 2000)[3], 0.0f);
}

// Positions outside the ring (from an edited scene) must not write outside
// the table.
TEST(GradientTable, PositionsOutsideTheRingWrap) {
    for (bool smooth : {false, true}) {
        const std::vector<double> x = interpolate_channel({-5, 1000, 399}, {10, 20, 30}, smooth);
        EXPECT_EQ(x.size(), 4000u);
    }
}

TEST(GradientTable, LayersFollowEachOther) {
    Scene scene;
    scene.layers.resize(3);
    scene.layers[2].gradient.color_points = {{0, 255, 0, 0}};
    const std::vector<float> table = build_gradient_table(scene);
    ASSERT_EQ(table.size(), 48000u);
    EXPECT_FLOAT_EQ(table[31996], 0.0f);
    EXPECT_FLOAT_EQ(table[32000], 1.0f);
}

}  // namespace
}  // namespace spirelle
