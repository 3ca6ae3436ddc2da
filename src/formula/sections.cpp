// Reading a found formula entry.
//
// An entry is a sequence of sections opened by label lines ("init:"). The
// readers split it into the sections of its kind, read the declarations of
// its "default" section, add their defaults to the values the scene gave,
// fold the conditions that those values decide, and store what remains as
// formula-language text for the translator.
#include "formula/sections.h"

#include <algorithm>

#include "formula/builtin.h"
#include "formula/declarations.h"
#include "formula/lines.h"
#include "scene/text.h"

namespace spirelle {

const SectionList& section_list(FormulaKind kind) {
    static const SectionList formula = {"global", "init", "loop", "bailout", "default", "switch"};
    static const SectionList coloring = {"global", "init", "loop", "final", "default"};
    static const SectionList transform = {"global", "transform", "default"};
    switch (kind) {
        case FormulaKind::coloring:
            return coloring;
        case FormulaKind::transform:
            return transform;
        case FormulaKind::formula:
            break;
    }
    return formula;
}

namespace {

// The lower-case name of a label line such as "Init:", or nothing.
std::optional<std::string> section_label(const std::string& line) {
    if (line.size() < 2 || line.back() != ':') return std::nullopt;
    std::string name = to_lower(line.substr(0, line.size() - 1));
    for (char c : name) {
        bool word = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!word) return std::nullopt;
    }
    return name;
}

std::string section_text(const SectionMap& sections, const char* name) {
    auto it = sections.find(name);
    return it == sections.end() ? std::string() : it->second;
}

}  // namespace

SectionMap split_sections(const std::string& text, const SectionList& list) {
    SectionMap sections;
    std::string* current = nullptr;
    for (const std::string& raw : split_lines(text)) {
        std::string line = trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (std::optional<std::string> label = section_label(line)) {
            bool known = std::find(list.begin(), list.end(), *label) != list.end();
            current = known ? &sections[*label] : nullptr;
            continue;
        }
        if (current != nullptr) *current += line + "\n";
    }
    return sections;
}

FormulaSource read_source(const std::string& text, FormulaKind kind) {
    return {kind, split_sections(text, section_list(kind))};
}

std::string join_bailout_lines(const std::string& bailout) {
    std::string joined;
    for (const std::string& raw : split_lines(bailout)) {
        std::string line = trim(raw);
        if (ends_with(line, '\\')) {
            joined += trim(line.substr(0, line.size() - 1)) + " ";
        } else {
            joined += line;
        }
    }
    return trim(joined);
}

std::optional<int32_t> find_bailout_test_index(const FormulaEntry& entry) {
    auto value = entry.params.find("test");
    auto decl = entry.param_decls.find("test");
    if (value == entry.params.end() || decl == entry.param_decls.end()) return std::nullopt;
    const std::vector<std::string>& names = decl->second;
    auto match = std::find(names.begin(), names.end(), value->second);
    if (match != names.end()) return static_cast<int32_t>(match - names.begin());
    // "@test" itself reads a label in another case or a plain number as an
    // index; the chosen bailout must test the same value.
    int index = enum_index("test", entry.params, entry.param_decls);
    if (index < 0) return std::nullopt;
    return index;
}

namespace {

// Declarations and defaults, then every section that runs code folded by the
// values that the defaults complete.
FormulaSource read_declared_source(const std::string& text, FormulaKind kind, FormulaEntry& entry) {
    FormulaSource source = read_source(text, kind);
    ParamDecls decls;
    ParamDefaults defaults;
    parse_default_section(section_text(source.sections, "default"), decls, defaults);
    entry.param_decls = std::move(decls);
    merge_defaults(defaults, entry.params);
    return source;
}

std::string folded(const FormulaSource& source, const char* name, const FormulaEntry& entry) {
    return fold_static_conditions(section_text(source.sections, name), entry.params,
                                  entry.param_decls);
}

}  // namespace

void read_formula_entry(const std::string& text, FormulaEntry& entry, Layer& layer) {
    FormulaSource source = read_declared_source(expand_builtin(text), FormulaKind::formula, entry);
    entry.global = trim(folded(source, "global", entry));
    entry.user_functions.clear();
    entry.init = trim(extract_user_functions(folded(source, "init", entry), entry.user_functions));
    entry.loop = trim(folded(source, "loop", entry));
    entry.bailout = join_bailout_lines(section_text(source.sections, "bailout"));
    if (std::optional<int32_t> index = find_bailout_test_index(entry)) {
        layer.bailout_test_index = *index;
    }
}

void read_coloring_entry(const std::string& text, FormulaEntry& entry) {
    FormulaSource source = read_declared_source(text, FormulaKind::coloring, entry);
    entry.global = trim(folded(source, "global", entry));
    entry.init = trim(folded(source, "init", entry));
    entry.loop = trim(folded(source, "loop", entry));
    entry.final = trim(folded(source, "final", entry));
}

void read_transform_entry(const std::string& text, FormulaEntry& entry) {
    FormulaSource source = read_declared_source(text, FormulaKind::transform, entry);
    entry.global = trim(folded(source, "global", entry));
    entry.transform = trim(folded(source, "transform", entry));
}

}  // namespace spirelle
