// Built-in formulas are written in the formula language itself, so that they
// go through the same readers and translator as formulas from files.
#include "formula/builtin.h"

#include "formula/sections.h"

namespace spirelle {

namespace {

// z(0) = @start, z(n+1) = z(n)^2 + pixel
const char kMandelbrotText[] =
    "init:\n  z = @start\nloop:\n  z = z*z + #pixel\nbailout:\n  |z| <= @bailout\n";
// z(0) = pixel, z(n+1) = z(n)^2 + @seed
const char kJuliaText[] =
    "init:\n  z = #pixel\nloop:\n  z = z*z + @seed\nbailout:\n  |z| <= @bailout\n";

// The first decimal digit after the first "type" of a builtin section, or 0.
int builtin_type(const std::string& section) {
    size_t type = section.find("type");
    if (section.size() <= 3 || type == std::string::npos) return 0;
    size_t digit = section.find_first_of("0123456789", type + 4);
    return digit == std::string::npos ? 0 : section[digit] - '0';
}

}  // namespace

std::string expand_builtin(const std::string& text) {
    if (text.size() < 7 || text.find("builtin") == std::string::npos) return text;
    SectionMap sections = split_sections(text, {"builtin", "default"});
    auto builtin = sections.find("builtin");
    if (builtin == sections.end()) return text;
    const char* replacement = nullptr;
    switch (builtin_type(builtin->second)) {
        case 1:
            replacement = kMandelbrotText;
            break;
        case 2:
            replacement = kJuliaText;
            break;
        default:
            return text;
    }
    return replacement + std::string("default:\n") + sections["default"];
}

void apply_builtin_outside_coloring(FormulaEntry& outside) {
    bool supplied = !outside.loop.empty() || !outside.final.empty();
    if (supplied || (outside.entry != "ExponentialSmoothing" && outside.entry != "Smooth")) {
        return;
    }
    // index = sum over iterations of exp(-|z|)
    outside.init = "float sum = 0.0";
    outside.loop = "sum = sum + exp(-cabs(#z))";
    outside.final = "#index = sum";
}

}  // namespace spirelle
