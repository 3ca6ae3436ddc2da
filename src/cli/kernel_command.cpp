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
    cmd->callback([options] { run_kernel(*options); });
}

}  // namespace spirelle
