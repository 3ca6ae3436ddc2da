// Any bytes are a block body: the preprocessor returns text and never grows
// it, since it only drops lines and adds at most one line feed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formula/preprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    if (spirelle::preprocess(text).size() > text.size() + 1) std::abort();
    return 0;
}
