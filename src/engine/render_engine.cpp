// The engine keeps every OpenCL object in one record whose members are
// declared in creation order, so that destruction releases them in reverse:
// layer view, gradient, output and accumulation buffers, the two kernels,
// program, queue, context and device. Replacing a member releases its
// predecessor.
//
// The wrapper throws cl::Error for any failed call; each public operation
// turns that into a runtime error naming the call and its error code.
#include "engine/render_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
#include <set>
#include <stdexcept>

#include "engine/command_queue.h"
#include "engine/devices.h"
#include "engine/opencl.h"
#include "engine/schedule.h"
#include "kernelgen/gradient_table.h"
#include "kernelgen/kernel_source.h"
#include "kernelgen/layer_view.h"

namespace spirelle {

struct RenderEngine::OpenClState {
    cl::Device device;
    cl::Context context;
    cl::CommandQueue queue;
    cl::Program program;
    cl::Kernel render_scene;
    cl::Kernel imaging;
    cl::Buffer accumulation;
    cl::Buffer output;
    cl::Buffer gradient;
    cl::Buffer layer_view;
    // What the gradient and layer view buffers hold, so that a prepare
    // writes them only when the Scene changed them.
    std::vector<uint8_t> gradient_bytes;
    std::vector<uint8_t> layer_view_bytes;
    int buffer_width = 0;
    int buffer_height = 0;
    int precision = 0;  // 1 double, 0 single
    bool cpu = false;
    int wide_lanes = 1;  // lanes of a wide program for this device and precision
    std::string source;
    int lanes = 1;  // pixels per work item of the program built from source
    // False after a device change until a build succeeds in the new
    // context, so that the next prepare builds even when the text equals
    // the last one built.
    bool program_current = false;
    std::string requested_device_name;
    std::string device_name;
    int tiles_per_batch = 1;
    int tile_exponent_measured = -1;
    double time_per_pixel = 0;  // nanoseconds per pixel and pass
};

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs an engine step, reporting a failed OpenCL call as a runtime error.
template <typename Step>
auto checked(Step step) {
    try {
        return step();
    } catch (const cl::Error& e) {
        throw cl_failure(e);
    }
}

// The kernels index pixels with an int, and a buffer must fit the device's
// largest allocation; a scene that breaks either is refused up front
// instead of failing somewhere inside the driver.
void check_image_fits(const cl::Device& device, int width, int height) {
    if (width < 1 || height < 1) {
        throw std::runtime_error("image size " + std::to_string(width) + " x " +
                                 std::to_string(height) + " is empty");
    }
    uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (pixels > static_cast<uint64_t>(std::numeric_limits<int>::max())) {
        throw std::runtime_error("image " + size + " has more pixels than the kernels can address");
    }
    uint64_t accumulation_bytes = pixels * 16;
    uint64_t max_alloc = device.getInfo<CL_DEVICE_MAX_MEM_ALLOC_SIZE>();
    uint64_t global_memory = device.getInfo<CL_DEVICE_GLOBAL_MEM_SIZE>();
    if (accumulation_bytes > max_alloc || accumulation_bytes + pixels * 4 > global_memory) {
        throw std::runtime_error("image " + size + " needs " +
                                 std::to_string(accumulation_bytes + pixels * 4) +
                                 " bytes of image buffers, more than the device can allocate (" +
                                 std::to_string(max_alloc) + " bytes per buffer, " +
                                 std::to_string(global_memory) + " in all)");
    }
}

// Brings a read-only buffer to hold `bytes`, where `held` is what it holds
// now. Unchanged contents cost nothing; a new size creates a new buffer.
// Returns whether anything was written.
bool refresh_read_only(const cl::Context& context, const cl::CommandQueue& queue,
                       cl::Buffer& buffer, std::vector<uint8_t>& held, std::vector<uint8_t> bytes) {
    // A buffer may not be empty; a scene without layers never reads it.
    if (bytes.empty()) bytes.resize(16, 0);
    if (buffer() != nullptr && bytes == held) return false;
    if (buffer() != nullptr && bytes.size() == held.size()) {
        queue.enqueueWriteBuffer(buffer, CL_TRUE, 0, bytes.size(), bytes.data());
    } else {
        buffer = cl::Buffer(context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, bytes.size(),
                            bytes.data());
    }
    held = std::move(bytes);
    return true;
}

// A scene that has to stay scalar says so once per process and construct,
// not on every edit or frame.
void note_scalar_program(const std::string& reason) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> lock(mutex);
    if (told.insert(reason).second) std::cerr << "scalar program: " << reason << "\n";
}

std::vector<uint8_t> bytes_of(const std::vector<float>& values) {
    std::vector<uint8_t> bytes(values.size() * sizeof(float));
    if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

}  // namespace

namespace {

KernelGenerator generator(ViewValues view_values, ProgramForm form) {
    KernelGenerator g;
    g.source = [view_values](const Scene& scene) {
        return build_kernel_source(scene, view_values);
    };
    g.gradient_table = build_gradient_table;
    if (view_values == ViewValues::buffer) g.layer_views = layer_view_buffer;
    g.wide_source = [view_values](const Scene& scene, int lanes) {
        ProgramSource program = build_wide_kernel_source(scene, view_values, lanes);
        return ProgramText{std::move(program.text), program.lanes,
                           std::move(program.scalar_reason)};
    };
    g.form = form;
    return g;
}

}  // namespace

KernelGenerator default_kernel_generator(ProgramForm form) {
    return generator(ViewValues::buffer, form);
}

KernelGenerator literal_view_kernel_generator(ProgramForm form) {
    return generator(ViewValues::literals, form);
}

RenderEngine::RenderEngine() : RenderEngine(default_kernel_generator()) {}

RenderEngine::RenderEngine(KernelGenerator generator)
    : state_(std::make_unique<OpenClState>()), generator_(std::move(generator)) {}

RenderEngine::~RenderEngine() = default;

void RenderEngine::set_requested_device_name(const std::string& name) {
    state_->requested_device_name = name;
}

int RenderEngine::samples_per_pass() const {
    return 1 << std::clamp(scene_.pass_samples_log2, 0, 20);
}

int RenderEngine::tiles_per_batch() const { return state_->tiles_per_batch; }

const std::string& RenderEngine::device_name() const { return state_->device_name; }

void RenderEngine::require_ready(const char* operation) const {
    if (!ready_) throw std::runtime_error(std::string(operation) + ": the engine is not prepared");
}

void RenderEngine::prepare(const Scene& scene) {
    checked([&] {
        OpenClState& s = *state_;
        scene_ = scene;
        report_ = {};
        ready_ = false;
        int precision = scene_.precision == 1 ? 1 : 0;
        bool choose =
            !initialized_ || precision != s.precision ||
            (!s.requested_device_name.empty() && s.requested_device_name != s.device_name);
        if (choose) choose_device();
        check_image_fits(s.device, scene_.width, scene_.height);
        bool reallocate =
            choose || scene_.width != s.buffer_width || scene_.height != s.buffer_height;

        if (scene_.auto_pass_samples) {
            bool unified = s.device.getInfo<CL_DEVICE_HOST_UNIFIED_MEMORY>() != CL_FALSE;
            scene_.pass_samples_log2 = auto_pass_samples_log2(scene_.sampling_level, unified);
        }

        Clock::time_point start = Clock::now();
        ProgramText program = generate_program();
        report_.generate_seconds = seconds_since(start);
        if (!s.program_current || program.text != s.source) build_program(program);
        report_.lanes = s.lanes;
        report_.gradient_written =
            refresh_read_only(s.context, s.queue, s.gradient, s.gradient_bytes,
                              bytes_of(generator_.gradient_table(scene_)));
        if (generator_.layer_views) {
            refresh_read_only(s.context, s.queue, s.layer_view, s.layer_view_bytes,
                              generator_.layer_views(scene_));
        }

        if (reallocate) allocate_image_buffers();
        s.render_scene.setArg(0, s.accumulation);
        s.render_scene.setArg(1, scene_.width);
        s.render_scene.setArg(2, scene_.height);
        s.render_scene.setArg(4, s.gradient);
        s.render_scene.setArg(5, samples_per_pass());
        if (generator_.layer_views) s.render_scene.setArg(6, s.layer_view);

        if (scene_.auto_tile_size) {
            if (s.tile_exponent_measured < 0) {
                start = Clock::now();
                time_tile_kernel();
                report_.measure_seconds = seconds_since(start);
                report_.tile_size_measured = true;
            }
            scene_.tile_size_log2 = s.tile_exponent_measured;
        }
        s.tiles_per_batch = initial_tiles_per_batch(scene_.tile_size_log2, s.time_per_pixel);

        if (report_.program_built) {
            std::cout << "Config: " << samples_per_pass() << " samples/pass"
                      << (scene_.auto_pass_samples ? " (auto)" : "") << ", "
                      << tile_edge(scene_.tile_size_log2) << "px tiles"
                      << (scene_.auto_tile_size ? " (auto)" : "") << "\n"
                      << std::flush;
        }

        // Not waited for: the in-order queue clears before the next pass.
        s.queue.enqueueFillBuffer(s.accumulation, cl_uint{0}, 0,
                                  static_cast<size_t>(scene_.width) * scene_.height * 16);
        initialized_ = true;
        ready_ = true;
    });
}

ProgramText RenderEngine::generate_program() {
    const OpenClState& s = *state_;
    const ProgramForm form = generator_.form;
    const bool wide = generator_.wide_source &&
                      (form == ProgramForm::wide || (form == ProgramForm::automatic && s.cpu));
    if (!wide) return {generator_.source(scene_), 1, ""};
    ProgramText program = generator_.wide_source(scene_, s.wide_lanes);
    if (!program.scalar_reason.empty()) note_scalar_program(program.scalar_reason);
    return program;
}

void RenderEngine::choose_device() {
    OpenClState& s = *state_;
    int precision = scene_.precision == 1 ? 1 : 0;
    cl::Device device = select_render_device(precision == 1, s.requested_device_name);
    cl::Context context(device);
    cl::CommandQueue queue = create_profiling_queue(context, device);
    s.device = device;
    s.context = context;
    s.queue = queue;
    s.precision = precision;
    s.device_name = device.getInfo<CL_DEVICE_NAME>();
    s.cpu = (device.getInfo<CL_DEVICE_TYPE>() & CL_DEVICE_TYPE_CPU) != 0;
    s.wide_lanes =
        wide_lanes_for(precision == 1 ? device.getInfo<CL_DEVICE_PREFERRED_VECTOR_WIDTH_DOUBLE>()
                                      : device.getInfo<CL_DEVICE_PREFERRED_VECTOR_WIDTH_FLOAT>());
    // Everything built in the old context is useless now, even if the build
    // that follows fails and a later prepare finds size and text unchanged.
    s.program_current = false;
    s.gradient = cl::Buffer();
    s.layer_view = cl::Buffer();
    s.buffer_width = 0;
    s.buffer_height = 0;
    report_.device_chosen = true;
    std::cout << "Using device: " << s.device_name << "\n" << std::flush;
}

void RenderEngine::build_program(const ProgramText& program) {
    OpenClState& s = *state_;
    const std::string& text = program.text;
    Clock::time_point start = Clock::now();
    // A failed build keeps the last good kernels and the text they came
    // from, so a scene that goes back to that text needs no build.
    s.program = cl::Program(s.context, text);
    std::string options = "-cl-std=CL1.2 -cl-mad-enable";
    if (s.precision == 0) options += " -cl-single-precision-constant";
    try {
        s.program.build({s.device}, options.c_str());
    } catch (const cl::Error& e) {
        if (e.err() != CL_BUILD_PROGRAM_FAILURE) throw;
        throw std::runtime_error("OpenCL build error:\n" +
                                 s.program.getBuildInfo<CL_PROGRAM_BUILD_LOG>(s.device));
    }
    report_.build_seconds = seconds_since(start);
    s.render_scene = cl::Kernel(s.program, "render_scene");
    s.imaging = cl::Kernel(s.program, "imaging");
    s.source = text;
    s.lanes = program.lanes;
    s.program_current = true;
    s.tile_exponent_measured = -1;
    s.time_per_pixel = 0;
    report_.program_built = true;
}

void RenderEngine::allocate_image_buffers() {
    OpenClState& s = *state_;
    size_t pixels = static_cast<size_t>(scene_.width) * scene_.height;
    s.accumulation = cl::Buffer(s.context, CL_MEM_READ_WRITE, pixels * 16);
    s.output = cl::Buffer(s.context, CL_MEM_WRITE_ONLY, pixels * 4);
    s.buffer_width = scene_.width;
    s.buffer_height = scene_.height;
    report_.buffers_allocated = true;
}

bool RenderEngine::run_pass(int sample_base, const std::function<bool()>& give_way) {
    require_ready("run_pass");
    return checked([&] {
        OpenClState& s = *state_;
        const int width = scene_.width, height = scene_.height;
        // A tile holds whole runs of a wide program's pixels.
        const int edge = std::max(tile_edge(scene_.tile_size_log2), s.lanes);
        const int total = tile_grid(width, height, edge).total();
        s.render_scene.setArg(3, sample_base);
        int waiting = 0;
        // 64-bit positions: the last tile may end beyond INT_MAX for huge tiles.
        for (int64_t y = 0; y < height; y += edge) {
            for (int64_t x = 0; x < width; x += edge) {
                TileRange columns = tile_columns(width, static_cast<int>(x), edge, s.lanes);
                cl::NDRange offset(columns.offset, static_cast<size_t>(y));
                cl::NDRange global(columns.extent,
                                   tile_global_extent(height, static_cast<int>(y), edge));
                s.queue.enqueueNDRangeKernel(s.render_scene, offset, global,
                                             cl::NDRange(columns.local, kLocalSize));
                if (++waiting < s.tiles_per_batch) continue;
                Clock::time_point start = Clock::now();
                s.queue.finish();
                int64_t elapsed_us =
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start)
                        .count();
                s.tiles_per_batch =
                    adapt_tiles_per_batch(s.tiles_per_batch, waiting, elapsed_us, total);
                waiting = 0;
                if (give_way && give_way()) {
                    ready_ = false;
                    return false;
                }
            }
        }
        if (waiting > 0) s.queue.finish();
        return true;
    });
}

void RenderEngine::measure_tile_size() {
    require_ready("measure_tile_size");
    checked([&] { time_tile_kernel(); });
}

void RenderEngine::time_tile_kernel() {
    OpenClState& s = *state_;
    s.render_scene.setArg(3, 0);
    double shortest = std::numeric_limits<double>::max();
    for (int run = 0; run < 2; ++run) {
        cl::Event done;
        TileRange columns = tile_columns(kMeasureEdge, 0, kMeasureEdge, s.lanes);
        s.queue.enqueueNDRangeKernel(s.render_scene, cl::NullRange,
                                     cl::NDRange(columns.extent, kMeasureEdge),
                                     cl::NDRange(columns.local, kLocalSize), nullptr, &done);
        done.wait();
        cl_ulong begin = done.getProfilingInfo<CL_PROFILING_COMMAND_START>();
        cl_ulong end = done.getProfilingInfo<CL_PROFILING_COMMAND_END>();
        shortest = std::min(shortest, static_cast<double>(end) - static_cast<double>(begin));
    }
    s.time_per_pixel = shortest / (kMeasureEdge * kMeasureEdge);
    s.tile_exponent_measured = tile_exponent_for(s.time_per_pixel);
}

std::vector<uint8_t> RenderEngine::read_image(int total_samples, float exposure, float contrast) {
    require_ready("read_image");
    return checked([&] {
        OpenClState& s = *state_;
        const int width = scene_.width, height = scene_.height;
        s.imaging.setArg(0, s.accumulation);
        s.imaging.setArg(1, s.output);
        s.imaging.setArg(2, width);
        s.imaging.setArg(3, height);
        s.imaging.setArg(4, inverse_samples(total_samples));
        s.imaging.setArg(5, exposure);
        s.imaging.setArg(6, contrast);
        s.queue.enqueueNDRangeKernel(
            s.imaging, cl::NullRange,
            cl::NDRange(round_up_to_local(width), round_up_to_local(height)),
            cl::NDRange(kLocalSize, kLocalSize));
        s.queue.finish();
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        s.queue.enqueueReadBuffer(s.output, CL_TRUE, 0, pixels.size(), pixels.data());
        return pixels;
    });
}

}  // namespace spirelle
