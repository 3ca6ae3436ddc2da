// RenderEngine: the OpenCL side of one render.
//
// prepare brings device, program and buffers up to date for a Scene with as
// little work as possible (the device is re-chosen only when the precision or
// the requested device changes, the program is rebuilt only when its text
// changed, the image buffers are re-allocated only when the size changed,
// the gradient and view buffers are written only when their contents
// changed) and clears the accumulation. run_pass then adds samples tile by
// tile, and read_image tonemaps the accumulation into RGBA8 pixels.
//
// The default program reads the layers' view values from a buffer, so that
// panning, zooming and iteration edits cost a buffer write instead of a
// build. The tile size stays as measured after the last build.
//
// On CPU devices the engine builds the wide form of the program, in which a
// work item renders several adjacent pixels in the lanes of OpenCL vectors:
// such devices run work items one lane at a time wherever a kernel has a
// data-dependent loop, as every escape-time kernel has. GPUs run lanes in
// lockstep already and get the canonical, scalar form.
//
// One engine belongs to one thread; it has no locks. OpenCL types stay
// inside the engine's source files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/model.h"

namespace spirelle {

// Which form of the program the engine builds.
enum class ProgramForm {
    automatic,  // wide on CPU devices, scalar on all others
    scalar,     // one pixel per work item: the canonical program
    wide,       // several adjacent pixels per work item, whatever the device
};

// A program text and the number of adjacent pixels each work item of its
// render_scene renders (1 for the scalar form).
struct ProgramText {
    std::string text;
    int lanes = 1;
    // Why a wide program was asked for and a scalar one came back.
    std::string scalar_reason;
};

// Where the engine gets the program text, the gradient table and the view
// values of a Scene. The kernel generator by default; tests and benchmarks
// substitute their own.
struct KernelGenerator {
    std::function<std::string(const Scene&)> source;
    std::function<std::vector<float>(const Scene&)> gradient_table;
    // The bytes of render_scene's seventh argument, a read-only buffer, for
    // a program that reads its view values from there; empty for a program
    // that takes six arguments.
    std::function<std::vector<uint8_t>(const Scene&)> layer_views = {};
    // The wide form for the given number of lanes; empty for a generator
    // that has only the scalar one.
    std::function<ProgramText(const Scene&, int lanes)> wide_source = {};
    ProgramForm form = ProgramForm::automatic;
};

// The generated program in the form whose text leaves out the layers' view
// values (centre, magnification, angle, mapping, maximum iterations): an
// edit of only those refills a buffer and needs no build. Wide or scalar as
// `form` says.
KernelGenerator default_kernel_generator(ProgramForm form = ProgramForm::automatic);

// The generated program with the view values written into its text, as
// spirelle-cli kernel shows it: every view edit rebuilds.
KernelGenerator literal_view_kernel_generator(ProgramForm form = ProgramForm::scalar);

// What the last prepare did and how long its costly steps took.
struct PrepareReport {
    bool device_chosen = false;
    bool program_built = false;
    bool buffers_allocated = false;
    bool tile_size_measured = false;
    // The gradient table differed from the one on the device.
    bool gradient_written = false;
    // Pixels per work item of the program in use: 1 for the scalar form.
    int lanes = 1;
    double generate_seconds = 0;
    double build_seconds = 0;
    double measure_seconds = 0;
};

class RenderEngine {
  public:
    RenderEngine();
    explicit RenderEngine(KernelGenerator generator);
    ~RenderEngine();
    RenderEngine(const RenderEngine&) = delete;
    RenderEngine& operator=(const RenderEngine&) = delete;

    // Empty means automatic choice.
    void set_requested_device_name(const std::string& name);

    // Throws a runtime error when no device fits, when the program does not
    // build ("OpenCL build error:\n" and the log), when the image does not
    // fit the device, or when an OpenCL call fails.
    void prepare(const Scene& scene);

    // Adds samples_per_pass() samples to every pixel; sample_base is the
    // number each pixel already holds. Returns true when the device is done.
    // `give_way` is asked between tile batches (about every half second);
    // when it says yes the pass stops early and returns false, leaving the
    // accumulation partly updated: only a prepare makes it usable again.
    bool run_pass(int sample_base, const std::function<bool()>& give_way = {});

    // width x height x 4 bytes, RGBA, rows top to bottom.
    std::vector<uint8_t> read_image(int total_samples, float exposure, float contrast);

    // Times the render kernel on a 128 x 128 region and stores the tile
    // exponent that makes one tile take about half a second.
    void measure_tile_size();

    bool initialized() const { return initialized_; }
    // The Scene of the last prepare, with the pass and tile settings the
    // engine chose.
    const Scene& scene() const { return scene_; }
    int samples_per_pass() const;
    int tile_size_log2() const { return scene_.tile_size_log2; }
    int tiles_per_batch() const;
    const std::string& device_name() const;
    const PrepareReport& last_prepare() const { return report_; }

  private:
    struct OpenClState;

    void require_ready(const char* operation) const;
    void choose_device();
    void build_program(const ProgramText& program);
    ProgramText generate_program();
    void allocate_image_buffers();
    void time_tile_kernel();

    std::unique_ptr<OpenClState> state_;
    Scene scene_;
    bool initialized_ = false;
    // Passes and imaging run only after a prepare that succeeded in full; a
    // failed one may leave buffers that do not match the Scene.
    bool ready_ = false;
    KernelGenerator generator_;
    PrepareReport report_;
};

}  // namespace spirelle
