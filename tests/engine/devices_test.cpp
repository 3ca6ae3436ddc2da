#include "engine/devices.h"

#include <gtest/gtest.h>

#include "engine/command_queue.h"

namespace spirelle {
namespace {

TEST(VendorRank, PrefersNvidiaThenAmdAndMatchesCaseSensitively) {
    struct Case {
        const char* vendor;
        int rank;
    };
    const Case cases[] = {
        {"NVIDIA Corporation", 0},
        {"NVIDIA", 0},
        {"AMD Accelerated Parallel Processing", 1},
        {"ATI Technologies Inc.", 1},
        {"AMD", 1},
        {"nvidia corporation", 2},
        {"Advanced Micro Devices, Inc.", 2},
        {"The pocl project", 2},
        {"", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vendor);
        EXPECT_EQ(vendor_rank(c.vendor), c.rank);
    }
}

const DeviceInfo kCpu{"Test CPU", "cl_khr_fp64 cl_khr_icd", false};
const DeviceInfo kGpuSingle{"Small GPU", "cl_khr_icd", true};
const DeviceInfo kGpuDouble{"Big GPU", "cl_khr_int64 cl_khr_fp64", true};
const DeviceInfo kGpuDoubleInWord{"Odd GPU", "cl_vendor_cl_khr_fp64_emulated", true};

TEST(ChooseDevice, FollowsTheRequestThenTheBestGpu) {
    struct Case {
        const char* shows;
        std::vector<PlatformInfo> platforms;
        bool fp64;
        std::string requested;
        std::optional<DeviceIndex> chosen;
    };
    const Case cases[] = {
        {"no platforms, no device", {}, false, "", std::nullopt},
        {"a requested CPU is honoured",
         {{"Generic", {kCpu}}},
         false,
         "Test CPU",
         DeviceIndex{0, 0}},
        {"the automatic choice ignores CPUs", {{"Generic", {kCpu}}}, false, "", std::nullopt},
        {"an unknown name falls back to the first GPU",
         {{"Generic", {kCpu, kGpuSingle}}},
         false,
         "Missing",
         DeviceIndex{0, 1}},
        {"a requested GPU without fp64 yields to an fp64 GPU",
         {{"Generic", {kGpuSingle}}, {"Other", {kGpuDouble}}},
         true,
         "Small GPU",
         DeviceIndex{1, 0}},
        {"NVIDIA wins over AMD whatever the loader order",
         {{"AMD Accelerated Parallel Processing", {kGpuSingle}},
          {"NVIDIA Corporation", {kGpuDouble}}},
         false,
         "",
         DeviceIndex{1, 0}},
        {"a lower-case vendor keeps loader order",
         {{"Generic", {kGpuSingle}}, {"nvidia", {kGpuDouble}}},
         false,
         "",
         DeviceIndex{0, 0}},
        {"fp64 inside a longer word counts",
         {{"Generic", {kGpuSingle, kGpuDoubleInWord}}},
         true,
         "",
         DeviceIndex{0, 1}},
        {"no fp64 GPU means no device", {{"Generic", {kGpuSingle, kCpu}}}, true, "", std::nullopt},
        {"a later device of the requested name may qualify",
         {{"Generic", {kGpuSingle}}, {"Other", {{"Small GPU", "cl_khr_fp64", true}}}},
         true,
         "Small GPU",
         DeviceIndex{1, 0}},
        {"an empty platform is passed over",
         {{"NVIDIA Corporation", {}}, {"Generic", {kGpuSingle}}},
         false,
         "",
         DeviceIndex{1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        EXPECT_EQ(choose_device(c.platforms, c.fp64, c.requested), c.chosen);
    }
}

TEST(FirstCapableDevice, TakesAnyTypeForHeadlessFallback) {
    std::vector<PlatformInfo> cpu_only{{"Generic", {kGpuSingle}}, {"The pocl project", {kCpu}}};
    EXPECT_EQ(first_capable_device(cpu_only, false), (DeviceIndex{0, 0}));
    EXPECT_EQ(first_capable_device(cpu_only, true), (DeviceIndex{1, 0}));
    EXPECT_EQ(first_capable_device({{"Generic", {kGpuSingle}}}, true), std::nullopt);
}

TEST(PlatformVersion, ReadsTheMajorNumber) {
    EXPECT_EQ(platform_major_version("OpenCL 3.0 PoCL 3.1"), 3);
    EXPECT_EQ(platform_major_version("OpenCL 1.2 CUDA 12.2"), 1);
    EXPECT_EQ(platform_major_version("OpenCL 2.1 AMD-APP"), 2);
    EXPECT_EQ(platform_major_version("garbage"), 0);
}

}  // namespace
}  // namespace spirelle
