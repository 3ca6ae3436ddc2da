// "Save PNG" and "Save range as PNGs": the shown image next to the scene
// file, and a numbered sequence of frames rendered to full quality on a
// range thread with an engine of its own while the render thread idles.
#pragma once

#include <string>

#include "app/render_worker.h"
#include "engine/render_engine.h"

namespace spirelle {

// What the range thread renders; it owns its copy.
struct RangeJob {
    RenderWorker* worker = nullptr;
    Scene scene;  // the selected set with the quality settings, no animation time
    int first_frame = 1;
    int last_frame = 1;
    int step = 1;
    std::string output_directory;
    std::string stem;
    std::string device;  // empty = automatic choice
    KernelGenerator generator = default_kernel_generator();
};

// Writes the shown image as STEM[_SET](_fN|_rendered).png next to the scene
// file. Without an image it does nothing; failures are posted as errors.
void save_png(UiState& state, RenderWorker& worker);

// Starts the range thread for frames range_a .. range_b of the selected set
// (every range_step-th). B < A posts "range: B must be >= A" instead.
void start_range(UiState& state, RenderWorker& worker,
                 KernelGenerator generator = default_kernel_generator());

// The range thread body.
void run_range(RangeJob job);

}  // namespace spirelle
