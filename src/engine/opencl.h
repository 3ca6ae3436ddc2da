// The one place where the OpenCL C++ wrapper is configured. Every file of the
// engine includes it instead of <CL/opencl.hpp>, so all of them agree on the
// version and on errors being thrown as exceptions.
#pragma once

#define CL_HPP_TARGET_OPENCL_VERSION 120
#define CL_HPP_MINIMUM_OPENCL_VERSION 120
#define CL_HPP_ENABLE_EXCEPTIONS

#include <CL/opencl.hpp>
#include <stdexcept>
#include <string>

namespace spirelle {

// "CL_OUT_OF_RESOURCES" for -5; the number itself for codes without a name.
std::string cl_error_name(int code);

// The message of a failed OpenCL call: the call and its error code.
std::runtime_error cl_failure(const char* call, int code);

// Converts an OpenCL error thrown by the wrapper into a runtime error naming
// the call, for code that must report it as one message.
std::runtime_error cl_failure(const cl::Error& error);

}  // namespace spirelle
