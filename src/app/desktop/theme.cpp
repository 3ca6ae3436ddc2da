#include "app/desktop/theme.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace spirelle {
namespace {

struct ColourSlots {
    ImVec4 colour;
    std::initializer_list<ImGuiCol> slots;
};

// The theme's colours. The slot names are those of Dear ImGui 1.86, the
// version this program is built against; it differs from later versions in
// three slots (TabUnfocused, TabActive and NavHighlight were renamed to
// TabDimmed, TabSelected and NavCursor) and lacks the docking slots
// (DockingEmptyBg, DockingPreview), which have nothing to colour here. The
// docking separator size becomes the width of our own pane separator
// (pane_separator_width). Keep every version-specific line in this block.
const ColourSlots kThemeColours[] = {
    {{0.92f, 0.92f, 0.95f, 1.0f}, {ImGuiCol_Text}},
    {{0.58f, 0.62f, 0.68f, 1.0f}, {ImGuiCol_TextDisabled}},
    {{0.07f, 0.08f, 0.11f, 1.0f},
     {ImGuiCol_WindowBg, ImGuiCol_ChildBg, ImGuiCol_PopupBg, ImGuiCol_TitleBgCollapsed,
      ImGuiCol_ScrollbarBg, ImGuiCol_TabUnfocused}},
    {{0.11f, 0.13f, 0.17f, 1.0f},
     {ImGuiCol_FrameBg, ImGuiCol_TitleBg, ImGuiCol_MenuBarBg, ImGuiCol_ScrollbarGrab,
      ImGuiCol_Button, ImGuiCol_Header, ImGuiCol_Tab}},
    {{0.16f, 0.19f, 0.24f, 1.0f},
     {ImGuiCol_FrameBgHovered, ImGuiCol_ScrollbarGrabHovered, ImGuiCol_HeaderHovered}},
    {{0.75f, 0.06f, 0.43f, 1.0f},
     {ImGuiCol_FrameBgActive, ImGuiCol_TitleBgActive, ImGuiCol_ScrollbarGrabActive,
      ImGuiCol_ButtonHovered, ImGuiCol_HeaderActive, ImGuiCol_TabHovered, ImGuiCol_TabActive}},
    {{1.0f, 0.08f, 0.58f, 1.0f},
     {ImGuiCol_CheckMark, ImGuiCol_SliderGrabActive, ImGuiCol_ButtonActive,
      ImGuiCol_SeparatorActive, ImGuiCol_ResizeGripActive, ImGuiCol_PlotLinesHovered,
      ImGuiCol_PlotHistogram, ImGuiCol_DragDropTarget, ImGuiCol_NavHighlight,
      ImGuiCol_NavWindowingHighlight}},
    {{0.2f, 0.75f, 0.85f, 1.0f}, {ImGuiCol_SliderGrab, ImGuiCol_PlotLines}},
    {{0.22f, 0.18f, 0.28f, 0.7f}, {ImGuiCol_Border, ImGuiCol_Separator, ImGuiCol_ResizeGrip}},
    {{0.85f, 0.2f, 0.7f, 1.0f}, {ImGuiCol_SeparatorHovered, ImGuiCol_ResizeGripHovered}},
    {{0.75f, 0.06f, 0.43f, 0.4f}, {ImGuiCol_TextSelectedBg}},
    {{0.0f, 0.0f, 0.0f, 0.55f}, {ImGuiCol_ModalWindowDimBg}},
};
constexpr float kDockingSeparatorSize = 6.0f;

constexpr const char* kFontFiles[] = {
    "C:/Windows/Fonts/segoeui.ttf",
    "C:/Windows/Fonts/tahoma.ttf",
    "/System/Library/Fonts/SFNSDisplay.ttf",
    "/System/Library/Fonts/Helvetica.ttc",
    "/usr/share/fonts/TTF/DejaVuSans.ttf",
    "/usr/share/fonts/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/liberation-sans/LiberationSans-Regular.ttf",
};

// Latin-1 and general punctuation, which has the em dash of the Render
// view's empty-state text.
constexpr ImWchar kGlyphRanges[] = {0x0020, 0x00FF, 0x2000, 0x206F, 0};

}  // namespace

float ui_scale_for(SDL_Window* window) {
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) return 1.0f;
    float dpi = 0.0f;
    if (SDL_GetDisplayDPI(display, nullptr, &dpi, nullptr) != 0) return 1.0f;
    if (!(dpi >= 36.0f && dpi <= 600.0f)) return 1.0f;
    return std::clamp(dpi / 96.0f, 0.75f, 4.0f);
}

void apply_dark_theme(float scale) {
    ImGuiStyle style;
    style.WindowRounding = 3.0f;
    style.ChildRounding = 2.0f;
    style.PopupRounding = 2.0f;
    style.FrameRounding = 2.0f;
    style.ScrollbarRounding = 2.0f;
    style.GrabRounding = 2.0f;
    style.TabRounding = 2.0f;
    style.WindowBorderSize = 1.0f;
    style.PopupBorderSize = 1.0f;
    style.FrameBorderSize = 1.0f;
    for (const ColourSlots& entry : kThemeColours) {
        for (ImGuiCol slot : entry.slots) style.Colors[slot] = entry.colour;
    }
    style.ScaleAllSizes(scale);
    ImGui::GetStyle() = style;
}

float pane_separator_width(float scale) { return std::round(kDockingSeparatorSize * scale); }

void load_font(float scale) {
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    float size = std::max(17.0f * scale, 10.0f);
    for (const char* file : kFontFiles) {
        std::error_code ec;
        if (std::filesystem::exists(file, ec)) {
            io.Fonts->AddFontFromFileTTF(file, size, nullptr, kGlyphRanges);
            return;
        }
    }
    ImFontConfig config;
    config.SizePixels = size;
    config.GlyphRanges = kGlyphRanges;
    io.Fonts->AddFontDefault(&config);
}

}  // namespace spirelle
