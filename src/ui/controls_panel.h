// The Controls panel: the scene file, progress, quality, tonemap, device,
// animation and every value of the selected layer. It writes edits straight
// into the UiState (and into the selected set's layers) and returns what the
// main loop is to do; it starts no work itself. Its only direct actions on
// the RenderWorker are two flag writes: cancel a range render, dismiss an
// error.
#pragma once

#include <string>
#include <vector>

#include "app/render_worker.h"
#include "app/ui_state.h"

namespace spirelle {

// The requests of one frame, all false unless a control raised them.
struct ControlsResult {
    bool load = false;        // Enter in the path field, or "Load"
    bool apply = false;       // any edit that the render thread must see
    bool retonemap = false;   // exposure or contrast changed
    bool save = false;        // "Save PNG"
    bool save_range = false;  // "Save range as PNGs"
    bool browse = false;      // "Browse..."
};

// Draws the "Controls" window. `device_names` fills the device combo after
// "auto"; `font_size` is the current ImGui font size in pixels.
ControlsResult draw_controls(RenderWorker& worker, UiState& state,
                             const std::vector<std::string>& device_names, float font_size);

}  // namespace spirelle
