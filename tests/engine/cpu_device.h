// The engine tests render on the machine's CPU device, named explicitly
// because the automatic choice only considers GPUs, and keep the engine's
// progress lines out of the test output.
#pragma once

#include <iostream>
#include <string>

#include "engine/devices.h"
#include "engine/render_engine.h"

namespace spirelle::testing {

// The first device that is not a GPU; empty on machines without one.
inline std::string cpu_device_name() {
    for (const PlatformInfo& platform : describe_platforms()) {
        for (const DeviceInfo& device : platform.devices) {
            if (!device.gpu) return device.name;
        }
    }
    return {};
}

// prepare without its "Using device" and "Config" lines.
inline void prepare_quietly(RenderEngine& engine, const Scene& scene) {
    std::streambuf* out = std::cout.rdbuf(nullptr);
    try {
        engine.prepare(scene);
    } catch (...) {
        std::cout.rdbuf(out);
        throw;
    }
    std::cout.rdbuf(out);
}

}  // namespace spirelle::testing
