// Rendering speed, in three parts:
//   throughput  whole renders of a few scenes, as spirelle-cli render runs them;
//   efficiency  the generated program of a plain Mandelbrot scene against a
//               minimal hand-written kernel computing the same iterations for
//               the same samples, on the same device in the same process;
//   prepare     where the time of a first prepare goes: kernel generation,
//               program build and tile measurement.
// Every figure is the median of several runs.
//
// usage: spirelle_bench [--runs N] [--sampling-level L] [--device NAME]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "engine/devices.h"
#include "engine/render_engine.h"
#include "reference_kernels.h"
#include "scene/reader.h"

namespace spirelle {
namespace {

struct Options {
    int runs = 3;
    int sampling_level = 2;
    std::string device;
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
RenderTimes render_times(const Scene& scene, const std::string& device) {
    Clock::time_point start = Clock::now();
    RenderEngine engine;
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

    RenderEngine generated;
    RenderEngine hand(
        {hand_written_source, [](const Scene&) { return std::vector<float>(16000, 0.0f); }});
    generated.set_requested_device_name(device);
    hand.set_requested_device_name(device);
    std::vector<double> generated_times, hand_times;
    for (int run = 0; run < options.runs; ++run) {
        generated_times.push_back(pass_seconds(generated, scene));
        hand_times.push_back(pass_seconds(hand, scene));
    }
    double g = median(generated_times), h = median(hand_times);
    double msamples = 512.0 * 512.0 * 16 / 1e6;
    std::printf("\n== kernel efficiency: Mandelbrot 512x512, maxiter 1000, 16 spp, median of %d\n",
                options.runs);
    std::printf("%-40s %10s %12s\n", "", "pass s", "Msamples/s");
    std::printf("%-40s %10.3f %12.3f\n", "generated program", g, msamples / g);
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
    }
    // Program caches would hide the build time that the prepare figures show.
    setenv("POCL_KERNEL_CACHE", "0", 0);
    setenv("CUDA_CACHE_DISABLE", "1", 0);
    // The engine's "Using device" and "Config" lines would drown the figures.
    std::cout.rdbuf(nullptr);
    try {
        std::string device = pick_device(options);
        std::printf("device: %s\n", device.c_str());
        throughput(options, device);
        efficiency(options, device);
        prepare_split(options, device);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
