// The RenderWorker: the one object that the UI thread, the render thread and
// the range thread share.
//
// Four plain mutexes each guard the copy of one block of data (the pending
// job, the tonemap settings, the published image, the error text); no code
// ever holds two of them. Everything else is a sequentially consistent
// atomic flag or counter. The UI thread never waits for rendering: it hands
// a job over with load_file / apply_set and raises reset_requested, and the
// background threads call `wake` after publishing anything, which ends the
// main loop's wait (the desktop program pushes an SDL user event there).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/ui_state.h"
#include "scene/model.h"

namespace spirelle {

// The last image the render thread published: RGBA8, rows top to bottom.
struct SharedImage {
    std::vector<uint8_t> pixels;
    int width = 0;
    int height = 0;
};

struct RenderWorker {
    explicit RenderWorker(std::function<void()> wake_callback = {})
        : wake_callback(std::move(wake_callback)) {}
    RenderWorker(const RenderWorker&) = delete;
    RenderWorker& operator=(const RenderWorker&) = delete;

    // Under the error lock: replaces the error text, then raises
    // error_pending and wakes the UI.
    void post_error(const std::string& text);
    // A copy of the error text, taken under the error lock.
    std::string error_text_copy();
    void wake() const;

    // The job for the next reset.
    std::mutex scene_lock;
    Scene pending_scene;
    std::string pending_device;  // empty = automatic choice
    std::atomic<bool> has_scene{false};

    std::mutex tonemap_lock;
    float exposure = 1.0f;
    float contrast = 1.0f;

    std::atomic<bool> quit{false};
    std::atomic<bool> reset_requested{false};
    std::atomic<bool> retonemap_requested{false};

    std::mutex image_lock;
    SharedImage image;
    std::atomic<bool> image_ready{false};

    std::atomic<int> samples_done{0};
    std::atomic<int> samples_target{1};

    std::atomic<bool> error_pending{false};
    std::mutex error_lock;
    std::string error_text;

    std::atomic<int64_t> start_time{0};   // ns
    std::atomic<int64_t> last_time{0};    // ns
    std::atomic<float> throughput{0.0f};  // million samples per second

    std::atomic<bool> render_paused{false};
    std::atomic<bool> range_active{false};
    std::atomic<bool> range_cancel{false};
    std::atomic<int> range_frames_done{0};
    std::atomic<int> range_frames_total{0};

    const std::function<void()> wake_callback;
};

// Reads every parameter set of state.path and hands the first to the render
// thread. A file that fails to load posts "parse: " + the reason and leaves
// the previous sets in place. Does nothing for an empty path.
void load_file(UiState& state, RenderWorker& worker);

// Hands a copy of the selected set, moved to the current frame's animation
// time and carrying the quality settings, to the render thread; clears a
// shown error. Also decides whether the set is animated.
void apply_set(UiState& state, RenderWorker& worker);

// Stores the tonemap settings and asks the render thread to re-run imaging.
void request_retonemap(const UiState& state, RenderWorker& worker);

}  // namespace spirelle
