// spirelle-cli: headless inspection and rendering of parameter files.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Spirelle command-line tool: inspect and render fractal parameter files (.upr)",
                 "spirelle-cli"};
    app.set_version_flag("--version", "spirelle-cli " SPIRELLE_VERSION);
    app.require_subcommand(1);
    spirelle::add_info_command(app);
    spirelle::add_devices_command(app);
    spirelle::add_render_command(app);
    spirelle::add_kernel_command(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
