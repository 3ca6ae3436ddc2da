// The subcommands of spirelle-cli. Each registers itself on the application
// and runs when its name is given.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "scene/model.h"

namespace spirelle {

void add_info_command(CLI::App& app);
void add_devices_command(CLI::App& app);
void add_render_command(CLI::App& app);
void add_kernel_command(CLI::App& app);

// Loads a parameter file as the desktop program does. A failure is reported
// as "parse: " and the message on standard error, and ends the process with
// status 1.
std::vector<Scene> load_or_exit(const std::string& path);

}  // namespace spirelle
