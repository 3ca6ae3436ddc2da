// The panel is drawn top to bottom in sections: scene and progress, Quality,
// Tonemap, Device, Animation (animated sets only), Params (the selected
// layer's values under five collapsing headers) and the error line.
#include "ui/controls_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ui/pane_layout.h"
#include "ui/panel_logic.h"

namespace spirelle {
namespace {

// A value driven by an animation track is shown disabled, followed by
// "(anim)": the next apply_set would overwrite an edit anyway.
class TrackedRow {
  public:
    explicit TrackedRow(bool driven) : driven_(driven) {
        if (driven_) ImGui::BeginDisabled();
    }
    ~TrackedRow() {
        if (!driven_) return;
        ImGui::EndDisabled();
        ImGui::SameLine();
        ImGui::TextDisabled("(anim)");
    }
    TrackedRow(const TrackedRow&) = delete;
    TrackedRow& operator=(const TrackedRow&) = delete;

  private:
    bool driven_;
};

bool drag_double(const char* label, double* value, float speed, const char* format) {
    return ImGui::DragScalar(label, ImGuiDataType_Double, value, speed, nullptr, nullptr, format);
}

// A combo over `items` showing `current`; returns the index picked this
// frame, or -1.
int pick_from(const char* label, const std::vector<std::string>& items, int current) {
    int picked = -1;
    const char* preview = current >= 0 && current < static_cast<int>(items.size())
                              ? items[static_cast<size_t>(current)].c_str()
                              : "";
    if (ImGui::BeginCombo(label, preview)) {
        for (int i = 0; i < static_cast<int>(items.size()); ++i) {
            ImGui::PushID(i);
            bool selected = i == current;
            if (ImGui::Selectable(items[static_cast<size_t>(i)].c_str(), selected) && !selected) {
                picked = i;
            }
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }
    return picked;
}

void scene_section(RenderWorker& worker, UiState& state, ControlsResult& result) {
    ImGui::TextUnformatted("Scene");
    ImGui::SetNextItemWidth(-1.0f);
    if (ImGui::InputText("##path", state.path, kPathCapacity,
                         ImGuiInputTextFlags_EnterReturnsTrue)) {
        result.load = true;
    }
    state.path[kPathCapacity - 1] = '\0';
    if (ImGui::Button("Browse...")) result.browse = true;
    ImGui::SameLine();
    if (ImGui::Button("Load")) result.load = true;
    ImGui::SameLine();
    if (ImGui::Button("Save PNG")) result.save = true;

    int done = worker.samples_done.load();
    int target = worker.samples_target.load();
    char overlay[32];
    std::snprintf(overlay, sizeof overlay, "%d / %d spp", done, target);
    ImGui::ProgressBar(progress_fraction(done, target), ImVec2(-1.0f, 0.0f), overlay);
    ImGui::TextDisabled("%.2f s elapsed   %.1f Msamp/s",
                        elapsed_seconds(worker.start_time.load(), worker.last_time.load()),
                        static_cast<double>(worker.throughput.load()));

    if (state.sets.size() >= 2) {
        std::vector<std::string> names;
        for (const Scene& set : state.sets) names.push_back(set_label(set));
        ImGui::SetNextItemWidth(-1.0f);
        int picked = pick_from("##set", names, state.selected_set);
        if (picked >= 0) {
            state.selected_set = picked;
            result.apply = true;
        }
    }
}

void quality_section(UiState& state, ControlsResult& result) {
    ImGui::Separator();
    ImGui::TextUnformatted("Quality");
    std::string format = sampling_level_format(state.sampling_level);
    if (ImGui::SliderInt("sampling level", &state.sampling_level, 0, 10, format.c_str())) {
        result.apply = true;
    }
    const char* precisions[] = {"single (FP32)", "double (FP64)"};
    if (ImGui::Combo("precision", &state.precision, precisions, 2)) result.apply = true;
}

void tonemap_section(UiState& state, ControlsResult& result) {
    ImGui::Separator();
    ImGui::TextUnformatted("Tonemap");
    if (ImGui::SliderFloat("exposure", &state.exposure, 0.05f, 8.0f, "%.2f")) {
        result.retonemap = true;
    }
    if (ImGui::SliderFloat("contrast", &state.contrast, 0.1f, 4.0f, "%.2f")) {
        result.retonemap = true;
    }
    if (ImGui::SmallButton("reset tonemap")) {
        state.exposure = 1.0f;
        state.contrast = 1.0f;
        result.retonemap = true;
    }
}

void device_section(UiState& state, const std::vector<std::string>& device_names,
                    ControlsResult& result) {
    ImGui::Separator();
    ImGui::TextUnformatted("Device");
    std::vector<std::string> items{"auto"};
    items.insert(items.end(), device_names.begin(), device_names.end());
    int picked = pick_from("##device", items, device_combo_index(device_names, state.device_name));
    if (picked >= 0) {
        state.device_name = picked == 0 ? std::string() : items[static_cast<size_t>(picked)];
        result.apply = true;
    }
}

void animation_section(RenderWorker& worker, UiState& state, float fs, ControlsResult& result) {
    ImGui::Separator();
    ImGui::TextUnformatted("Animation");
    int frames = std::max(state.frame_count, 1);
    ImGui::Text("frame %d / %d", state.current_frame, state.frame_count);
    if (ImGui::SliderInt("##frame", &state.current_frame, 1, frames, "%d")) result.apply = true;
    if (ImGui::Button(state.playing ? "Pause" : "Play")) state.playing = !state.playing;
    ImGui::SameLine();
    if (ImGui::SmallButton("|<")) {
        state.current_frame = 1;
        result.apply = true;
    }
    ImGui::SameLine();
    if (ImGui::SmallButton(">|")) {
        state.current_frame = state.frame_count;
        result.apply = true;
    }
    ImGui::SameLine();
    ImGui::SetNextItemWidth(3.5f * fs);
    if (ImGui::InputInt("fps", &state.fps, 0, 0)) state.fps = clamp_fps(state.fps);

    ImGui::TextDisabled("range render (PNG sequence)");
    ImGui::PushItemWidth(4.0f * fs);
    // ImGui leaves a drag unbounded when its limits are equal (a single
    // frame), so the range is clamped here as well.
    ImGui::DragInt("##sa", &state.range_a, 0.5f, 1, frames, "a=%d");
    ImGui::SameLine();
    ImGui::DragInt("##sb", &state.range_b, 0.5f, 1, frames, "b=%d");
    ImGui::SameLine();
    ImGui::DragInt("##ss", &state.range_step, 0.5f, 1, frames, "step=%d");
    ImGui::PopItemWidth();
    state.range_a = std::clamp(state.range_a, 1, frames);
    state.range_b = std::clamp(state.range_b, 1, frames);
    state.range_step = std::clamp(state.range_step, 1, frames);

    if (worker.range_active.load()) {
        ImGui::Text("rendering %d / %d", worker.range_frames_done.load(),
                    worker.range_frames_total.load());
        ImGui::SameLine();
        if (ImGui::SmallButton("cancel")) worker.range_cancel = true;
    } else if (ImGui::Button("Save range as PNGs")) {
        result.save_range = true;
    }
}

void camera_rows(Layer& layer, ControlsResult& result) {
    bool centre_driven = has_track(layer.tracks, "center");
    float centre_speed =
        static_cast<float>(std::max(0.01 / std::max(std::abs(layer.magn), 1.0), 1e-15));
    {
        TrackedRow row(centre_driven);
        result.apply |= drag_double("center.re", &layer.center.re, centre_speed, "%.10g");
    }
    {
        TrackedRow row(centre_driven);
        result.apply |= drag_double("center.im", &layer.center.im, centre_speed, "%.10g");
    }
    {
        TrackedRow row(has_track(layer.tracks, "magn"));
        double v = std::log10(std::max(std::abs(layer.magn), 1e-30));
        if (drag_double("magn (log10)", &v, 0.05f, "%.4f")) {
            layer.magn = std::pow(10.0, v);
            result.apply = true;
        }
    }
    {
        TrackedRow row(has_track(layer.tracks, "angle"));
        result.apply |= drag_double("angle", &layer.angle, 0.5f, "%.3f deg");
    }
    {
        TrackedRow row(has_track(layer.tracks, "stretch"));
        result.apply |= drag_double("stretch", &layer.stretch, 0.005f, "%.4f");
    }
    {
        TrackedRow row(has_track(layer.tracks, "skew"));
        result.apply |= drag_double("skew", &layer.skew, 0.5f, "%.3f deg");
    }
}

void iteration_rows(Layer& layer, ControlsResult& result) {
    TrackedRow row(has_track(layer.tracks, "maxiter"));
    int maxiter = layer.maxiter;
    if (ImGui::SliderInt("maxiter", &maxiter, 50, 100000, "%d", ImGuiSliderFlags_Logarithmic)) {
        layer.maxiter = std::max(maxiter, 1);
        result.apply = true;
    }
}

// A number is dragged and written back as "%.10g"; any other text (a complex
// "re/im", a name) is edited as text and stored when Enter is pressed.
void formula_rows(Layer& layer, ControlsResult& result) {
    for (auto& [key, value] : layer.formula.params) {
        ImGui::PushID(key.c_str());
        TrackedRow row(has_track(layer.tracks, param_track_name(key)));
        ParamRow kind = classify_param(value);
        if (kind.numeric) {
            if (drag_double(key.c_str(), &kind.value, 0.01f, "%.10g")) {
                value = format_param(kind.value);
                result.apply = true;
            }
        } else {
            char text[256];
            std::snprintf(text, sizeof text, "%s", value.c_str());
            if (ImGui::InputText(key.c_str(), text, sizeof text,
                                 ImGuiInputTextFlags_EnterReturnsTrue)) {
                value = text;
                result.apply = true;
            }
        }
        ImGui::PopID();
    }
}

bool solid_colour(const char* label, uint32_t& packed) {
    std::array<float, 3> rgb = unpack_solid(packed);
    if (!ImGui::ColorEdit3(label, rgb.data())) return false;
    packed = pack_solid(rgb, packed);
    return true;
}

void coloring_rows(Layer& layer, ControlsResult& result) {
    {
        TrackedRow row(has_track(layer.inside.tracks, "density"));
        result.apply |= drag_double("inside density", &layer.inside_density, 0.01f, "%.4f");
    }
    {
        TrackedRow row(has_track(layer.outside.tracks, "density"));
        result.apply |= drag_double("outside density", &layer.outside_density, 0.01f, "%.4f");
    }
    result.apply |= solid_colour("inside solid", layer.inside_solid);
    result.apply |= solid_colour("outside solid", layer.outside_solid);
}

void composite_rows(Layer& layer, ControlsResult& result) {
    {
        TrackedRow row(has_track(layer.tracks, "opacity"));
        result.apply |= ImGui::SliderInt("opacity", &layer.opacity, 0, 100, "%d");
    }
    int picked = pick_from("mergemode", kMergeModeNames, merge_mode_index(layer.mergemode));
    if (picked >= 0) {
        layer.mergemode = kMergeModeNames[static_cast<size_t>(picked)];
        result.apply = true;
    }
    result.apply |= ImGui::Checkbox("transparent", &layer.transparent);
    result.apply |= ImGui::Checkbox("visible", &layer.visible);
}

void params_section(UiState& state, Scene& set, ControlsResult& result) {
    if (state.selected_layer < 0 || state.selected_layer >= static_cast<int>(set.layers.size())) {
        state.selected_layer = 0;
    }
    ImGui::Separator();
    ImGui::TextUnformatted("Params");
    if (set.layers.size() >= 2) {
        std::vector<std::string> labels;
        for (size_t i = 0; i < set.layers.size(); ++i) {
            labels.push_back(layer_label(i, set.layers[i]));
        }
        ImGui::SetNextItemWidth(-1.0f);
        int picked = pick_from("##layer", labels, state.selected_layer);
        if (picked >= 0) state.selected_layer = picked;
    }
    Layer& layer = set.layers[static_cast<size_t>(state.selected_layer)];
    if (ImGui::CollapsingHeader("Camera", ImGuiTreeNodeFlags_DefaultOpen)) {
        camera_rows(layer, result);
    }
    if (ImGui::CollapsingHeader("Iter")) iteration_rows(layer, result);
    if (ImGui::CollapsingHeader("Formula")) formula_rows(layer, result);
    if (ImGui::CollapsingHeader("Coloring")) coloring_rows(layer, result);
    if (ImGui::CollapsingHeader("Composite")) composite_rows(layer, result);
}

void error_section(RenderWorker& worker) {
    ImGui::Separator();
    std::string text = worker.error_text_copy();
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(1.0f, 0.4f, 0.4f, 1.0f));
    ImGui::TextWrapped("error: %s", text.c_str());
    ImGui::PopStyleColor();
    if (ImGui::SmallButton("dismiss")) worker.error_pending = false;
}

}  // namespace

ControlsResult draw_controls(RenderWorker& worker, UiState& state,
                             const std::vector<std::string>& device_names, float font_size) {
    ControlsResult result;
    ImGui::Begin("Controls", nullptr, kPaneWindowFlags);
    scene_section(worker, state, result);
    quality_section(state, result);
    tonemap_section(state, result);
    device_section(state, device_names, result);
    if (state.animated) animation_section(worker, state, font_size, result);
    if (!state.sets.empty()) {
        state.selected_set =
            std::clamp(state.selected_set, 0, static_cast<int>(state.sets.size()) - 1);
        Scene& set = state.sets[static_cast<size_t>(state.selected_set)];
        if (!set.layers.empty()) params_section(state, set, result);
    }
    if (worker.error_pending.load()) error_section(worker);
    ImGui::End();
    return result;
}

}  // namespace spirelle
