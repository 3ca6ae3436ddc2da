// spirelle-cli kernel as a formula author runs it.
#include <gtest/gtest.h>

#include "cli/cli_runner.h"

namespace spirelle {
namespace {

using testing::run_cli;

const std::string kDemo = std::string(SPIRELLE_SOURCE_DIR) + "/examples/demo.upr";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(KernelCommand, PrintsTheProgramOfTheChosenSet) {
    const struct {
        const char* name;
        std::string args;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"defaults: first set, single, no blue noise",
         "",
         {"typedef float real_t;", "// ----- Layer 1 -----", "__kernel void imaging("},
         {"blue_noise_0", "cl_khr_fp64"}},
        {"double precision",
         " --precision double",
         {"#pragma OPENCL EXTENSION cl_khr_fp64 : enable\ntypedef double real_t;"},
         {}},
        {"sampling level switches blue noise on",
         " --sampling-level 2",
         {"__constant uchar blue_noise_0[4096] = {"},
         {}},
        {"second set at a late frame", " --set 1 --frame 48", {"const int maxiter = 250;"}, {}},
        {"the wide form, sixteen lanes in single precision",
         " --program-form wide",
         {"typedef float16 realv_t;", "float4v_t eval_layer_0(intv_t gx, int gy,"},
         {"float4 eval_layer_0("}},
        {"the wide form, eight lanes in double precision",
         " --program-form wide --precision double",
         {"typedef double8 realv_t;"},
         {}},
    };
    for (const auto& c : cases) {
        testing::CliResult result = run_cli("kernel " + kDemo + c.args);
        EXPECT_EQ(result.status, 0) << c.name;
        for (const std::string& part : c.present) EXPECT_TRUE(contains(result.out, part)) << c.name;
        for (const std::string& part : c.absent) EXPECT_FALSE(contains(result.out, part)) << c.name;
    }
}

TEST(KernelCommand, FailsWithAMessage) {
    const struct {
        const char* name;
        std::string args;
        std::string message;
    } cases[] = {
        {"missing file", "kernel /nonexistent/x.upr", "parse: "},
        {"no such set", "kernel " + kDemo + " --set 5",
         "kernel: no parameter set 5 (the file has 2)"},
        {"unknown precision", "kernel " + kDemo + " --precision half", "precision"},
        {"unknown program form", "kernel " + kDemo + " --program-form vector", "program-form"},
    };
    for (const auto& c : cases) {
        testing::CliResult result = run_cli(c.args, true);
        EXPECT_NE(result.status, 0) << c.name;
        EXPECT_TRUE(contains(result.out, c.message)) << c.name << ": " << result.out;
    }
}

}  // namespace
}  // namespace spirelle
