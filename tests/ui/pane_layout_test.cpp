#include "ui/pane_layout.h"

#include <gtest/gtest.h>
#include <imgui.h>

#include <cmath>
#include <string>

namespace spirelle {
namespace {

// An ImGui context without a window or settings file, enough to read and
// write settings text.
class ImGuiContextScope {
  public:
    ImGuiContextScope() {
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;
    }
    ~ImGuiContextScope() { ImGui::DestroyContext(); }
    ImGuiContextScope(const ImGuiContextScope&) = delete;
    ImGuiContextScope& operator=(const ImGuiContextScope&) = delete;
};

TEST(PaneLayoutSettings, ReadsTheStoredSplitAndWritesItBack) {
    struct Case {
        const char* shows;
        const char* ini;
        float split;
    };
    const Case cases[] = {
        {"a stored split", "[Spirelle][Layout]\nSplit=0.4125\n", 0.4125f},
        {"no section: the default", "[Window][Controls]\nPos=0,0\n", kDefaultSplit},
        {"an empty file: the default", "", kDefaultSplit},
        {"a split beyond the edge is clamped", "[Spirelle][Layout]\nSplit=3\n", 0.9f},
        {"text that is no number is ignored", "[Spirelle][Layout]\nSplit=wide\n", kDefaultSplit},
        {"another entry name is not ours", "[Spirelle][Other]\nSplit=0.5\n", kDefaultSplit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        ImGuiContextScope context;
        PaneLayout layout;
        register_layout_settings(layout);
        ImGui::LoadIniSettingsFromMemory(c.ini);
        EXPECT_FLOAT_EQ(layout.split, c.split);

        layout.split = 0.35f;
        std::string written = ImGui::SaveIniSettingsToMemory();
        EXPECT_NE(written.find("[Spirelle][Layout]\nSplit=0.3500\n"), std::string::npos) << written;
    }
}

TEST(PaneLayoutSettings, SurvivesARoundTripThroughTheIniText) {
    std::string written;
    {
        ImGuiContextScope context;
        PaneLayout layout;
        register_layout_settings(layout);
        layout.split = 0.61f;
        written = ImGui::SaveIniSettingsToMemory();
    }
    ImGuiContextScope context;
    PaneLayout layout;
    register_layout_settings(layout);
    ImGui::LoadIniSettingsFromMemory(written.c_str());
    EXPECT_FLOAT_EQ(layout.split, 0.61f);
}

TEST(PaneRects, SplitTheViewportOnWholePixels) {
    struct Case {
        const char* shows;
        float split, width, separator;
        float controls_width;
    };
    const Case cases[] = {
        {"the default 28 % of 1280", kDefaultSplit, 1280.0f, 6.0f, 358.0f},
        {"an odd width", 0.5f, 1001.0f, 6.0f, 501.0f},
        {"a narrow pane is kept at a tenth", 0.01f, 1000.0f, 6.0f, 100.0f},
        {"a fractional separator rounds", 0.3f, 800.0f, 7.5f, 240.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        PaneRects r =
            pane_rects(ImVec2(0.0f, 20.0f), ImVec2(c.width, 600.0f), c.split, c.separator);
        EXPECT_EQ(r.controls_size.x, c.controls_width);
        EXPECT_EQ(r.separator_pos.x, r.controls_pos.x + r.controls_size.x);
        EXPECT_EQ(r.render_pos.x, r.separator_pos.x + r.separator_size.x);
        EXPECT_EQ(r.render_pos.x + r.render_size.x, c.width) << "the panes fill the width";
        EXPECT_EQ(r.separator_size.x, std::round(c.separator));
        EXPECT_EQ(r.render_pos.x, std::floor(r.render_pos.x));
        EXPECT_EQ(r.controls_pos.y, 20.0f);
        EXPECT_EQ(r.render_size.y, 600.0f);
    }
}

TEST(PaneRects, KeepBothPanesWithinATinyViewport) {
    PaneRects r = pane_rects(ImVec2(0, 0), ImVec2(4.0f, 10.0f), 0.5f, 6.0f);
    EXPECT_GE(r.controls_size.x, 0.0f);
    EXPECT_GE(r.render_size.x, 0.0f);
    EXPECT_LE(r.render_pos.x + r.render_size.x, 6.0f);
}

}  // namespace
}  // namespace spirelle
