// Rendering one image to its full sample target on an engine of its own:
// what spirelle-cli render does for an image and for every frame of a
// sequence, and what the desktop program's range render does per frame.
// Sharing this one path keeps the command line and the desktop program
// producing the same pixels and the same files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/render_engine.h"
#include "scene/model.h"

namespace spirelle {

// An engine failure with the step it happened in: "reset: " (prepare),
// "render: " (a pass) or "tonemap: " (imaging). what() is the bare message.
class StepError : public std::runtime_error {
  public:
    StepError(const char* step, const std::exception& cause)
        : std::runtime_error(cause.what()), step_(step) {}
    const char* step() const { return step_; }

  private:
    const char* step_;
};

struct FrameRenderOptions {
    float exposure = 1.0f;
    float contrast = 1.0f;
    // Print the number of passes and " passes" on standard output.
    bool announce_passes = false;
    // Called once the engine is prepared, and after every pass with the
    // samples per pixel done so far and the target.
    std::function<void()> on_prepared;
    std::function<void(int done, int target)> on_pass;
    // Asked during passes; yes abandons the frame.
    std::function<bool()> give_way;
    KernelGenerator generator = default_kernel_generator();
};

// Renders the scene as it stands (no animation time applied) with 2^level
// samples per pixel on a fresh engine; `device` empty means automatic.
// RGBA8 pixels, rows top to bottom; nullopt when give_way abandoned it.
// Throws StepError.
std::optional<std::vector<uint8_t>> render_frame(const Scene& scene, const std::string& device,
                                                 const FrameRenderOptions& options);

// 2^level samples per pixel, the level kept within 0 .. 20.
int samples_for_level(int sampling_level);

enum class FrameOutcome { written, write_failed, abandoned };

// Frame n of a sequence: the scene's tracks applied at frame n, rendered
// with render_frame and written as PNG to `path`. Throws StepError.
FrameOutcome render_sequence_frame(const Scene& scene, int frame, const std::string& device,
                                   const std::string& path, const FrameRenderOptions& options);

}  // namespace spirelle
