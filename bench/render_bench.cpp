// Rendering speed, in eight parts:
//   throughput  whole renders of a few scenes, as spirelle-cli render runs them;
//   efficiency  the generated program of a plain Mandelbrot scene against a
//               minimal hand-written kernel computing the same iterations for
//               the same samples, on the same device in the same process;
//   prepare     where the time of a first prepare goes: kernel generation,
//               program build and tile measurement;
//   edit        a view edit on a warm engine: prepare and first pass, with
//               the view values in the program text and in a buffer;
//   forms       pixels in which the two forms of the program differ;
//   wide        the wide form of the program (several pixels per work item,
//               for CPU devices) on the efficiency scene, against the scalar
//               form, hand-written kernels and native C++ loops of the work;
//   wide-pixels pixels in which the wide and the scalar form differ;
//   animation   the cost per frame of a camera-only animation rendered like
//               spirelle-cli render --frames, a fresh engine per frame, with
//               the OpenCL implementation's program cache on (its own
//               process, since the other parts switch the cache off).
// Every figure is the median of several runs unless it says otherwise.
//
// usage: spirelle_bench [--runs N] [--sampling-level L] [--device NAME] [--part NAME]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/devices.h"
#include "engine/render_engine.h"
#include "native_mandelbrot.h"
#include "reference_kernels.h"
#include "render_scenes.h"
#include "scene/reader.h"

namespace spirelle {
namespace {

struct Options {
    int runs = 3;
    int sampling_level = 2;
    std::string device;
    std::string part;  // empty: all parts
};

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Scene load_set(const std::string& relative_path, size_t set) {
    return load_parameter_file(std::string(SPIRELLE_SOURCE_DIR) + "/" + relative_path).at(set);
}

// Like spirelle-cli render: the best GPU, else the first device of any type.
std::string pick_device(const Options& options) {
    if (!options.device.empty()) return options.device;
    std::vector<PlatformInfo> platforms = describe_platforms();
    if (auto gpu = choose_device(platforms, false, ""))
        return platforms[gpu->platform].devices[gpu->device].name;
    if (auto any = first_capable_device(platforms, false)) {
        return platforms[any->platform].devices[any->device].name;
    }
    throw std::runtime_error("no OpenCL device");
}

struct RenderTimes {
    double total = 0;   // from a fresh engine to the tonemapped pixels
    double passes = 0;  // the passes alone
};

// Renders the full sample target on a fresh engine, as spirelle-cli does.
RenderTimes render_times(const Scene& scene, const std::string& device,
                         KernelGenerator generator = default_kernel_generator()) {
    Clock::time_point start = Clock::now();
    RenderEngine engine(std::move(generator));
    engine.set_requested_device_name(device);
    engine.prepare(scene);
    Clock::time_point passes_start = Clock::now();
    int target = 1 << scene.sampling_level;
    int done = 0;
    for (; done + engine.samples_per_pass() <= target; done += engine.samples_per_pass())
        engine.run_pass(done);
    RenderTimes times;
    times.passes = seconds_since(passes_start);
    engine.read_image(done, 1.0f, 1.0f);
    times.total = seconds_since(start);
    return times;
}

void throughput(const Options& options, const std::string& device) {
    struct Entry {
        const char* label;
        const char* file;
        size_t set;
    };
    const Entry entries[] = {
        {"demo Seahorse (640x480, maxiter 600)", "examples/demo.upr", 0},
        {"demo Drift (320x240, maxiter 250)", "examples/demo.upr", 1},
        {"bench Mandel (512x512, maxiter 1000)", "bench/scenes/mandel.upr", 0},
    };
    std::printf("\n== throughput: whole renders at %d spp, median of %d\n",
                1 << options.sampling_level, options.runs);
    std::printf("%-40s %10s %10s %12s\n", "", "total s", "passes s", "Msamples/s");
    for (const Entry& entry : entries) {
        Scene scene = load_set(entry.file, entry.set);
        scene.sampling_level = options.sampling_level;
        std::vector<double> totals, passes;
        for (int run = 0; run < options.runs; ++run) {
            RenderTimes times = render_times(scene, device);
            totals.push_back(times.total);
            passes.push_back(times.passes);
        }
        double msamples = double(scene.width) * scene.height * (1 << scene.sampling_level) / 1e6;
        std::printf("%-40s %10.2f %10.2f %12.3f\n", entry.label, median(totals), median(passes),
                    msamples / median(passes));
    }
}

// The same samples as the generated program without blue noise: the R2
// sequence, the tent filter and the plane mapping, then the bare iteration.
// Inside samples are black, outside ones grey by iteration count, so the
// kernel does the iteration work and little else.
const char* const kHandWritten = R"CL(
__kernel void render_scene(
    __global float4 * accum_buf,
    const int width, const int height,
    const int sample_base,
    __global const float * gradient_lut,
    const int spp_count
) {
    int gx = get_global_id(0), gy = get_global_id(1);
    if (gx >= width || gy >= height) return;
    const float center_re = CENTER_RE, center_im = CENTER_IM, pixel_size = PIXEL_SIZE;
    const int maxiter = MAXITER;
    float4 pass_accum = (float4)(0.0f);
    for (int _si = 0; _si < spp_count; _si++) {
        int _gsi = sample_base + _si;
        float r2x = 0.5f + _gsi * 0.7548776662466927f; r2x -= floor(r2x);
        float r2y = 0.5f + _gsi * 0.5698402909980532f; r2y -= floor(r2y);
        float ox = r2x < 0.5f ? sqrt(2.0f * r2x) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2x);
        float oy = r2y < 0.5f ? sqrt(2.0f * r2y) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2y);
        float cr = center_re + (gx + ox - width * 0.5f) * pixel_size;
        float ci = center_im - (gy + oy - height * 0.5f) * pixel_size;
        float zr = 0.0f, zi = 0.0f;
        int iter = 0;
        while (iter < maxiter) {
            float t = zr * zr - zi * zi + cr;
            zi = 2.0f * zr * zi + ci;
            zr = t;
            if (!(zr * zr + zi * zi <= 4.0f)) break;
            iter++;
        }
        float v = iter >= maxiter ? 0.0f : (float)iter / maxiter;
        pass_accum += (float4)(v, v, v, 1.0f);
    }
    accum_buf[gy * width + gx] += pass_accum;
}

)CL";

std::string hand_written_source(const Scene& scene) {
    const Layer& layer = scene.layers.at(0);
    double aspect = double(scene.width) / scene.height;
    double pixel_size =
        aspect > 4.0 / 3.0 ? 3.0 / (layer.magn * scene.height) : 4.0 / (layer.magn * scene.width);
    char defines[256];
    std::snprintf(defines, sizeof defines,
                  "#define CENTER_RE ((float)%.9g)\n#define CENTER_IM ((float)%.9g)\n"
                  "#define PIXEL_SIZE ((float)%.9g)\n#define MAXITER %d\n",
                  layer.center.re, layer.center.im, pixel_size, layer.maxiter);
    return defines + std::string(kHandWritten) + kReferenceImagingKernel;
}

// Seconds of one pass of 16 samples per pixel over the whole image.
double pass_seconds(RenderEngine& engine, const Scene& scene) {
    engine.prepare(scene);
    Clock::time_point start = Clock::now();
    engine.run_pass(0);
    return seconds_since(start);
}

void efficiency(const Options& options, const std::string& device) {
    // 16 samples in one pass and one 512-pixel tile, without blue noise, so
    // that both programs place exactly the same samples.
    Scene scene = load_set("bench/scenes/mandel.upr", 0);
    scene.sampling_level = 0;
    scene.auto_pass_samples = false;
    scene.pass_samples_log2 = 4;
    scene.auto_tile_size = false;
    scene.tile_size_log2 = 9;

    RenderEngine generated(default_kernel_generator(ProgramForm::scalar));
    RenderEngine literal(literal_view_kernel_generator());
    RenderEngine hand(
        {hand_written_source, [](const Scene&) { return std::vector<float>(16000, 0.0f); }});
    generated.set_requested_device_name(device);
    literal.set_requested_device_name(device);
    hand.set_requested_device_name(device);
    std::vector<double> generated_times, literal_times, hand_times;
    for (int run = 0; run < options.runs; ++run) {
        generated_times.push_back(pass_seconds(generated, scene));
        literal_times.push_back(pass_seconds(literal, scene));
        hand_times.push_back(pass_seconds(hand, scene));
    }
    double g = median(generated_times), l = median(literal_times), h = median(hand_times);
    double msamples = 512.0 * 512.0 * 16 / 1e6;
    std::printf("\n== kernel efficiency: Mandelbrot 512x512, maxiter 1000, 16 spp, median of %d\n",
                options.runs);
    std::printf("%-40s %10s %12s\n", "", "pass s", "Msamples/s");
    std::printf("%-40s %10.3f %12.3f\n", "generated program", g, msamples / g);
    std::printf("%-40s %10.3f %12.3f\n", "generated, view in the text", l, msamples / l);
    std::printf("%-40s %10.3f %12.3f\n", "hand-written kernel", h, msamples / h);
    std::printf("%-40s %10.2f\n", "time ratio generated / hand-written", g / h);
}

void prepare_split(const Options& options, const std::string& device) {
    std::printf("\n== first prepare (fresh engine, program caches off), median of %d\n",
                options.runs);
    std::printf("%-40s %10s %10s %10s\n", "", "generate s", "build s", "measure s");
    const std::pair<const char*, std::pair<const char*, size_t>> entries[] = {
        {"demo Seahorse", {"examples/demo.upr", 0}},
        {"bench Mandel", {"bench/scenes/mandel.upr", 0}},
    };
    for (const auto& [label, where] : entries) {
        Scene scene = load_set(where.first, where.second);
        scene.sampling_level = options.sampling_level;
        std::vector<double> generate, build, measure;
        for (int run = 0; run < options.runs; ++run) {
            RenderEngine engine;
            engine.set_requested_device_name(device);
            engine.prepare(scene);
            generate.push_back(engine.last_prepare().generate_seconds);
            build.push_back(engine.last_prepare().build_seconds);
            measure.push_back(engine.last_prepare().measure_seconds);
        }
        std::printf("%-40s %10.4f %10.3f %10.3f\n", label, median(generate), median(build),
                    median(measure));
    }
}

// The two ways the engine can get a program: view values written into the
// text (every view edit rebuilds) and read from a buffer.
struct Form {
    const char* label;
    KernelGenerator generator;
};

std::vector<Form> forms() {
    return {{"view in the text", literal_view_kernel_generator()},
            {"view in a buffer", default_kernel_generator(ProgramForm::scalar)}};
}

// A warm engine on a 640 x 480 scene; each edit moves the centre by a few
// pixels or zooms by 10 %, as a mouse drag or wheel step does, and is
// followed by the first pass of one sample per pixel.
void edit_latency(const Options& options, const std::string& device) {
    Scene scene = load_set("examples/demo.upr", 0);
    scene.sampling_level = 0;
    std::printf(
        "\n== view edit on a warm engine: demo Seahorse 640x480, 1 spp pass, median of %d\n",
        options.runs * 2);
    std::printf("%-40s %10s %10s %10s\n", "", "prepare s", "pass s", "total s");
    for (Form& form : forms()) {
        RenderEngine engine(form.generator);
        engine.set_requested_device_name(device);
        engine.prepare(scene);
        engine.run_pass(0);
        std::vector<double> prepare, pass;
        for (int edit = 0; edit < options.runs * 2; ++edit) {
            Layer& layer = scene.layers[0];
            if (edit % 2 == 0) {
                layer.center.re += 8 * 3.0 / (layer.magn * scene.width);
            } else {
                layer.magn *= 1.1;
            }
            Clock::time_point start = Clock::now();
            engine.prepare(scene);
            prepare.push_back(seconds_since(start));
            start = Clock::now();
            engine.run_pass(0);
            pass.push_back(seconds_since(start));
        }
        std::printf("%-40s %10.4f %10.3f %10.3f\n", form.label, median(prepare), median(pass),
                    median(prepare) + median(pass));
    }
}

struct PixelDifference {
    long pixels = 0;  // pixels with any channel differing
    int largest = 0;  // largest difference of a channel, in 8-bit steps
};

PixelDifference compare_images(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    PixelDifference difference;
    for (size_t i = 0; i < a.size(); i += 4) {
        int largest = 0;
        for (size_t c = 0; c < 4; ++c) largest = std::max(largest, std::abs(a[i + c] - b[i + c]));
        difference.pixels += largest > 0;
        difference.largest = std::max(difference.largest, largest);
    }
    return difference;
}

std::vector<uint8_t> full_render(RenderEngine& engine, const Scene& scene) {
    engine.prepare(scene);
    const int target = 1 << scene.sampling_level;
    int done = 0;
    for (; done + engine.samples_per_pass() <= target; done += engine.samples_per_pass())
        engine.run_pass(done);
    return engine.read_image(done, 1.0f, 1.0f);
}

// Every set of the examples, the benchmark scene and the render tests'
// scenes, at full size, with the file's name and the set's.
std::vector<std::pair<std::string, Scene>> every_scene() {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"examples", "bench/scenes"}) {
        const std::filesystem::path root = std::filesystem::path(SPIRELLE_SOURCE_DIR) / dir;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.path().extension() == ".upr") files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                          ("spirelle-bench-scenes-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    files.push_back(scratch / "render_tests.upr");
    std::ofstream(files.back()) << testing::kScenes << testing::kBoundaryScene
                                << testing::kQuadEntry;
    std::vector<std::pair<std::string, Scene>> scenes;
    for (const std::filesystem::path& file : files) {
        std::vector<Scene> sets = load_parameter_file(file.string());
        for (Scene& set : sets) scenes.emplace_back(file.filename().string() + " " + set.name, set);
    }
    std::filesystem::remove_all(scratch);
    return scenes;
}

void form_differences(const Options& options, const std::string& device) {
    std::vector<std::pair<std::string, Scene>> scenes = every_scene();
    std::printf("\n== pixels that differ between the two forms, %d spp\n",
                1 << options.sampling_level);
    std::printf("%-40s %10s %16s %16s\n", "", "pixels", "single: differ", "double: differ");
    for (auto& [label, scene] : scenes) {
        scene.sampling_level = options.sampling_level;
        std::printf("%-40s %10ld", label.c_str(), static_cast<long>(scene.width) * scene.height);
        for (int precision : {0, 1}) {
            scene.precision = precision;
            std::vector<std::vector<uint8_t>> images;
            for (Form& form : forms()) {
                RenderEngine engine(form.generator);
                engine.set_requested_device_name(device);
                images.push_back(full_render(engine, scene));
            }
            PixelDifference d = compare_images(images[0], images[1]);
            std::printf(" %9ld (<=%2d)", d.pixels, d.largest);
        }
        std::printf("\n");
    }
}

// Frames of the demo's camera-only animation (centre and magnification
// tracks), one sample per pixel, each on a fresh engine as spirelle-cli
// render --frames renders them. The program cache is on and starts empty:
// frames whose text was built before take it from the cache.
void animation_frames(const Options& options, const std::string& device) {
    const int frames = std::max(options.runs * 2, 4);
    Scene scene = load_set("examples/demo.upr", 1);
    scene.sampling_level = 0;
    std::printf(
        "\n== camera-only animation: demo Drift 320x240, frames 1-%d, 1 spp, fresh engine "
        "per frame, program cache on\n",
        frames);
    std::printf("%-40s %10s %12s %14s\n", "", "frame 1 s", "frame s", "overhead s");
    for (Form& form : forms()) {
        RenderTimes first;
        std::vector<double> totals, overheads;
        for (int frame = 1; frame <= frames; ++frame) {
            Scene at_frame = scene;
            evaluate_tracks(at_frame, frame_time(frame));
            RenderTimes times = render_times(at_frame, device, form.generator);
            if (frame == 1) {
                first = times;
                continue;
            }
            totals.push_back(times.total);
            overheads.push_back(times.total - times.passes);
        }
        std::printf("%-40s %10.3f %12.3f %14.3f\n", form.label, first.total, median(totals),
                    median(overheads));
    }
    std::printf("(frame s and overhead s: median of frames 2-%d; overhead = frame - passes)\n",
                frames);
}

// The hand-written kernel's work in vectors of 16 floats with lane masks,
// one run of 16 pixels per work item: what a kernel written by hand for a
// CPU device reaches.
const char* const kHandWrittenLanes = R"CL(
__kernel void render_scene(
    __global float4 * accum_buf,
    const int width, const int height,
    const int sample_base,
    __global const float * gradient_lut,
    const int spp_count
) {
    int gx0 = get_global_id(0) * 16, gy = get_global_id(1);
    if (gx0 >= width || gy >= height) return;
    const float center_re = CENTER_RE, center_im = CENTER_IM, pixel_size = PIXEL_SIZE;
    const int maxiter = MAXITER;
    const int16 index = (int16)(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const int16 in_image = (int16)(gx0) + index < (int16)(width);
    float16 pass_accum = (float16)(0.0f);
    for (int _si = 0; _si < spp_count; _si++) {
        int _gsi = sample_base + _si;
        float r2x = 0.5f + _gsi * 0.7548776662466927f; r2x -= floor(r2x);
        float r2y = 0.5f + _gsi * 0.5698402909980532f; r2y -= floor(r2y);
        float ox = r2x < 0.5f ? sqrt(2.0f * r2x) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2x);
        float oy = r2y < 0.5f ? sqrt(2.0f * r2y) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * r2y);
        float16 cr = center_re + (convert_float16((int16)(gx0) + index) + ox - width * 0.5f) * pixel_size;
        float ci = center_im - (gy + oy - height * 0.5f) * pixel_size;
        float16 zr = (float16)(0.0f), zi = (float16)(0.0f);
        int16 iter = (int16)(0), active = in_image;
        for (int k = 0; k < maxiter; k++) {
            float16 t = zr * zr - zi * zi + cr;
            zi = 2.0f * zr * zi + ci;
            zr = t;
            active &= zr * zr + zi * zi <= 4.0f;
            if (!any(active)) break;
            iter -= active;
        }
        pass_accum += select(convert_float16(iter) / maxiter, (float16)(0.0f), iter >= maxiter);
    }
    float grey[16];
    vstore16(pass_accum, 0, grey);
    for (int l = 0; l < 16 && gx0 + l < width; l++) {
        accum_buf[gy * width + gx0 + l] += (float4)(grey[l], grey[l], grey[l], spp_count);
    }
}

)CL";

std::string hand_written_lanes_source(const Scene& scene) {
    std::string defines = hand_written_source(scene);
    defines = defines.substr(0, defines.find("\n__kernel"));
    return defines + kHandWrittenLanes + kReferenceImagingKernel;
}

// The wide form against the scalar one, the hand-written kernels and native
// C++ loops of the same work, on the efficiency scene.
void wide_form(const Options& options, const std::string& device) {
    Scene scene = load_set("bench/scenes/mandel.upr", 0);
    scene.sampling_level = 0;
    scene.auto_pass_samples = false;
    scene.pass_samples_log2 = 4;
    scene.auto_tile_size = false;
    scene.tile_size_log2 = 9;
    auto no_gradient = [](const Scene&) { return std::vector<float>(16000, 0.0f); };
    KernelGenerator hand_lanes{hand_written_source, no_gradient};
    hand_lanes.wide_source = [](const Scene& s, int) {
        return ProgramText{hand_written_lanes_source(s), 16, ""};
    };
    hand_lanes.form = ProgramForm::wide;
    struct Row {
        const char* label;
        std::unique_ptr<RenderEngine> engine;
        std::vector<double> seconds;
        double build_seconds = 0;
    };
    Row rows[] = {
        {"generated, wide form",
         std::make_unique<RenderEngine>(default_kernel_generator(ProgramForm::wide)),
         {}},
        {"generated, scalar form",
         std::make_unique<RenderEngine>(default_kernel_generator(ProgramForm::scalar)),
         {}},
        {"hand-written kernel, scalar",
         std::make_unique<RenderEngine>(KernelGenerator{hand_written_source, no_gradient}),
         {}},
        {"hand-written kernel, float16 lanes", std::make_unique<RenderEngine>(hand_lanes), {}},
    };
    for (Row& row : rows) row.engine->set_requested_device_name(device);
    {
        // The first build in a process starts the compiler; no row pays it.
        RenderEngine warm(KernelGenerator{hand_written_source, no_gradient});
        warm.set_requested_device_name(device);
        warm.prepare(scene);
    }
    for (int run = 0; run < options.runs; ++run) {
        for (Row& row : rows) {
            row.seconds.push_back(pass_seconds(*row.engine, scene));
            if (run == 0) row.build_seconds = row.engine->last_prepare().build_seconds;
        }
    }

    const Layer& layer = scene.layers.at(0);
    MandelbrotWork work;
    work.width = scene.width;
    work.height = scene.height;
    work.center_re = layer.center.re;
    work.center_im = layer.center.im;
    const double aspect = double(scene.width) / scene.height;
    work.pixel_size =
        aspect > 4.0 / 3.0 ? 3.0 / (layer.magn * scene.height) : 4.0 / (layer.magn * scene.width);
    work.maxiter = layer.maxiter;
    work.samples = 16;
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    struct NativeRow {
        NativeLoop loop;
        const char* label;
        std::vector<double> seconds;
        double checksum = 0;
    };
    NativeRow natives[] = {
        {NativeLoop::scalar, "native C++ scalar", {}},
        {NativeLoop::vectorised, "native C++ vectorised", {}},
        {NativeLoop::vectorised_two_chains, "native C++ 2 chains", {}},
    };
    for (int run = 0; run < options.runs; ++run) {
        for (NativeRow& native : natives) {
            native.seconds.push_back(
                native_mandelbrot_seconds(work, native.loop, threads, native.checksum));
        }
    }

    const double msamples = double(scene.width) * scene.height * 16 / 1e6;
    std::printf("\n== wide form: Mandelbrot 512x512, maxiter 1000, 16 spp, median of %d\n",
                options.runs);
    std::printf("%-44s %10s %12s %10s\n", "", "pass s", "Msamples/s", "build s");
    for (const Row& row : rows) {
        double t = median(row.seconds);
        std::string label = row.label;
        if (row.engine->last_prepare().lanes > 1) {
            label += " (" + std::to_string(row.engine->last_prepare().lanes) + " lanes)";
        }
        std::printf("%-44s %10.3f %12.3f %10.3f\n", label.c_str(), t, msamples / t,
                    row.build_seconds);
    }
    for (const NativeRow& native : natives) {
        char label[80];
        if (native.loop == NativeLoop::scalar) {
            std::snprintf(label, sizeof label, "%s, %d threads", native.label, threads);
        } else {
            std::snprintf(label, sizeof label, "%s (%d lanes), %d threads", native.label,
                          native_vector_lanes(), threads);
        }
        const double t = median(native.seconds);
        std::printf("%-44s %10.3f %12.3f\n", label, t, msamples / t);
    }
    const double wide = median(rows[0].seconds);
    std::printf("%-44s %10.2f\n", "speed wide / hand-written scalar",
                median(rows[2].seconds) / wide);
    std::printf("%-44s %10.2f\n", "speed wide / hand-written float16",
                median(rows[3].seconds) / wide);
    std::printf("%-44s %10.2f\n", "speed wide / native vectorised",
                median(natives[1].seconds) / wide);
    std::printf("%-44s %10.2f\n", "speed wide / native 2 chains",
                median(natives[2].seconds) / wide);
    std::printf("(native checksums: %.1f, %.1f, %.1f)\n", natives[0].checksum,
                natives[1].checksum, natives[2].checksum);

    // Whole renders as spirelle-cli render runs them, in both forms.
    struct Entry {
        const char* label;
        const char* file;
        size_t set;
    };
    const Entry entries[] = {
        {"demo Seahorse", "examples/demo.upr", 0},
        {"demo Drift", "examples/demo.upr", 1},
        {"gallery Petals", "examples/gallery.upr", 0},
        {"bench Mandel", "bench/scenes/mandel.upr", 0},
    };
    std::printf("\n== whole renders at %d spp, fresh engine, median of %d\n",
                1 << options.sampling_level, options.runs);
    std::printf("%-24s %12s %12s %14s %14s\n", "", "scalar total", "wide total", "scalar Ms/s",
                "wide Ms/s");
    for (const Entry& entry : entries) {
        Scene whole = load_set(entry.file, entry.set);
        whole.sampling_level = options.sampling_level;
        double totals[2], passes[2];
        int column = 0;
        for (ProgramForm form : {ProgramForm::scalar, ProgramForm::wide}) {
            std::vector<double> total, pass;
            for (int run = 0; run < options.runs; ++run) {
                RenderTimes times = render_times(whole, device, default_kernel_generator(form));
                total.push_back(times.total);
                pass.push_back(times.passes);
            }
            totals[column] = median(total);
            passes[column++] = median(pass);
        }
        double msamples = double(whole.width) * whole.height * (1 << whole.sampling_level) / 1e6;
        std::printf("%-24s %12.2f %12.2f %14.3f %14.3f\n", entry.label, totals[0], totals[1],
                    msamples / passes[0], msamples / passes[1]);
    }
}

// Pixels in which the wide form differs from the scalar one, over every
// scene of form_differences, and whether each scene took the wide form.
void wide_pixels(const Options& options, const std::string& device) {
    std::printf("\n== pixels that differ between the scalar and the wide form, %d spp\n",
                1 << options.sampling_level);
    std::printf("%-40s %10s %8s %16s %16s\n", "", "pixels", "lanes", "single: differ",
                "double: differ");
    for (auto& [label, scene] : every_scene()) {
        scene.sampling_level = options.sampling_level;
        std::printf("%-40s %10ld", label.c_str(), static_cast<long>(scene.width) * scene.height);
        std::string differences;
        int lanes = 0;
        for (int precision : {0, 1}) {
            scene.precision = precision;
            std::vector<std::vector<uint8_t>> images;
            for (ProgramForm form : {ProgramForm::scalar, ProgramForm::wide}) {
                RenderEngine engine(default_kernel_generator(form));
                engine.set_requested_device_name(device);
                images.push_back(full_render(engine, scene));
                if (form == ProgramForm::wide && precision == 0)
                    lanes = engine.last_prepare().lanes;
            }
            PixelDifference d = compare_images(images[0], images[1]);
            char cell[40];
            std::snprintf(cell, sizeof cell, " %9ld (<=%2d)", d.pixels, d.largest);
            differences += cell;
        }
        std::printf(" %8d%s\n", lanes, differences.c_str());
    }
}

// Runs the animation part in a process of its own: the program cache is
// read from the environment when OpenCL starts, and the other parts want it
// off.
int run_animation_process(const char* self, const Options& options) {
    std::string command =
        "'" + std::string(self) + "' --part animation --runs " + std::to_string(options.runs);
    if (!options.device.empty()) command += " --device '" + options.device + "'";
    std::fflush(stdout);
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

// An empty program cache of its own for the animation part, so that no
// earlier run can feed it; removed when the part is done.
class FreshProgramCache {
  public:
    FreshProgramCache()
        : path_(std::filesystem::temp_directory_path() /
                ("spirelle-bench-cache-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(path_);
        setenv("POCL_KERNEL_CACHE", "1", 1);
        setenv("POCL_CACHE_DIR", path_.c_str(), 1);
        setenv("CUDA_CACHE_DISABLE", "0", 1);
        setenv("CUDA_CACHE_PATH", path_.c_str(), 1);
    }
    ~FreshProgramCache() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FreshProgramCache(const FreshProgramCache&) = delete;
    FreshProgramCache& operator=(const FreshProgramCache&) = delete;

  private:
    std::filesystem::path path_;
};

}  // namespace
}  // namespace spirelle

int main(int argc, char** argv) {
    using namespace spirelle;
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--runs")) options.runs = std::max(1, std::atoi(argv[i + 1]));
        if (!std::strcmp(argv[i], "--sampling-level"))
            options.sampling_level = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--device")) options.device = argv[i + 1];
        if (!std::strcmp(argv[i], "--part")) options.part = argv[i + 1];
    }
    // Program caches would hide the build time that the prepare figures
    // show; the animation part, run on its own, wants a cache.
    std::optional<FreshProgramCache> cache;
    if (options.part == "animation") {
        cache.emplace();
    } else {
        setenv("POCL_KERNEL_CACHE", "0", 0);
        setenv("CUDA_CACHE_DISABLE", "1", 0);
    }
    auto wanted = [&](const char* part) { return options.part.empty() || options.part == part; };
    try {
        std::string device = pick_device(options);
        // The engine's "Using device" and "Config" lines would drown the figures.
        std::streambuf* console = std::cout.rdbuf(nullptr);
        if (options.part != "animation") std::printf("device: %s\n", device.c_str());
        if (wanted("throughput")) throughput(options, device);
        if (wanted("efficiency")) efficiency(options, device);
        if (wanted("prepare")) prepare_split(options, device);
        if (wanted("edit")) edit_latency(options, device);
        if (wanted("forms")) form_differences(options, device);
        if (wanted("wide")) wide_form(options, device);
        if (wanted("wide-pixels")) wide_pixels(options, device);
        if (options.part == "animation") animation_frames(options, device);
        std::cout.rdbuf(console);
        if (options.part.empty()) {
            std::fflush(stdout);
            return run_animation_process(argv[0], options);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
