// The render thread: takes the job that apply_set handed over, prepares the
// engine for it, adds passes of samples up to the job's target and publishes
// tonemapped images at every new power of two of the sample count and at
// the target.
#pragma once

#include <thread>

#include "app/render_worker.h"
#include "engine/render_engine.h"

namespace spirelle {

// The thread body; returns once worker.quit is set, after at most the
// current step (a running pass gives way within about half a second).
// `generator` is where the engine gets its program; tests substitute their own.
void render_thread_main(RenderWorker& worker,
                        KernelGenerator generator = default_kernel_generator());

// Starts the render thread.
std::thread start_render_thread(RenderWorker& worker,
                                KernelGenerator generator = default_kernel_generator());

// What the program does before it exits: raise quit and range_cancel, wake
// everyone, join the render thread and the range thread if one was started.
void stop_background_threads(UiState& state, RenderWorker& worker, std::thread& render_thread);

}  // namespace spirelle
