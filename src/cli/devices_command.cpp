// spirelle-cli devices: the OpenCL devices a render can be given by name.
#include <iostream>

#include "cli/commands.h"
#include "engine/devices.h"

namespace spirelle {

void add_devices_command(CLI::App& app) {
    CLI::App* cmd = app.add_subcommand("devices", "List the OpenCL devices, one name per line");
    cmd->callback([] {
        try {
            for (const std::string& name : list_device_names()) std::cout << name << "\n";
        } catch (const std::exception& e) {
            std::cerr << "devices: " << e.what() << "\n";
            throw CLI::RuntimeError(1);
        }
    });
}

}  // namespace spirelle
