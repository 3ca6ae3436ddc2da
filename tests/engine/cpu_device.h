// The engine tests render on the machine's CPU device, named explicitly
// because the automatic choice only considers GPUs.
#pragma once

#include <string>

#include "engine/devices.h"

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

}  // namespace spirelle::testing
