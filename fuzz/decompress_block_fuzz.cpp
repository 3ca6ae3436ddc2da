// Compressed block bodies from arbitrary bytes: the text after the marker is
// decoded and inflated, so mutations reach the zlib stream itself.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "scene/compressed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body = "::" + std::string(reinterpret_cast<const char*>(data), size);
    try {
        spirelle::decompress_block(body);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
