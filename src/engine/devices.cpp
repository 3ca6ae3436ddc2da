// Device discovery goes through the OpenCL wrapper, whose failures are thrown
// as cl::Error; they are turned into runtime errors naming the call before
// they leave this file.
#include "engine/devices.h"

#include <algorithm>
#include <atomic>
#include <iostream>

namespace spirelle {

int vendor_rank(const std::string& vendor) {
    if (vendor.size() > 5 && vendor.find("NVIDIA") != std::string::npos) return 0;
    if (vendor.size() > 2 && vendor.find("AMD") != std::string::npos) return 1;
    if (vendor.size() >= 3 && vendor.find("ATI") != std::string::npos) return 1;
    return 2;
}

std::vector<size_t> platform_order(const std::vector<PlatformInfo>& platforms) {
    std::vector<size_t> order(platforms.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return vendor_rank(platforms[a].vendor) < vendor_rank(platforms[b].vendor);
    });
    return order;
}

bool has_fp64(const DeviceInfo& device) {
    return device.extensions.find("cl_khr_fp64") != std::string::npos;
}

namespace {

// The first device, in ranked platform order, that passes the filter.
template <typename Filter>
std::optional<DeviceIndex> first_device(const std::vector<PlatformInfo>& platforms,
                                        Filter accepts) {
    for (size_t p : platform_order(platforms)) {
        const std::vector<DeviceInfo>& devices = platforms[p].devices;
        for (size_t d = 0; d < devices.size(); ++d) {
            if (accepts(devices[d])) return DeviceIndex{p, d};
        }
    }
    return std::nullopt;
}

struct LoadedPlatforms {
    std::vector<PlatformInfo> info;
    std::vector<std::vector<cl::Device>> devices;
};

std::vector<cl::Platform> get_platforms() {
    std::vector<cl::Platform> platforms;
    try {
        cl::Platform::get(&platforms);
    } catch (const cl::Error& e) {
        // The loader reports a machine without any platform as an error.
        if (e.err() != -1001) throw cl_failure(e);
        platforms.clear();
    }
    return platforms;
}

LoadedPlatforms load_platforms() {
    LoadedPlatforms loaded;
    try {
        for (const cl::Platform& platform : get_platforms()) {
            PlatformInfo info;
            info.vendor = platform.getInfo<CL_PLATFORM_VENDOR>();
            std::vector<cl::Device> devices;
            try {
                platform.getDevices(CL_DEVICE_TYPE_ALL, &devices);
            } catch (const cl::Error&) {
                devices.clear();  // a platform that cannot list its devices offers none
            }
            for (const cl::Device& device : devices) {
                info.devices.push_back(
                    {device.getInfo<CL_DEVICE_NAME>(), device.getInfo<CL_DEVICE_EXTENSIONS>(),
                     (device.getInfo<CL_DEVICE_TYPE>() & CL_DEVICE_TYPE_GPU) != 0});
            }
            loaded.info.push_back(std::move(info));
            loaded.devices.push_back(std::move(devices));
        }
    } catch (const cl::Error& e) {
        throw cl_failure(e);
    }
    return loaded;
}

}  // namespace

std::optional<DeviceIndex> choose_device(const std::vector<PlatformInfo>& platforms, bool need_fp64,
                                         const std::string& requested_name) {
    auto capable = [&](const DeviceInfo& d) { return !need_fp64 || has_fp64(d); };
    if (!requested_name.empty()) {
        auto requested = first_device(
            platforms, [&](const DeviceInfo& d) { return d.name == requested_name && capable(d); });
        if (requested) return requested;
    }
    return first_device(platforms, [&](const DeviceInfo& d) { return d.gpu && capable(d); });
}

std::optional<DeviceIndex> first_capable_device(const std::vector<PlatformInfo>& platforms,
                                                bool need_fp64) {
    return first_device(platforms, [&](const DeviceInfo& d) { return !need_fp64 || has_fp64(d); });
}

std::vector<std::string> list_device_names() {
    std::vector<std::string> names;
    for (const PlatformInfo& platform : describe_platforms()) {
        for (const DeviceInfo& device : platform.devices) names.push_back(device.name);
    }
    return names;
}

std::vector<PlatformInfo> describe_platforms() { return load_platforms().info; }

namespace {

// Picks a device among the loaded platforms; `fall_back` widens an automatic
// choice that finds no GPU to the first capable device of any type.
cl::Device pick_device(bool need_fp64, const std::string& requested_name, bool fall_back) {
    LoadedPlatforms loaded = load_platforms();
    if (loaded.info.empty()) throw std::runtime_error("no OpenCL platforms found");
    const char* no_gpu = need_fp64 ? "no OpenCL GPU with fp64 found" : "no OpenCL GPU found";
    std::optional<DeviceIndex> chosen = choose_device(loaded.info, need_fp64, requested_name);
    if (!chosen && fall_back && requested_name.empty()) {
        chosen = first_capable_device(loaded.info, need_fp64);
        // Said once per process: the interactive render prepares again on
        // every edit, and a range render builds an engine per frame.
        static std::atomic<bool> said{false};
        if (chosen && !said.exchange(true)) {
            std::cerr << no_gpu << "; rendering on "
                      << loaded.info[chosen->platform].devices[chosen->device].name << "\n"
                      << std::flush;
        }
    }
    if (!chosen) throw std::runtime_error(no_gpu);
    // The wrapper releases every other device handle when `loaded` goes away.
    return loaded.devices[chosen->platform][chosen->device];
}

}  // namespace

cl::Device select_device(bool need_fp64, const std::string& requested_name) {
    return pick_device(need_fp64, requested_name, false);
}

cl::Device select_render_device(bool need_fp64, const std::string& requested_name) {
    return pick_device(need_fp64, requested_name, true);
}

}  // namespace spirelle
