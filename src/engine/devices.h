// Finding the OpenCL device to render on.
//
// The choice itself works on a plain description of the platforms (vendor,
// device names, extensions, GPU or not) so that it can be checked without
// the hardware it describes; select_device feeds it what the OpenCL loader
// reports and hands back the device it picked.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/opencl.h"

namespace spirelle {

struct DeviceInfo {
    std::string name;
    std::string extensions;
    bool gpu = false;
};

struct PlatformInfo {
    std::string vendor;
    std::vector<DeviceInfo> devices;  // all types, in the order reported
};

struct DeviceIndex {
    size_t platform = 0;
    size_t device = 0;
    bool operator==(const DeviceIndex&) const = default;
};

// 0 for NVIDIA, 1 for AMD or ATI, 2 for everyone else; the match is
// case-sensitive.
int vendor_rank(const std::string& vendor);

// Platform indices sorted by vendor rank, loader order kept within a rank.
std::vector<size_t> platform_order(const std::vector<PlatformInfo>& platforms);

bool has_fp64(const DeviceInfo& device);

// The device that a render uses: the requested one when it exists and can
// do the job, otherwise the first suitable GPU of the best-ranked platform.
std::optional<DeviceIndex> choose_device(const std::vector<PlatformInfo>& platforms, bool need_fp64,
                                         const std::string& requested_name);

// The first device of any type that can do the job, in the same platform
// order; what a headless render falls back to on a machine without a GPU.
std::optional<DeviceIndex> first_capable_device(const std::vector<PlatformInfo>& platforms,
                                                bool need_fp64);

// Every device of every platform, in the order the loader reports them.
std::vector<std::string> list_device_names();

// The platforms as the loader reports them; a platform whose device query
// fails is listed without devices.
std::vector<PlatformInfo> describe_platforms();

// Picks the device with choose_device. Throws "no OpenCL platforms found",
// "no OpenCL GPU with fp64 found" or "no OpenCL GPU found".
cl::Device select_device(bool need_fp64, const std::string& requested_name);

// What every render uses: select_device, except that an automatic choice
// on a machine without a suitable GPU takes first_capable_device and says so
// once per process on standard error ("no OpenCL GPU found; rendering on
// NAME"). A device the caller named is never replaced by another type.
cl::Device select_render_device(bool need_fp64, const std::string& requested_name);

}  // namespace spirelle
