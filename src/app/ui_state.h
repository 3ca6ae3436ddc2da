// What the desktop program's main loop keeps between frames: the scene file,
// its parameter sets, the selections and every setting of the Controls
// panel. Only the UI thread touches it; background threads see copies.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "scene/model.h"

namespace spirelle {

constexpr size_t kPathCapacity = 1024;

struct UiState {
    char path[kPathCapacity] = {};  // always NUL-terminated
    std::vector<Scene> sets;
    int selected_set = 0;
    int sampling_level = 4;   // 2^level samples per pixel
    int precision = 0;        // 0 single, 1 double
    std::string device_name;  // empty = automatic choice
    float exposure = 1.0f;
    float contrast = 1.0f;
    int current_frame = 1;  // 1-based
    int frame_count = 1;
    int fps = 30;
    bool playing = false;
    int64_t last_tick = 0;  // ns, 0 = no playback step yet
    bool animated = false;  // set by apply_set
    int applied_set = -1;   // the set apply_set handed over last; -1 after a load
    int range_a = 1;
    int range_b = 1;
    int range_step = 1;
    std::thread range_thread;
    float zoom = 1.0f;  // Render view magnification, a power of two
    bool reset_pan = true;
    int selected_layer = 0;
};

// Copies at most kPathCapacity - 1 bytes of `path` into state.path.
void set_path(UiState& state, const std::string& path);

// Nanoseconds of the monotonic clock.
int64_t monotonic_ns();

}  // namespace spirelle
