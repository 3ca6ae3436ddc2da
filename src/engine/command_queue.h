// Creating the profiling command queue, with the entry point that matches
// the platform's OpenCL version.
#pragma once

#include <string>

#include "engine/opencl.h"

namespace spirelle {

// Major version from a CL_PLATFORM_VERSION text of the form
// "OpenCL <major>.<minor> ..."; 0 when the text has another form.
int platform_major_version(const std::string& version_text);

// An in-order queue with profiling enabled on the device's own platform.
cl::CommandQueue create_profiling_queue(const cl::Context& context, const cl::Device& device);

}  // namespace spirelle
