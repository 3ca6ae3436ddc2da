#include "scene/gradient.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace spirelle {
namespace {

struct ColorCase {
    const char* text;
    bool smooth;
    std::vector<std::array<int, 4>> points;  // index, red, green, blue
};

TEST(GradientSection, Points) {
    const ColorCase cases[] = {
        {"smooth=no index=0 color=255 index=399 color=16711680",
         false,
         {{0, 255, 0, 0}, {399, 0, 0, 255}}},
        {"smooth=yes index=400 color=0 index=-1 color=65280",
         true,
         {{0, 0, 0, 0}, {399, 0, 255, 0}}},
        {"index=5 color=4294967295", true, {{5, 255, 255, 255}}},
        {"index=1 color=1 index=2", true, {{1, 1, 0, 0}}},
        {"smooth=maybe", false, {}},
        {"index=\"7\" color=\"258\"", true, {{7, 2, 1, 0}}},
    };
    for (const ColorCase& c : cases) {
        Layer layer;
        read_gradient_section(c.text, layer);
        EXPECT_EQ(layer.gradient.color_smooth, c.smooth) << c.text;
        ASSERT_EQ(layer.gradient.color_points.size(), c.points.size()) << c.text;
        for (size_t i = 0; i < c.points.size(); ++i) {
            const GradientPoint& p = layer.gradient.color_points[i];
            EXPECT_EQ((std::array<int, 4>{p.index, p.red, p.green, p.blue}), c.points[i]) << c.text;
        }
    }
}

TEST(GradientSection, UnreadablePointsFail) {
    const std::pair<const char*, const char*> cases[] = {
        {"index=5 color=abc", "invalid stoul argument"},
        {"index=x color=1", "invalid stoi argument"},
        {"index=5 color=99999999999", "stoul argument out of range"},
    };
    for (const auto& [text, message] : cases) {
        Layer layer;
        try {
            read_gradient_section(text, layer);
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

TEST(OpacitySection, UnreadableOpacityIsOpaque) {
    Layer layer;
    read_opacity_section("smooth=no index=5 opacity=abc index=6 opacity=258", layer);
    EXPECT_FALSE(layer.gradient.opacity_smooth);
    EXPECT_TRUE(layer.gradient.color_smooth);
    ASSERT_EQ(layer.gradient.opacity_points.size(), 2u);
    EXPECT_EQ(layer.gradient.opacity_points[0].index, 5);
    EXPECT_EQ(layer.gradient.opacity_points[0].opacity, 255);
    EXPECT_EQ(layer.gradient.opacity_points[1].opacity, 2);
    EXPECT_THROW(read_opacity_section("index=x opacity=1", layer), std::runtime_error);
}

}  // namespace
}  // namespace spirelle
