// Any bytes must give Scenes or one error message, never a crash or a hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "scene/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/spirelle-fuzz-" + std::to_string(getpid()) + ".upr";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        spirelle::load_parameter_file(path);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
