// spirelle-cli render: a parameter set to PNG without a window.
//
// A single image is rendered the way the interactive render thread renders
// it: passes of samples with base indices 0, S, 2S, ... until 2^level samples
// per pixel, then one tonemap. A frame range is rendered the way the range
// render of the desktop program does it: every frame with a fresh engine,
// written as a numbered sequence.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "app/export.h"
#include "app/frame_render.h"
#include "app/sequence.h"
#include "cli/commands.h"

namespace spirelle {

namespace {

struct RenderOptions {
    std::string path;
    int set = 0;
    int frame = 1;
    std::string frames;
    int sampling_level = 4;
    std::string precision = "single";
    std::string device;
    float exposure = 1.0f;
    float contrast = 1.0f;
    std::string size;
    std::string output;
    std::string shard;
    bool skip_existing = false;
    std::string program_form = "auto";
};

// "A:B" or "A:B:STEP"; a step below 1 counts as 1.
std::optional<FrameRange> parse_frame_range(const std::string& text) {
    FrameRange range;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d:%d%n", &range.first, &range.last, &consumed) == 2 &&
        consumed == static_cast<int>(text.size())) {
        return range;
    }
    if (std::sscanf(text.c_str(), "%d:%d:%d%n", &range.first, &range.last, &range.step,
                    &consumed) == 3 &&
        consumed == static_cast<int>(text.size())) {
        range.step = std::max(range.step, 1);
        return range;
    }
    return std::nullopt;
}

// "I/N" with 0 <= I < N.
std::optional<Shard> parse_shard(const std::string& text) {
    Shard shard;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d/%d%n", &shard.index, &shard.count, &consumed) == 2 &&
        consumed == static_cast<int>(text.size()) && shard.count >= 1 && shard.index >= 0 &&
        shard.index < shard.count) {
        return shard;
    }
    return std::nullopt;
}

// "WxH" with both at least 1.
bool parse_size(const std::string& text, int& width, int& height) {
    int consumed = 0;
    return std::sscanf(text.c_str(), "%dx%d%n", &width, &height, &consumed) == 2 &&
           consumed == static_cast<int>(text.size()) && width >= 1 && height >= 1;
}

[[noreturn]] void fail(const std::string& message) {
    std::cerr << message << "\n";
    throw CLI::RuntimeError(1);
}

// SIGINT and SIGTERM stop a render at its next tile batch. What was written
// before stays; an image being written is finished first, so no temporary
// file is left. The exit status is 128 + the signal's number. A signal that
// lands while the OpenCL compiler runs may make the build fail (the
// compiler removes its temporary files on SIGINT and SIGTERM); such a
// failure is the stop, not an error of the scene.
std::atomic<int> stop_signal{0};

void note_stop_signal(int signal) { stop_signal = signal; }

void stop_on_signals() {
    struct sigaction action = {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a write under way completes
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool stop_requested() { return stop_signal != 0; }

[[noreturn]] void exit_stopped() {
    const int signal = stop_signal;
    std::cerr << "render: stopped by " << (signal == SIGINT ? "SIGINT" : "SIGTERM") << "\n";
    throw CLI::RuntimeError(128 + signal);
}

// Progress on standard error: redrawn in place on a terminal, one line per
// pass when the output goes to a file or a pipe.
class Progress {
  public:
    Progress(int64_t frame_index, int64_t frame_count)
        : frame_index_(frame_index),
          frame_count_(frame_count),
          in_place_(isatty(STDERR_FILENO) != 0) {}

    void start() { start_ = std::chrono::steady_clock::now(); }

    void update(const Scene& scene, int done, int target) {
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        double msamples =
            seconds > 0 ? double(scene.width) * scene.height * done / seconds / 1e6 : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%s%d/%d spp  %.1f s  %.2f Msamples/s",
                      frame_label().c_str(), done, target, seconds, msamples);
        if (in_place_) {
            std::cerr << "\r" << line << "\x1b[K" << (done >= target ? "\n" : "") << std::flush;
        } else {
            std::cerr << line << "\n";
        }
    }

  private:
    std::string frame_label() const {
        if (frame_count_ <= 1) return {};
        return "frame " + std::to_string(frame_index_) + " of " + std::to_string(frame_count_) +
               ": ";
    }

    int64_t frame_index_;
    int64_t frame_count_;
    bool in_place_;
    std::chrono::steady_clock::time_point start_;
};

FrameRenderOptions frame_options(const RenderOptions& options, Progress& progress,
                                 const Scene& scene, bool announce_passes) {
    FrameRenderOptions frame;
    frame.exposure = options.exposure;
    frame.contrast = options.contrast;
    frame.announce_passes = announce_passes;
    frame.on_prepared = [&progress] { progress.start(); };
    frame.on_pass = [&progress, &scene](int done, int target) {
        progress.update(scene, done, target);
    };
    frame.generator =
        default_kernel_generator(options.program_form == "scalar" ? ProgramForm::scalar
                                 : options.program_form == "wide" ? ProgramForm::wide
                                                                  : ProgramForm::automatic);
    frame.give_way = stop_requested;
    return frame;
}

void render_one(const std::vector<Scene>& sets, Scene scene, const std::string& device,
                const RenderOptions& options) {
    bool animated = is_animated(scene);
    evaluate_tracks(scene, frame_time(options.frame));
    std::string path = options.output;
    if (path.empty()) {
        path = saved_image_path(options.path, sets.size(), options.set, scene.name, animated,
                                options.frame);
    }
    if (options.skip_existing && std::filesystem::exists(path)) {
        std::cerr << path << " exists; skipped\n";
        return;
    }
    Progress progress(1, 1);
    std::optional<std::vector<uint8_t>> pixels;
    try {
        pixels = render_frame(scene, device, frame_options(options, progress, scene, false));
    } catch (const StepError& e) {
        if (stop_requested()) exit_stopped();
        fail(std::string(e.step()) + e.what());
    } catch (const std::exception& e) {
        if (stop_requested()) exit_stopped();
        fail(std::string("render: ") + e.what());
    }
    if (!pixels) exit_stopped();
    if (!write_png_file(path, scene.width, scene.height, *pixels))
        fail("save: cannot write " + path);
    std::cout << "Wrote " << path << "\n";
}

// Renders the frames of one shard of the range. Frames that cannot be
// written are reported and the rest still render; an engine failure stops
// the run. Exits with status 1 naming the frames that are missing.
void render_sequence(const Scene& scene, const FrameRange& range, const Shard& shard,
                     const std::string& device, const RenderOptions& options) {
    const std::string& naming = options.output.empty() ? options.path : options.output;
    const std::string directory = output_directory(naming);
    std::string stem = path_stem(naming);
    // An output that names only a directory ("-o frames/") keeps the scene's
    // stem, so that sequences of different scenes there do not overwrite
    // each other under the bare "_f0001.png".
    if (stem.empty()) stem = path_stem(options.path);
    const ShardFrames frames(range, shard);
    std::vector<int> missing;
    for (int64_t i = 0; i < frames.size(); ++i) {
        if (stop_requested()) exit_stopped();
        const int n = frames[i];
        std::string path = sequence_frame_path(directory, stem, n);
        if (options.skip_existing && std::filesystem::exists(path)) {
            std::cerr << "seq frame " << n << ": " << path << " exists; skipped\n";
            continue;
        }
        Progress progress(i + 1, frames.size());
        FrameOutcome outcome;
        try {
            outcome = render_sequence_frame(scene, n, device, path,
                                            frame_options(options, progress, scene, true));
        } catch (const std::exception& e) {
            if (stop_requested()) exit_stopped();
            std::cerr << "seq frame " << n << ": " << e.what() << "\n";
            for (int64_t rest = i; rest < frames.size(); ++rest) missing.push_back(frames[rest]);
            break;
        }
        if (outcome == FrameOutcome::abandoned) exit_stopped();
        if (outcome == FrameOutcome::written) {
            std::cout << "Wrote " << path << "\n" << std::flush;
            continue;
        }
        std::cerr << "seq frame " << n << ": cannot write " << path << "\n";
        missing.push_back(n);
    }
    if (missing.empty()) return;
    std::string list;
    for (int n : missing) list += " " + std::to_string(n);
    fail("render: frames not written:" + list);
}

void run_render(const RenderOptions& options) {
    stop_on_signals();
    // Usage errors before the file is read.
    if (!options.shard.empty()) {
        if (options.frames.empty()) fail("render: --shard needs --frames");
        if (!parse_shard(options.shard))
            fail("render: --shard wants I/N with 0 <= I < N, got " + options.shard);
    }
    std::vector<Scene> sets = load_or_exit(options.path);
    if (options.set >= static_cast<int>(sets.size())) {
        fail("render: set " + std::to_string(options.set) + " does not exist; the file has " +
             std::to_string(sets.size()));
    }
    Scene scene = sets[options.set];
    scene.sampling_level = options.sampling_level;
    scene.precision = options.precision == "double" ? 1 : 0;
    if (!options.size.empty() && !parse_size(options.size, scene.width, scene.height)) {
        fail("render: --size wants WIDTHxHEIGHT, got " + options.size);
    }
    // Without --device the engine chooses, falling back to a CPU device on a
    // machine without a GPU.
    const std::string& device = options.device;
    if (options.frames.empty()) {
        render_one(sets, scene, device, options);
        return;
    }
    std::optional<FrameRange> range = parse_frame_range(options.frames);
    if (!range) fail("render: --frames wants A:B or A:B:STEP, got " + options.frames);
    if (range->last < range->first) fail("range: B must be >= A");
    Shard shard;
    if (!options.shard.empty()) shard = *parse_shard(options.shard);
    render_sequence(scene, *range, shard, device, options);
}

}  // namespace

void add_render_command(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* cmd = app.add_subcommand("render", "Render a parameter set to PNG");
    cmd->add_option("path", options->path, "Parameter file (.upr)")->required();
    cmd->add_option("--set", options->set, "Index of the parameter set, from 0")
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--frame", options->frame, "Animation frame, from 1")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--frames", options->frames,
                    "Render frames A to B (every STEP-th) as a numbered sequence: A:B[:STEP]");
    cmd->add_option("--sampling-level", options->sampling_level, "2^L samples per pixel")
        ->check(CLI::Range(0, 10));
    cmd->add_option("--precision", options->precision, "single or double")
        ->check(CLI::IsMember({"single", "double"}));
    cmd->add_option("--device", options->device,
                    "OpenCL device name (see 'devices'); default: automatic");
    cmd->add_option("--exposure", options->exposure, "Tonemap exposure");
    cmd->add_option("--contrast", options->contrast, "Tonemap contrast");
    cmd->add_option("--size", options->size, "Image size WIDTHxHEIGHT instead of the scene's");
    cmd->add_option("-o,--output", options->output,
                    "Output PNG; for --frames its stem and directory name the sequence");
    cmd->add_option("--shard", options->shard,
                    "Render only shard I of N of the --frames sequence (every N-th frame from "
                    "position I, counting from 0): I/N");
    cmd->add_flag("--skip-existing", options->skip_existing,
                  "Do not render images whose output file already exists");
    cmd->add_option("--program-form", options->program_form,
                    "scalar (one pixel per work item), wide (several adjacent pixels per work "
                    "item, in vector lanes) or auto (wide on CPU devices, scalar on GPUs)")
        ->check(CLI::IsMember({"scalar", "wide", "auto"}));
    cmd->callback([options] { run_render(*options); });
}

}  // namespace spirelle
