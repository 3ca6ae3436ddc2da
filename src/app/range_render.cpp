// Save PNG and the range render. The range thread renders each frame on a
// fresh engine through the same frame renderer as spirelle-cli, while the
// render thread idles (render_paused); at the end it hands the interactive
// render back with reset_requested so the shown job starts again from zero.
#include "app/range_render.h"

#include <algorithm>

#include "app/export.h"
#include "app/frame_render.h"
#include "app/sequence.h"

namespace spirelle {

void save_png(UiState& state, RenderWorker& worker) {
    SharedImage image;
    {
        std::lock_guard<std::mutex> lock(worker.image_lock);
        if (worker.image.pixels.empty()) return;
        image = worker.image;
    }
    if (state.path[0] == '\0') {
        worker.post_error("save: no path loaded");
        return;
    }
    const std::string name =
        state.selected_set >= 0 && state.selected_set < static_cast<int>(state.sets.size())
            ? state.sets[state.selected_set].name
            : std::string();
    std::string path = saved_image_path(state.path, state.sets.size(), state.selected_set, name,
                                        state.animated, state.current_frame);
    if (!write_png_file(path, image.width, image.height, image.pixels))
        worker.post_error("save: stbi_write_png failed");
}

void start_range(UiState& state, RenderWorker& worker, KernelGenerator generator) {
    if (state.sets.empty()) return;
    if (state.range_thread.joinable()) state.range_thread.join();
    const int first = state.range_a, last = state.range_b;
    const int step = std::max(state.range_step, 1);
    if (last < first) {
        worker.post_error("range: B must be >= A");
        return;
    }
    RangeJob job;
    job.worker = &worker;
    int set = std::clamp(state.selected_set, 0, static_cast<int>(state.sets.size()) - 1);
    job.scene = state.sets[set];
    job.scene.precision = state.precision;
    job.scene.sampling_level = state.sampling_level;
    job.first_frame = first;
    job.last_frame = last;
    job.step = step;
    job.output_directory = output_directory(state.path);
    job.stem = path_stem(state.path);
    job.device = state.device_name;
    job.generator = std::move(generator);

    worker.range_frames_total = static_cast<int>(ShardFrames({first, last, step}).size());
    worker.range_frames_done = 0;
    worker.range_cancel = false;
    worker.range_active = true;
    worker.render_paused = true;
    state.range_thread = std::thread(run_range, std::move(job));
}

void run_range(RangeJob job) {
    RenderWorker& worker = *job.worker;
    FrameRenderOptions options;
    options.announce_passes = true;
    options.generator = job.generator;
    // A started frame is finished and written before a cancel takes effect;
    // only the program's quit abandons it.
    options.give_way = [&worker] { return worker.quit.load(); };
    const ShardFrames frames({job.first_frame, job.last_frame, job.step});
    for (int64_t i = 0; i < frames.size(); ++i) {
        if (worker.range_cancel) break;
        const int n = frames[i];
        const std::string prefix = "seq frame " + std::to_string(n) + ": ";
        std::string path = sequence_frame_path(job.output_directory, job.stem, n);
        try {
            FrameOutcome outcome = render_sequence_frame(job.scene, n, job.device, path, options);
            if (outcome == FrameOutcome::abandoned) break;
            if (outcome == FrameOutcome::write_failed)
                worker.post_error(prefix + "cannot write " + path);
        } catch (const std::exception& e) {
            worker.post_error(prefix + e.what());
            break;
        }
        ++worker.range_frames_done;
        worker.wake();
    }
    worker.range_active = false;
    worker.render_paused = false;
    worker.reset_requested = true;
    worker.wake();
}

}  // namespace spirelle
