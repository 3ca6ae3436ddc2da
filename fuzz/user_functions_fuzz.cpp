// Any bytes are an init section: lifting functions out of it returns the
// rest and a list of functions, whatever the nesting of func and endfunc.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "formula/declarations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<spirelle::UserFunction> functions;
    std::string rest = spirelle::extract_user_functions(text, functions);
    if (rest.size() > 2 * text.size() + 1) std::abort();
    return 0;
}
