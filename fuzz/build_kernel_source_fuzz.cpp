// A parameter file of arbitrary bytes, with its formula entries carried in the
// file, must load or fail with a message, and every scene that loads must turn
// into a program whose preprocessor lines are the generator's own, in the
// canonical and in the wide form.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include "kernelgen/kernel_source.h"
#include "scene/reader.h"

namespace {

bool is_generator_directive(const std::string& line) {
    static const char* const kOwn[] = {
        "#define BLEND_FN(",
        "#define BLEND_PERCHAN(",
        "#define GRADIENT_LUT_RES ",
        "#define MAX_FORMULA_LOOP_ITERS ",
        "#pragma OPENCL EXTENSION cl_khr_fp64 : enable",
        "#undef BLEND_FN",
        "#undef BLEND_PERCHAN",
    };
    for (const char* own : kOwn) {
        if (line.rfind(own, 0) == 0) return true;
    }
    return false;
}

void check_directives(const std::string& program) {
    std::istringstream lines(program);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find_first_not_of(" \t\v\f\r");
        if (start == std::string::npos || line[start] != '#') continue;
        if (start != 0 || !is_generator_directive(line)) {
            std::fprintf(stderr, "foreign preprocessor line: %s\n", line.c_str());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path =
        "/tmp/spirelle-fuzz-kernel-" + std::to_string(getpid()) + ".upr";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        for (spirelle::Scene& scene : spirelle::load_parameter_file(path)) {
            scene.precision = size % 2;
            scene.sampling_level = 0;
            check_directives(spirelle::build_kernel_source(scene));
            check_directives(spirelle::build_kernel_source(scene, spirelle::ViewValues::buffer));
            // The wide form, with the lane counts of both precisions.
            check_directives(spirelle::build_wide_kernel_source(scene, spirelle::ViewValues::buffer,
                                                                size % 2 ? 8 : 16)
                                 .text);
        }
    } catch (const std::runtime_error&) {
    }
    return 0;
}
