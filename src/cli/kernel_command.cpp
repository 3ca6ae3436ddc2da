// spirelle-cli kernel: the OpenCL program that one parameter set becomes, so
// that formula authors can read what their formulas were translated into.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "kernelgen/kernel_source.h"

namespace spirelle {
namespace {

struct KernelOptions {
    std::string path;
    int set = 0;
    int frame = 1;
    std::string precision = "single";
    int sampling_level = 0;
    std::string program_form = "scalar";
};

void run_kernel(const KernelOptions& options) {
    std::vector<Scene> scenes = load_or_exit(options.path);
    if (options.set >= static_cast<int>(scenes.size())) {
        std::cerr << "kernel: no parameter set " << options.set << " (the file has "
                  << scenes.size() << ")\n";
        std::exit(1);
    }
    Scene scene = scenes[options.set];
    evaluate_tracks(scene, frame_time(options.frame));
    scene.precision = options.precision == "double" ? 1 : 0;
    scene.sampling_level = options.sampling_level;
    if (options.program_form == "wide") {
        // The lane counts of a CPU device with 512-bit vectors.
        ProgramSource program =
            build_wide_kernel_source(scene, ViewValues::literals, scene.precision == 1 ? 8 : 16);
        if (!program.scalar_reason.empty()) {
            std::cerr << "scalar program: " << program.scalar_reason << "\n";
        }
        std::cout << program.text;
        return;
    }
    std::cout << build_kernel_source(scene);
}

}  // namespace

void add_kernel_command(CLI::App& app) {
    auto options = std::make_shared<KernelOptions>();
    CLI::App* cmd = app.add_subcommand("kernel", "Print the OpenCL program of a parameter set");
    cmd->add_option("path", options->path, "Parameter file (.upr)")->required();
    cmd->add_option("--set", options->set, "Index of the parameter set, from 0")
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--frame", options->frame, "Animation frame, from 1")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--precision", options->precision, "single or double")
        ->check(CLI::IsMember({"single", "double"}));
    cmd->add_option("--sampling-level", options->sampling_level,
                    "Sampling level; above 0 the program carries blue-noise tables")
        ->check(CLI::Range(0, 10));
    cmd->add_option("--program-form", options->program_form,
                    "scalar (one pixel per work item, as GPUs run it) or wide (several "
                    "adjacent pixels per work item, as CPU devices run it)")
        ->check(CLI::IsMember({"scalar", "wide"}));
    cmd->callback([options] { run_kernel(*options); });
}

}  // namespace spirelle
