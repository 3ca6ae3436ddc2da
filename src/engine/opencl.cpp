#include "engine/opencl.h"

namespace spirelle {

std::string cl_error_name(int code) {
    switch (code) {
#define SPIRELLE_CL_ERROR(name) \
    case name:                  \
        return #name;
        SPIRELLE_CL_ERROR(CL_DEVICE_NOT_FOUND)
        SPIRELLE_CL_ERROR(CL_DEVICE_NOT_AVAILABLE)
        SPIRELLE_CL_ERROR(CL_COMPILER_NOT_AVAILABLE)
        SPIRELLE_CL_ERROR(CL_MEM_OBJECT_ALLOCATION_FAILURE)
        SPIRELLE_CL_ERROR(CL_OUT_OF_RESOURCES)
        SPIRELLE_CL_ERROR(CL_OUT_OF_HOST_MEMORY)
        SPIRELLE_CL_ERROR(CL_PROFILING_INFO_NOT_AVAILABLE)
        SPIRELLE_CL_ERROR(CL_BUILD_PROGRAM_FAILURE)
        SPIRELLE_CL_ERROR(CL_INVALID_VALUE)
        SPIRELLE_CL_ERROR(CL_INVALID_DEVICE)
        SPIRELLE_CL_ERROR(CL_INVALID_CONTEXT)
        SPIRELLE_CL_ERROR(CL_INVALID_COMMAND_QUEUE)
        SPIRELLE_CL_ERROR(CL_INVALID_MEM_OBJECT)
        SPIRELLE_CL_ERROR(CL_INVALID_BUILD_OPTIONS)
        SPIRELLE_CL_ERROR(CL_INVALID_PROGRAM)
        SPIRELLE_CL_ERROR(CL_INVALID_PROGRAM_EXECUTABLE)
        SPIRELLE_CL_ERROR(CL_INVALID_KERNEL_NAME)
        SPIRELLE_CL_ERROR(CL_INVALID_KERNEL)
        SPIRELLE_CL_ERROR(CL_INVALID_ARG_INDEX)
        SPIRELLE_CL_ERROR(CL_INVALID_ARG_VALUE)
        SPIRELLE_CL_ERROR(CL_INVALID_ARG_SIZE)
        SPIRELLE_CL_ERROR(CL_INVALID_KERNEL_ARGS)
        SPIRELLE_CL_ERROR(CL_INVALID_WORK_DIMENSION)
        SPIRELLE_CL_ERROR(CL_INVALID_WORK_GROUP_SIZE)
        SPIRELLE_CL_ERROR(CL_INVALID_WORK_ITEM_SIZE)
        SPIRELLE_CL_ERROR(CL_INVALID_GLOBAL_OFFSET)
        SPIRELLE_CL_ERROR(CL_INVALID_EVENT)
        SPIRELLE_CL_ERROR(CL_INVALID_BUFFER_SIZE)
        SPIRELLE_CL_ERROR(CL_INVALID_GLOBAL_WORK_SIZE)
        SPIRELLE_CL_ERROR(CL_INVALID_OPERATION)
#undef SPIRELLE_CL_ERROR
        case -1001:
            return "CL_PLATFORM_NOT_FOUND_KHR";
        default:
            return std::to_string(code);
    }
}

std::runtime_error cl_failure(const char* call, int code) {
    std::string name = cl_error_name(code);
    std::string text = std::string(call) + " failed: " + name;
    if (name != std::to_string(code)) text += " (" + std::to_string(code) + ")";
    return std::runtime_error(text);
}

std::runtime_error cl_failure(const cl::Error& error) {
    return cl_failure(error.what(), error.err());
}

}  // namespace spirelle
