// spirelle-cli info: what Spirelle understood of a parameter file, as JSON.
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/scene_json.h"
#include "scene/reader.h"

namespace spirelle {

std::vector<Scene> load_or_exit(const std::string& path) {
    try {
        return load_parameter_file(path);
    } catch (const std::exception& e) {
        std::cerr << "parse: " << e.what() << "\n";
        std::exit(1);
    }
}

namespace {

struct InfoOptions {
    std::string path;
    int frame = 1;
};

void run_info(const InfoOptions& options) {
    std::vector<Scene> scenes = load_or_exit(options.path);
    for (Scene& scene : scenes) evaluate_tracks(scene, frame_time(options.frame));
    std::cout << scenes_to_json(scenes).dump(2, ' ', false,
                                             nlohmann::json::error_handler_t::replace)
              << "\n";
}

}  // namespace

void add_info_command(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* cmd = app.add_subcommand("info", "Print the scenes of a parameter file as JSON");
    cmd->add_option("path", options->path, "Parameter file (.upr)")->required();
    cmd->add_option("--frame", options->frame, "Apply the animation tracks at this frame")
        ->check(CLI::PositiveNumber);
    cmd->callback([options] { run_info(*options); });
}

}  // namespace spirelle
