// Any bytes are an entry of each kind: splitting keeps at most the text's
// own characters plus one line feed per line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "formula/sections.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace spirelle;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (FormulaKind kind : {FormulaKind::formula, FormulaKind::coloring, FormulaKind::transform}) {
        size_t total = 0;
        for (const auto& [name, section] : split_sections(text, section_list(kind))) {
            total += section.size();
        }
        if (total > 2 * text.size() + 1) std::abort();
    }
    return 0;
}
