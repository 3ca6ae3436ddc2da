// The image sits in a scrolling child region. Image zoom and pan only move
// that region's scroll offsets; navigation turns the cursor position into
// an image position and edits the selected set through ui/navigation.
#include "ui/render_view.h"

#include <GL/gl.h>
#include <imgui.h>

#include <cstdint>

#include "ui/image_zoom.h"
#include "ui/navigation.h"
#include "ui/pane_layout.h"

namespace spirelle {
namespace {

constexpr const char* kEmptyText =
    "no scene loaded \u2014 paste a .upr path in Controls and click Load";

// The image position under the mouse, in pixels of the scene the image was
// rendered from (the texture may still hold an older image of another size).
ImagePoint image_position(ImVec2 mouse, ImVec2 image_origin, float zoom,
                          const RenderTexture& texture, const Scene& set) {
    double to_scene_x = static_cast<double>(set.width) / texture.width;
    double to_scene_y = static_cast<double>(set.height) / texture.height;
    return {(mouse.x - image_origin.x) / zoom * to_scene_x,
            (mouse.y - image_origin.y) / zoom * to_scene_y};
}

bool inside_image(ImagePoint p, const Scene& set) {
    return p.x >= 0.0 && p.y >= 0.0 && p.x < set.width && p.y < set.height;
}

// Ctrl + wheel, right-button drag and double-click on the image. Returns
// true when the selected set changed.
bool navigate(UiState& state, const RenderTexture& texture, ImVec2 image_origin) {
    if (state.sets.empty()) return false;
    int index = state.selected_set;
    if (index < 0 || index >= static_cast<int>(state.sets.size())) return false;
    Scene& set = state.sets[static_cast<size_t>(index)];
    if (set.layers.empty() || set.width < 1 || set.height < 1) return false;

    const ImGuiIO& io = ImGui::GetIO();
    ImagePoint at = image_position(io.MousePos, image_origin, state.zoom, texture, set);
    Scene shown = shown_set(set, state.animated, state.current_frame);
    if (io.KeyCtrl && io.MouseWheel != 0.0f) {
        return zoom_fractal(set, shown, at, io.MouseWheel > 0.0f ? 2.0 : 0.5);
    }
    if (ImGui::IsMouseDown(ImGuiMouseButton_Right) &&
        (io.MouseDelta.x != 0.0f || io.MouseDelta.y != 0.0f)) {
        ImagePoint moved = image_position(
            ImVec2(image_origin.x + io.MouseDelta.x, image_origin.y + io.MouseDelta.y),
            image_origin, state.zoom, texture, set);
        return move_fractal(set, shown, moved.x, moved.y);
    }
    if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left) && inside_image(at, set)) {
        return center_fractal(set, shown, at);
    }
    return false;
}

void zoom_image(UiState& state) {
    const ImGuiIO& io = ImGui::GetIO();
    float next = image_zoom_step(state.zoom, io.MouseWheel);
    float ratio = next / state.zoom;
    if (ratio == 1.0f) return;
    ImVec2 pane = ImGui::GetWindowPos();
    ImGui::SetScrollX(scroll_for_zoom(io.MousePos.x - pane.x, ImGui::GetScrollX(), ratio));
    ImGui::SetScrollY(scroll_for_zoom(io.MousePos.y - pane.y, ImGui::GetScrollY(), ratio));
    state.zoom = next;
}

}  // namespace

bool draw_render_view(UiState& state, const RenderTexture& texture) {
    bool edited = false;
    ImGui::Begin("Render", nullptr, kPaneWindowFlags);
    if (texture.width < 1 || texture.height < 1) {
        ImGui::TextDisabled("%s", kEmptyText);
        ImGui::End();
        return false;
    }

    ImGui::Text("zoom %s   wheel=zoom drag=pan", image_zoom_label(state.zoom).c_str());
    ImGui::SameLine();
    if (ImGui::SmallButton("100%")) {
        state.zoom = 1.0f;
        state.reset_pan = true;
    }
    ImGui::TextDisabled("fractal: ctrl+wheel=zoom right-drag=move double-click=center");

    ImGui::BeginChild("ImgPane", ImVec2(0, 0), false,
                      ImGuiWindowFlags_HorizontalScrollbar | ImGuiWindowFlags_NoMove);
    const ImGuiIO& io = ImGui::GetIO();
    ImVec2 image_origin = ImGui::GetCursorScreenPos();
    bool hovered = ImGui::IsWindowHovered();
    if (hovered) {
        edited = navigate(state, texture, image_origin);
        if (io.KeyCtrl && io.MouseWheel != 0.0f) {
            // The wheel went to the fractal: keep ImGui from scrolling too.
            ImGui::SetScrollX(ImGui::GetScrollX());
            ImGui::SetScrollY(ImGui::GetScrollY());
        } else if (io.MouseWheel != 0.0f) {
            zoom_image(state);
        }
    }
    if (state.reset_pan) {
        ImGui::SetScrollX(0.0f);
        ImGui::SetScrollY(0.0f);
        state.reset_pan = false;
    }
    if (hovered && (ImGui::IsMouseDown(ImGuiMouseButton_Left) ||
                    ImGui::IsMouseDown(ImGuiMouseButton_Middle))) {
        ImGui::SetScrollX(ImGui::GetScrollX() - io.MouseDelta.x);
        ImGui::SetScrollY(ImGui::GetScrollY() - io.MouseDelta.y);
    }

    glBindTexture(GL_TEXTURE_2D, texture.id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                    state.zoom >= 1.0f ? GL_NEAREST : GL_LINEAR);
    ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(texture.id)),
                 ImVec2(static_cast<float>(texture.width) * state.zoom,
                        static_cast<float>(texture.height) * state.zoom),
                 ImVec2(0, 0), ImVec2(1, 1), ImVec4(1, 1, 1, 1), ImVec4(0, 0, 0, 0));
    ImGui::EndChild();
    ImGui::End();
    return edited;
}

}  // namespace spirelle
