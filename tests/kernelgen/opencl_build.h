// Builds OpenCL programs on the PoCL CPU device so that tests can check that
// generated text compiles and can run small kernels.
#pragma once

#define CL_HPP_TARGET_OPENCL_VERSION 120
#define CL_HPP_MINIMUM_OPENCL_VERSION 120
#define CL_HPP_ENABLE_EXCEPTIONS
#include <CL/opencl.hpp>
#include <string>
#include <vector>

namespace spirelle::testing {

// The CPU device of the first platform that offers one, with its context and
// queue; `available` is false on machines without such a device.
struct ClDevice {
    bool available = false;
    cl::Device device;
    cl::Context context;
    cl::CommandQueue queue;
};

inline ClDevice& cpu_device() {
    static ClDevice device = [] {
        ClDevice d;
        std::vector<cl::Platform> platforms;
        try {
            cl::Platform::get(&platforms);
            for (const cl::Platform& platform : platforms) {
                std::vector<cl::Device> devices;
                platform.getDevices(CL_DEVICE_TYPE_CPU, &devices);
                if (devices.empty()) continue;
                d.device = devices.front();
                d.context = cl::Context(d.device);
                d.queue = cl::CommandQueue(d.context, d.device);
                d.available = true;
                break;
            }
        } catch (const cl::Error&) {
            d.available = false;
        }
        return d;
    }();
    return device;
}

struct BuildResult {
    bool ok = false;
    std::string log;  // the build log, or the error of a failed call
    cl::Program program;
};

// Builds `source` with the options the engine uses for the precision.
inline BuildResult build_program(const std::string& source, bool double_precision) {
    BuildResult result;
    ClDevice& d = cpu_device();
    std::string options = "-cl-std=CL1.2 -cl-mad-enable";
    if (!double_precision) options += " -cl-single-precision-constant";
    try {
        result.program = cl::Program(d.context, source);
        result.program.build({d.device}, options.c_str());
        result.ok = true;
    } catch (const cl::BuildError& e) {
        for (const auto& [device, log] : e.getBuildLog()) result.log += log;
    } catch (const cl::Error& e) {
        result.log = std::string(e.what()) + " (" + std::to_string(e.err()) + ")";
    }
    return result;
}

}  // namespace spirelle::testing
