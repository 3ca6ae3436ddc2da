// The UI-thread operations that create render jobs, and the worker's error
// and wake plumbing.
#include "app/render_worker.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "scene/reader.h"

namespace spirelle {

void set_path(UiState& state, const std::string& path) {
    size_t length = std::min(path.size(), kPathCapacity - 1);
    std::memcpy(state.path, path.data(), length);
    state.path[length] = '\0';
}

int64_t monotonic_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RenderWorker::post_error(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(error_lock);
        error_text = text;
    }
    error_pending = true;
    wake();
}

std::string RenderWorker::error_text_copy() {
    std::lock_guard<std::mutex> lock(error_lock);
    return error_text;
}

void RenderWorker::wake() const {
    if (wake_callback) wake_callback();
}

void load_file(UiState& state, RenderWorker& worker) {
    if (state.path[0] == '\0') return;
    std::vector<Scene> sets;
    try {
        sets = load_parameter_file(state.path);
    } catch (const std::exception& e) {
        worker.post_error(std::string("parse: ") + e.what());
        return;
    }
    state.sets = std::move(sets);
    state.selected_set = 0;
    state.applied_set = -1;
    state.range_a = 1;
    state.range_b = !state.sets.empty() && state.sets[0].frames >= 2 ? state.sets[0].frames : 1;
    apply_set(state, worker);
}

void apply_set(UiState& state, RenderWorker& worker) {
    if (state.sets.empty()) return;
    state.selected_set = std::clamp(state.selected_set, 0, static_cast<int>(state.sets.size()) - 1);
    Scene scene = state.sets[state.selected_set];
    state.animated = is_animated(scene);
    state.frame_count = std::max(scene.frames, 1);
    if (state.animated) {
        // The set's own rate is taken when a set is first handed over; after
        // that the rate belongs to the user, so that playback, which hands
        // the set over on every frame, does not undo an edit of it.
        if (state.applied_set != state.selected_set) state.fps = std::max(scene.fps, 1);
        state.current_frame = std::clamp(state.current_frame, 1, state.frame_count);
        evaluate_tracks(scene, frame_time(state.current_frame));
    }
    state.applied_set = state.selected_set;
    scene.precision = state.precision;
    scene.sampling_level = state.sampling_level;
    {
        std::lock_guard<std::mutex> lock(worker.scene_lock);
        worker.pending_scene = std::move(scene);
        worker.pending_device = state.device_name;
        worker.has_scene = true;
    }
    worker.error_pending = false;
    worker.reset_requested = true;
}

void request_retonemap(const UiState& state, RenderWorker& worker) {
    {
        std::lock_guard<std::mutex> lock(worker.tonemap_lock);
        worker.exposure = state.exposure;
        worker.contrast = state.contrast;
    }
    worker.retonemap_requested = true;
}

}  // namespace spirelle
