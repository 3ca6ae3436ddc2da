#include "ui/pane_layout.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace spirelle {
namespace {

constexpr float kMinShare = 0.1f;
constexpr const char* kSettingsType = "Spirelle";
constexpr const char* kSettingsEntry = "Layout";

PaneLayout& layout_of(ImGuiSettingsHandler* handler) {
    return *static_cast<PaneLayout*>(handler->UserData);
}

void* open_entry(ImGuiContext*, ImGuiSettingsHandler* handler, const char* name) {
    return std::strcmp(name, kSettingsEntry) == 0 ? handler->UserData : nullptr;
}

void read_line(ImGuiContext*, ImGuiSettingsHandler* handler, void*, const char* line) {
    if (std::optional<float> split = parse_split_line(line)) layout_of(handler).split = *split;
}

void write_all(ImGuiContext*, ImGuiSettingsHandler* handler, ImGuiTextBuffer* out) {
    out->appendf("[%s][%s]\nSplit=%.4f\n\n", kSettingsType, kSettingsEntry,
                 static_cast<double>(layout_of(handler).split));
}

PaneRects main_viewport_rects(const PaneLayout& layout, float separator_width) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    return pane_rects(viewport->WorkPos, viewport->WorkSize, layout.split, separator_width);
}

}  // namespace

float clamp_split(float split) {
    if (std::isnan(split)) return kDefaultSplit;
    return std::clamp(split, kMinShare, 1.0f - kMinShare);
}

std::optional<float> parse_split_line(const char* line) {
    constexpr const char* kKey = "Split=";
    if (std::strncmp(line, kKey, std::strlen(kKey)) != 0) return std::nullopt;
    const char* text = line + std::strlen(kKey);
    char* end = nullptr;
    float value = std::strtof(text, &end);
    if (end == text || std::isnan(value)) return std::nullopt;
    return clamp_split(value);
}

PaneRects pane_rects(ImVec2 origin, ImVec2 size, float split, float separator_width) {
    float separator = std::round(separator_width);
    float left = std::round(size.x * clamp_split(split));
    left = std::clamp(left, 0.0f, std::max(size.x - separator, 0.0f));
    float right = std::max(size.x - left - separator, 0.0f);
    float x = std::round(origin.x);
    float y = std::round(origin.y);
    PaneRects r;
    r.controls_pos = ImVec2(x, y);
    r.controls_size = ImVec2(left, size.y);
    r.separator_pos = ImVec2(x + left, y);
    r.separator_size = ImVec2(separator, size.y);
    r.render_pos = ImVec2(x + left + separator, y);
    r.render_size = ImVec2(right, size.y);
    return r;
}

void register_layout_settings(PaneLayout& layout) {
    ImGuiSettingsHandler handler;
    handler.TypeName = kSettingsType;
    handler.TypeHash = ImHashStr(kSettingsType);
    handler.ReadOpenFn = open_entry;
    handler.ReadLineFn = read_line;
    handler.WriteAllFn = write_all;
    handler.UserData = &layout;
    ImGui::GetCurrentContext()->SettingsHandlers.push_back(handler);
}

// The separator is a small window of its own between the panes, so that
// ImGui's hover and drag tracking work for it like for any other widget.
void update_pane_split(PaneLayout& layout, float separator_width) {
    PaneRects r = main_viewport_rects(layout, separator_width);
    if (r.separator_size.x < 1.0f || r.separator_size.y < 1.0f) return;
    ImGui::SetNextWindowPos(r.separator_pos);
    ImGui::SetNextWindowSize(r.separator_size);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowMinSize, ImVec2(1, 1));
    ImGui::Begin("##pane_split", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBackground |
                     ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoFocusOnAppearing);
    ImGui::InvisibleButton("##split", r.separator_size);
    bool active = ImGui::IsItemActive();
    bool hovered = ImGui::IsItemHovered();
    // The bar follows the pointer where it was grabbed, so the split depends
    // only on where the pointer is, however many frames the drag took.
    float pointer = ImGui::GetIO().MousePos.x;
    if (ImGui::IsItemActivated()) layout.grab_offset = pointer - r.separator_pos.x;
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    if (active && viewport->WorkSize.x > 0.0f) {
        float left = pointer - layout.grab_offset - viewport->WorkPos.x;
        float split = clamp_split(left / viewport->WorkSize.x);
        if (split != layout.split) {
            layout.split = split;
            ImGui::MarkIniSettingsDirty();
        }
    }
    if (active || hovered) ImGui::SetMouseCursor(ImGuiMouseCursor_ResizeEW);
    ImGuiCol colour = active    ? ImGuiCol_SeparatorActive
                      : hovered ? ImGuiCol_SeparatorHovered
                                : ImGuiCol_Separator;
    ImGui::GetWindowDrawList()->AddRectFilled(
        r.separator_pos,
        ImVec2(r.separator_pos.x + r.separator_size.x, r.separator_pos.y + r.separator_size.y),
        ImGui::GetColorU32(colour));
    ImGui::End();
    ImGui::PopStyleVar(3);
}

void place_controls_pane(const PaneLayout& layout, float separator_width) {
    PaneRects r = main_viewport_rects(layout, separator_width);
    ImGui::SetNextWindowPos(r.controls_pos);
    ImGui::SetNextWindowSize(r.controls_size);
}

void place_render_pane(const PaneLayout& layout, float separator_width) {
    PaneRects r = main_viewport_rects(layout, separator_width);
    ImGui::SetNextWindowPos(r.render_pos);
    ImGui::SetNextWindowSize(r.render_size);
}

}  // namespace spirelle
