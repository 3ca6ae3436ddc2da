#include "app/frame_render.h"

#include <algorithm>
#include <iostream>

#include "app/export.h"
#include "engine/render_engine.h"

namespace spirelle {

namespace {

template <typename Step>
auto run_step(const char* prefix, Step step) {
    try {
        return step();
    } catch (const std::exception& e) {
        throw StepError(prefix, e);
    }
}

}  // namespace

int samples_for_level(int sampling_level) { return 1 << std::clamp(sampling_level, 0, 20); }

std::optional<std::vector<uint8_t>> render_frame(const Scene& scene, const std::string& device,
                                                 const FrameRenderOptions& options) {
    RenderEngine engine(options.generator);
    if (!device.empty()) engine.set_requested_device_name(device);
    run_step("reset: ", [&] { engine.prepare(scene); });
    // Passes of 2^k samples with base indices 0, 2^k, 2 * 2^k, ..., so that
    // every sample index of the target is used once.
    const int per_pass = engine.samples_per_pass();
    const int target = samples_for_level(engine.scene().sampling_level);
    if (options.announce_passes) std::cout << target / per_pass << " passes\n" << std::flush;
    if (options.on_prepared) options.on_prepared();
    int done = 0;
    while (done + per_pass <= target) {
        if (!run_step("render: ", [&] { return engine.run_pass(done, options.give_way); }))
            return std::nullopt;
        done += per_pass;
        if (options.on_pass) options.on_pass(done, target);
    }
    return run_step("tonemap: ",
                    [&] { return engine.read_image(done, options.exposure, options.contrast); });
}

FrameOutcome render_sequence_frame(const Scene& scene, int frame, const std::string& device,
                                   const std::string& path, const FrameRenderOptions& options) {
    Scene at_frame = scene;
    evaluate_tracks(at_frame, frame_time(frame));
    std::optional<std::vector<uint8_t>> pixels = render_frame(at_frame, device, options);
    if (!pixels) return FrameOutcome::abandoned;
    std::vector<uint8_t> png = encode_png(at_frame.width, at_frame.height, *pixels);
    if (png.empty() || !write_file_bytes(path, png)) return FrameOutcome::write_failed;
    return FrameOutcome::written;
}

}  // namespace spirelle
