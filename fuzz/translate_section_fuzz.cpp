// Any formula text must translate to some text, never crash, hang or grow
// without bound. The translator gets a small parameter map, function
// parameters and a user function, so that every branch of name resolution
// and call dispatch is reachable; the input is split into a global, init and
// loop section at its first two NUL bytes and run through the same steps as
// a formula instance (type inference over all sections, then translation).
#include <cstdint>
#include <string>
#include <vector>

#include "formula/translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using spirelle::ValueType;
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> sections;
    std::size_t start = 0;
    for (int i = 0; i < 2; ++i) {
        std::size_t end = input.find('\0', start);
        if (end == std::string::npos) break;
        sections.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    sections.push_back(input.substr(start));

    // The canonical form, then the wide one with the last section as the
    // speculative loop section of a formula.
    for (bool wide : {false, true}) {
        spirelle::FormulaTranslator translator;
        translator.param_map["@power"] = {"2.0", ValueType::real};
        translator.param_map["@seed"] = {"(real2_t)((real_t)0.3, (real_t)-0.1)",
                                         ValueType::complex};
        translator.param_map["@tint"] = {"4278190080", ValueType::real};
        translator.func_params = {{"fn1", "sin"}, {"fn2", "cabs"}, {"fn3", "unknown"}};
        translator.user_funcs["f"] = {
            "L0_f", {ValueType::complex, ValueType::real}, ValueType::real};
        translator.declared_vars.insert("iter");
        translator.var_types["iter"] = ValueType::real;
        translator.integer_vars.insert("iter");
        translator.wide = wide;

        for (const std::string& section : sections) translator.infer_types(section);
        std::size_t total = 0;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            translator.wide_speculative = wide && i + 1 == sections.size();
            total += translator.translate_section(sections[i]).size();
        }
        translator.wide_speculative = false;
        if (wide) {
            total += translator.translate_wide_condition(sections.back()).setup.size();
        } else {
            total += translator.translate_condition(sections.back()).size();
        }
        // Chained assignments copy their value once per target, so the output
        // may grow with the square of the input, but never beyond (plus the
        // fixed cap on forms that repeat their operand). The wide form writes
        // each component of a value and a masked store for every statement.
        if (total > 8 * (size * size + 64 * size) + (1u << 23)) __builtin_trap();
    }
    return 0;
}
