// The window's two panes: "Controls" on the left and "Render" on the right
// fill the main viewport side by side, split by a separator that the mouse
// drags. The split is kept in imgui.ini as
//
//   [Spirelle][Layout]
//   Split=0.2800
//
// so a later run opens with the layout the user left; without imgui.ini the
// Controls pane takes 28 % of the width.
#pragma once

#include <imgui.h>

#include <optional>
#include <string>

namespace spirelle {

constexpr float kDefaultSplit = 0.28f;

struct PaneLayout {
    float split = kDefaultSplit;  // the Controls pane's share of the width
    float grab_offset = 0.0f;     // pointer x - bar x when the bar was grabbed
};

// Window flags of the two panes: the layout places them, not the user.
constexpr ImGuiWindowFlags kPaneWindowFlags =
    ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse |
    ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus;

// Keeps both panes at least a tenth of the width; a value that is not a
// number gives the default.
float clamp_split(float split);

// The value of a "Split=..." line of the settings section; none for any
// other line or for text that is not a number.
std::optional<float> parse_split_line(const char* line);

// Where the panes and the separator go in a viewport of the given origin and
// size. Edges fall on whole pixels so that images drawn at 1:1 stay sharp.
struct PaneRects {
    ImVec2 controls_pos, controls_size;
    ImVec2 separator_pos, separator_size;
    ImVec2 render_pos, render_size;
};
PaneRects pane_rects(ImVec2 origin, ImVec2 size, float split, float separator_width);

// Adds the layout's section to ImGui's settings. Call once after creating
// the ImGui context and before its first frame, which reads imgui.ini;
// `layout` must outlive the context.
void register_layout_settings(PaneLayout& layout);

// Draws the separator over the main viewport and lets the mouse drag it.
// Call once per frame before the panes are drawn.
void update_pane_split(PaneLayout& layout, float separator_width);

// Places the next window (call right before its Begin).
void place_controls_pane(const PaneLayout& layout, float separator_width);
void place_render_pane(const PaneLayout& layout, float separator_width);

}  // namespace spirelle
