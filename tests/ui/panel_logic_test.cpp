#include "ui/panel_logic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "ui/image_zoom.h"

namespace spirelle {
namespace {

TEST(SamplingLevelFormat, ReadsAsLevelAndSamplesPerPixel) {
    struct Case {
        int level;
        const char* shown;
    };
    const Case cases[] = {{0, "0 (= 1 spp)"}, {4, "4 (= 16 spp)"}, {10, "10 (= 1024 spp)"}};
    for (const Case& c : cases) {
        // The slider prints the level through the format, as ImGui does.
        char shown[64];
        std::snprintf(shown, sizeof shown, sampling_level_format(c.level).c_str(), c.level);
        EXPECT_STREQ(shown, c.shown);
    }
}

TEST(SolidColour, UnpacksAndPacksBackToTheSameValue) {
    // Red in the low byte; the top byte (often 0xFF in files) is kept.
    const uint32_t packed[] = {0u, 0x00FFFFFFu, 4278221055u, 12615680u, 0x00123456u, 0xFF000000u};
    for (uint32_t value : packed) {
        SCOPED_TRACE(value);
        EXPECT_EQ(pack_solid(unpack_solid(value), value), value);
    }
    std::array<float, 3> orange = unpack_solid(4278221055u);  // 0xFF0078FF
    EXPECT_FLOAT_EQ(orange[0], 1.0f);
    EXPECT_FLOAT_EQ(orange[1], 120.0f / 255.0f);
    EXPECT_FLOAT_EQ(orange[2], 0.0f);
}

TEST(SolidColour, RoundsAndClampsEditedValues) {
    struct Case {
        const char* shows;
        std::array<float, 3> rgb;
        uint32_t packed;
    };
    const Case cases[] = {
        {"half rounds up", {0.5f, 0.0f, 0.0f}, 128u},
        {"out of range clamps", {1.5f, -0.2f, 2.0f}, 0x00FF00FFu},
        {"a NaN counts as black", {NAN, 1.0f, 0.0f}, 0x0000FF00u},
        {"nearest byte", {0.1f, 0.2f, 0.3f}, (77u << 16) | (51u << 8) | 26u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        EXPECT_EQ(pack_solid(c.rgb, 0u), c.packed);
    }
}

TEST(ParamRows, OnlyAWholeNumberBecomesADrag) {
    struct Case {
        const char* text;
        bool numeric;
        double value;
    };
    const Case cases[] = {
        {"4", true, 4.0},    {"-0.25", true, -0.25}, {"1e3", true, 1000.0},
        {" 2", true, 2.0},   {"0/0", false, 0.0},    {"1.5/-2", false, 0.0},
        {"sin", false, 0.0}, {"4x", false, 0.0},     {"", false, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ParamRow row = classify_param(c.text);
        EXPECT_EQ(row.numeric, c.numeric);
        if (c.numeric) {
            EXPECT_DOUBLE_EQ(row.value, c.value);
        }
    }
}

TEST(ParamRows, DraggedValuesAreWrittenWithTenSignificantDigits) {
    EXPECT_EQ(format_param(0.1), "0.1");
    EXPECT_EQ(format_param(1.0 / 3.0), "0.3333333333");
    EXPECT_EQ(format_param(-12345678901.0), "-1.23456789e+10");
    EXPECT_EQ(format_param(4.0), "4");
    // The written text is again a number row.
    EXPECT_TRUE(classify_param(format_param(2.0 / 3.0)).numeric);
}

TEST(Fps, IsKeptWithinOneTo240) {
    const int cases[][2] = {{0, 1}, {-5, 1}, {1, 1}, {30, 30}, {240, 240}, {500, 240}};
    for (const auto& c : cases) EXPECT_EQ(clamp_fps(c[0]), c[1]) << c[0];
}

TEST(Progress, FractionAndElapsedTime) {
    EXPECT_EQ(progress_fraction(0, 1), 0.0f) << "before any render";
    EXPECT_EQ(progress_fraction(8, 16), 0.5f);
    EXPECT_EQ(progress_fraction(20, 16), 1.0f);
    EXPECT_EQ(progress_fraction(-3, 16), 0.0f);
    EXPECT_EQ(progress_fraction(5, 0), 0.0f);
    EXPECT_EQ(elapsed_seconds(0, 0), 0.0);
    EXPECT_EQ(elapsed_seconds(2000000000, 500000000), 0.0) << "never negative";
    EXPECT_DOUBLE_EQ(elapsed_seconds(500000000, 2000000000), 1.5);
}

TEST(DeviceCombo, ShowsAutoUnlessTheNamedDeviceIsListed) {
    const std::vector<std::string> names = {"GPU A", "CPU B"};
    EXPECT_EQ(device_combo_index(names, ""), 0);
    EXPECT_EQ(device_combo_index(names, "GPU A"), 1);
    EXPECT_EQ(device_combo_index(names, "CPU B"), 2);
    EXPECT_EQ(device_combo_index(names, "unplugged"), 0);
    EXPECT_EQ(device_combo_index({}, "GPU A"), 0);
}

TEST(ComboLabels, NameSetsAndLayers) {
    Scene named;
    named.name = "Blue";
    EXPECT_EQ(set_label(named), "Blue");
    EXPECT_EQ(set_label(Scene{}), "(unnamed)");
    Layer layer;
    layer.formula.entry = "Mandelbrot";
    EXPECT_EQ(layer_label(2, layer), "layer 2 (Mandelbrot)");
}

TEST(Tracks, FormulaParametersAreDrivenByTheirPrefixedTrack) {
    TrackMap tracks;
    tracks["p_bailout"] = {{0.0, "4", ""}};
    tracks["magn"] = {{0.0, "1", ""}};
    EXPECT_TRUE(has_track(tracks, param_track_name("bailout")));
    EXPECT_FALSE(has_track(tracks, param_track_name("start")));
    EXPECT_TRUE(has_track(tracks, "magn"));
    EXPECT_FALSE(has_track(tracks, "center"));
}

TEST(ImageZoom, StepsByPowersOfTwoBetweenOneSixteenthAndSixteen) {
    struct Case {
        float wheel;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {1.0f, {"2:1", "4:1", "8:1", "16:1", "16:1"}},
        {-1.0f, {"1:2", "1:4", "1:8", "1:16", "1:16"}},
        {0.0f, {"1:1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wheel);
        float zoom = 1.0f;
        for (const std::string& label : c.labels) {
            zoom = image_zoom_step(zoom, c.wheel);
            EXPECT_EQ(image_zoom_label(zoom), label);
        }
    }
    EXPECT_EQ(image_zoom_step(16.0f, -3.0f), 8.0f) << "one step per wheel event";
}

TEST(ImageZoom, ScrollKeepsTheImagePointUnderTheCursor) {
    struct Case {
        float zoom, ratio, cursor, scroll;
    };
    const Case cases[] = {
        {1.0f, 2.0f, 100.0f, 0.0f}, {2.0f, 0.5f, 37.0f, 120.0f}, {0.25f, 2.0f, 5.0f, 0.0f}};
    for (const Case& c : cases) {
        float before = (c.scroll + c.cursor) / c.zoom;
        float scroll = scroll_for_zoom(c.cursor, c.scroll, c.ratio);
        EXPECT_FLOAT_EQ((scroll + c.cursor) / (c.zoom * c.ratio), before);
    }
}

}  // namespace
}  // namespace spirelle
