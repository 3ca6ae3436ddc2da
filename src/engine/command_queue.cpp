// clCreateCommandQueueWithProperties exists from OpenCL 2.0 on and replaces
// clCreateCommandQueue there; platforms that report 2.0 or later get the new
// call, older ones the old one.
#include "engine/command_queue.h"

#include <cstdio>

extern "C" {
// Declared by hand because the wrapper's 1.2 configuration hides it (and
// the cl_queue_properties type, a cl_ulong); the ICD loader exports it.
CL_API_ENTRY cl_command_queue CL_API_CALL clCreateCommandQueueWithProperties(
    cl_context context, cl_device_id device, const cl_ulong* properties, cl_int* errcode_ret);
}

namespace spirelle {

int platform_major_version(const std::string& version_text) {
    int major = 0, minor = 0;
    if (std::sscanf(version_text.c_str(), "OpenCL %d.%d", &major, &minor) != 2) return 0;
    return major;
}

cl::CommandQueue create_profiling_queue(const cl::Context& context, const cl::Device& device) {
    cl::Platform platform(device.getInfo<CL_DEVICE_PLATFORM>());
    int major = platform_major_version(platform.getInfo<CL_PLATFORM_VERSION>());
    cl_int err = CL_SUCCESS;
    cl_command_queue queue;
    if (major >= 2) {
        const cl_ulong properties[] = {CL_QUEUE_PROPERTIES, CL_QUEUE_PROFILING_ENABLE, 0};
        queue = clCreateCommandQueueWithProperties(context(), device(), properties, &err);
        if (err != CL_SUCCESS) throw cl_failure("clCreateCommandQueueWithProperties", err);
    } else {
        queue = clCreateCommandQueue(context(), device(), CL_QUEUE_PROFILING_ENABLE, &err);
        if (err != CL_SUCCESS) throw cl_failure("clCreateCommandQueue", err);
    }
    return cl::CommandQueue(queue);  // takes over the reference the call returned
}

}  // namespace spirelle
