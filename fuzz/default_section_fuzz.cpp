// Any bytes are a default section and a code section at once: the
// declarations they give decide what folding keeps, and folding only drops
// or rewrites lines.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formula/declarations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace spirelle;
    std::string text(reinterpret_cast<const char*>(data), size);
    ParamDecls decls;
    ParamDefaults defaults;
    parse_default_section(text, decls, defaults);
    ParamValues values;
    merge_defaults(defaults, values);
    std::string folded = fold_static_conditions(text, values, decls);
    if (folded.size() > 2 * text.size() + 1) std::abort();
    return 0;
}
