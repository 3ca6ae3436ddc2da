// Statement translation: one section of formula text to kernel statements.
//
// Formula variables need no declaration and may first be assigned deep
// inside a branch; OpenCL C needs each declared once, with one type, in a
// scope that covers every use. Three mechanisms bridge the gap:
//   - infer_types translates the section repeatedly (text discarded) until
//     the variable types stop changing, so every use sees the final type;
//   - translate_section declares at its top every variable first assigned
//     inside a block (hoisting);
//   - a variable first assigned at the top level is declared by that
//     assignment.
// Every while and repeat loop gets a guard counter (_wg0, _wg1, ...) that
// ends it after MAX_FORMULA_LOOP_ITERS passes, so no formula loop can hang
// the kernel.
#include <algorithm>
#include <array>
#include <vector>

#include "formula/lines.h"
#include "formula/translator.h"
#include "formula/translator_internal.h"
#include "scene/text.h"

namespace spirelle {

namespace {

constexpr int kMaxInferenceRounds = 8;

enum class Block { if_block, while_block, repeat_block };

struct TypeKeyword {
    std::string_view keyword;  // with its blank
    std::string_view kernel_type;
};

constexpr std::array<TypeKeyword, 6> kTypeKeywords = {{
    {"float ", "real_t "},
    {"double ", "real_t "},
    {"int ", "int "},
    {"complex ", "real2_t "},
    {"bool ", "int "},
    {"color ", "real4_t "},
}};

// Kernel variables of the layer function that a formula may assign but that
// are never hoisted.
constexpr std::array<std::string_view, 11> kLayerVariables = {
    "z", "c", "z_old", "color_index", "gx", "gy", "width", "height", "ox", "oy", "gradient_lut"};

ValueType kernel_value_type(std::string_view kernel_type) {
    if (kernel_type == "real2_t ") return ValueType::complex;
    if (kernel_type == "real4_t ") return ValueType::color;
    return ValueType::real;
}

std::string kernel_type_of(ValueType type) {
    if (type == ValueType::color) return "real4_t ";
    if (type == ValueType::complex) return "real2_t ";
    return "real_t ";
}

std::string zero_value(ValueType type) {
    if (type == ValueType::color) return "(real4_t)(0.0, 0.0, 0.0, 0.0)";
    if (type == ValueType::complex) return "(real2_t)(0.0, 0.0)";
    return "(real_t)0.0";
}

bool starts_with_hash(const std::string& name) { return !name.empty() && name.front() == '#'; }

// Names that are written into the kernel as they stand in the formula text
// (array names, hoisted declarations, color snapshots) must be identifiers of
// the kernel language: anything else could carry a line break or a
// preprocessor directive past the tokenizer.
bool is_kernel_identifier(std::string_view name) {
    if (name.empty() || (name.front() >= '0' && name.front() <= '9')) return false;
    return std::all_of(name.begin(), name.end(), is_word_char);
}

bool contains_any(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

// The predefined translation of a name is one of the kernel's own loop
// variables, which must never be redeclared.
bool names_kernel_state(const std::string& name) {
    const PredefinedSymbol* symbol = lookup_predefined(name);
    return symbol && (symbol->text == "z" || symbol->text == "z_old" || symbol->text == "iter");
}

// Lower-cased text before the first assigning "=", trimmed; empty without one.
std::string assignment_target(const std::string& text) {
    std::size_t sign = find_plain_assignment(text);
    return sign == std::string::npos ? "" : to_lower(trim(text.substr(0, sign)));
}

// The kernel variable written by a line of the hoisting scan, or "".
std::string hoisting_target(const std::string& lower) {
    std::size_t sign = find_plain_assignment(lower, true);
    if (sign == std::string::npos) return "";
    std::string target = trim(lower.substr(0, sign));
    for (const TypeKeyword& type : kTypeKeywords) {
        if (target.rfind(type.keyword, 0) == 0) {
            target = trim(target.substr(type.keyword.size()));
            break;
        }
    }
    return target;
}

bool never_hoisted(const std::string& name) {
    return starts_with_hash(name) || lookup_predefined(name) ||
           std::find(kLayerVariables.begin(), kLayerVariables.end(), name) != kLayerVariables.end();
}

// Variables first assigned inside an if, while or repeat block, in ascending
// byte order.
std::set<std::string> names_to_hoist(const std::string& normalized,
                                     const std::set<std::string>& declared) {
    std::set<std::string> seen;
    std::set<std::string> hoisted;
    int depth = 0;
    for (const std::string& raw : split_lines(normalized)) {
        std::string line = trim(raw);
        if (line.empty() || line.front() == ';') continue;
        line = to_lower(trim(line.substr(0, line.find(';'))));
        if (starts_with_word(line, "if") || starts_with_word(line, "while") || line == "repeat") {
            ++depth;
        } else if (line == "endif" || line == "endwhile" || starts_with_word(line, "until")) {
            depth = depth > 0 ? depth - 1 : 0;
        } else if (!starts_with_word(line, "elseif") && line != "else") {
            std::string target = hoisting_target(line);
            if (target.empty() || contains_any(target, " \t(){}[].,") ||
                !is_kernel_identifier(target) || never_hoisted(target) || declared.count(target) ||
                !seen.insert(target).second) {
                continue;
            }
            if (depth > 0) hoisted.insert(target);
        }
    }
    return hoisted;
}

// The statement with its continuation lines ("\" at the end) joined and its
// comment cut. Advances `index` past the lines it used.
std::string next_statement(const std::vector<std::string>& lines, std::size_t& index) {
    std::string line = trim(lines[index++]);
    while (!line.empty() && line.back() == '\\') {
        line = trim(line.substr(0, line.size() - 1));
        if (index < lines.size()) line += " " + trim(lines[index++]);
    }
    return trim(line.substr(0, line.find(';')));
}

}  // namespace

std::string FormulaTranslator::translate_section(const std::string& section) {
    std::string normalized = normalize_statements(section);
    infer_types(section);
    wide_declared_before_ = declared_vars;
    std::string out;
    for (const std::string& name : names_to_hoist(normalized, declared_vars)) {
        auto entry = var_types.find(name);
        ValueType type = entry == var_types.end() ? ValueType::real : entry->second;
        if (type == ValueType::unknown) type = ValueType::real;
        declared_vars.insert(name);
        if (!wide) {
            out += "    " + kernel_type_of(type) + name + " = " + zero_value(type) + ";\n";
            continue;
        }
        // A zero in the lanes of the section's mask: a coloring's loop code
        // starts every iteration from it, as the canonical form does once
        // the coloring's declarations have moved to its init code.
        out += wide_declaration(kernel_type_of(type), name);
        TypedText variable = wide_name({name, type}, name, nullptr);
        out += wide_masked_store(variable, {zero_value(type), type}, current_mask());
    }
    return out + translate_statements(normalized);
}

void FormulaTranslator::infer_types(const std::string& section) {
    std::string normalized = normalize_statements(section);
    const std::set<std::string> saved_declared = declared_vars;
    const std::set<std::string> saved_typed = typed_decls;
    const std::set<std::string> saved_snapshots = color_snapshots;
    const int saved_counter = loop_guard_counter;
    const std::set<std::string> saved_integers = integer_vars;
    const int saved_temps = wide_temp_counter;
    const std::string saved_blocker = wide_blocker;
    const std::map<std::string, std::string> saved_kept = wide_kept;
    auto restore = [&] {
        declared_vars = saved_declared;
        typed_decls = saved_typed;
        color_snapshots = saved_snapshots;
        loop_guard_counter = saved_counter;
        // Types are not final until the last round, so what the wide form
        // could not express in an earlier one does not count.
        integer_vars = saved_integers;
        wide_temp_counter = saved_temps;
        wide_blocker = saved_blocker;
        wide_kept = saved_kept;
    };
    for (int round = 0; round < kMaxInferenceRounds; ++round) {
        std::map<std::string, ValueType> before = var_types;
        restore();
        translate_statements(normalized);
        if (var_types == before) break;
    }
    restore();
}

std::string FormulaTranslator::translate_statements(const std::string& normalized) {
    if (wide) return wide_statements(normalized);
    std::vector<std::string> lines = split_lines(normalized);
    std::vector<Block> blocks;
    std::string out;
    auto pop_if_top = [&blocks](Block kind) {
        if (!blocks.empty() && blocks.back() == kind) blocks.pop_back();
    };
    auto condition = [this](const std::string& text) {
        set_tokens(tokenize(text));
        return or_expr().text;
    };
    auto next_guard = [this] { return "_wg" + std::to_string(loop_guard_counter++); };
    std::string loop_close = bounded_loops ? "    }}\n" : "    }\n";

    for (std::size_t index = 0; index < lines.size();) {
        std::string first = trim(lines[index]);
        if (first.empty() || first.front() == ';') {
            ++index;
            continue;
        }
        std::string line = next_statement(lines, index);
        std::string lower = to_lower(line);
        std::replace(lower.begin(), lower.end(), '\t', ' ');

        if (starts_with_word(lower, "print")) {
            continue;
        } else if (starts_with_word(lower, "if")) {
            out += "    if (" + condition(line.substr(2)) + ") {\n";
            blocks.push_back(Block::if_block);
        } else if (starts_with_word(lower, "elseif")) {
            out += "    } else if (" + condition(line.substr(6)) + ") {\n";
        } else if (lower == "else") {
            out += "    } else {\n";
        } else if (lower == "endif") {
            out += "    }\n";
            pop_if_top(Block::if_block);
        } else if (starts_with_word(lower, "while")) {
            std::string test = condition(line.substr(5));
            if (bounded_loops) {
                std::string guard = next_guard();
                out += "    { int " + guard + " = 0;\n";
                out += "    while ((" + test + ") && " + guard + "++ < MAX_FORMULA_LOOP_ITERS) {\n";
            } else {
                out += "    while (" + test + ") {\n";
            }
            blocks.push_back(Block::while_block);
        } else if (lower == "endwhile") {
            out += loop_close;
            pop_if_top(Block::while_block);
        } else if (lower == "repeat") {
            if (bounded_loops) {
                std::string guard = next_guard();
                out += "    { int " + guard + " = 0;\n    do {\n";
                out += "    if (" + guard + "++ >= MAX_FORMULA_LOOP_ITERS) break;\n";
            } else {
                out += "    do {\n";
            }
            blocks.push_back(Block::repeat_block);
        } else if (starts_with_word(lower, "until")) {
            out += "    } while (!(" + condition(line.substr(5)) + "));\n";
            if (bounded_loops) out += "    }\n";
            pop_if_top(Block::repeat_block);
        } else if (lower.rfind("return ", 0) == 0) {
            set_tokens(tokenize(line.substr(7)));
            out += "    return " + translate_assignment().text + ";\n";
        } else {
            out += simple_statement(line, lower);
        }
    }
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        out += *block == Block::if_block ? "    }\n" : loop_close;
    }
    return out;
}

// A declaration, assignment or expression statement.
std::string FormulaTranslator::simple_statement(const std::string& line, const std::string& lower) {
    std::string kernel_type;
    std::string text = line;
    for (const TypeKeyword& type : kTypeKeywords) {
        if (lower.rfind(type.keyword, 0) == 0) {
            kernel_type = type.kernel_type;
            text = trim(line.substr(type.keyword.size()));
            break;
        }
    }
    if (!kernel_type.empty()) {
        if (std::optional<std::string> array = array_declaration(kernel_type, text)) {
            return *array;
        }
    }

    std::string target = assignment_target(text);
    bool plain_target =
        !target.empty() && !contains_any(target, " [.") && !starts_with_hash(target);
    if (plain_target) {
        assign_targets.insert(target);
        if (!kernel_type.empty() && !names_kernel_state(target)) {
            var_types[target] = kernel_value_type(kernel_type);
            typed_decls.insert(target);
        }
    }
    set_tokens(tokenize(text));
    TypedText statement = translate_assignment();
    assign_targets.erase(target);

    std::string declared = target.empty() ? to_lower(text) : target;
    if (kernel_type.empty()) {
        if (last_was_assignment && !contains_any(declared, "[") && !lookup_predefined(declared) &&
            !declared_vars.count(declared) && !starts_with_hash(declared) &&
            declared != "color_index") {
            kernel_type = kernel_type_of(statement.type);
            declared_vars.insert(declared);
            if (statement.type != ValueType::unknown) var_types[declared] = statement.type;
        }
    } else if (!contains_any(declared, " ")) {
        const PredefinedSymbol* symbol = lookup_predefined(declared);
        if (declared_vars.count(declared) || (starts_with_hash(declared) && symbol) ||
            names_kernel_state(declared)) {
            kernel_type.clear();
        } else {
            declared_vars.insert(declared);
            typed_decls.insert(declared);
            var_types[declared] = kernel_value_type(kernel_type);
            if (kernel_type == "int ") integer_vars.insert(declared);
        }
    }
    if (wide) {
        std::string snapshot;
        if (kernel_type == "real4_t " && is_kernel_identifier(target) &&
            color_snapshots.insert(target).second) {
            declared_vars.insert(target + "_init");
            snapshot = target;
        }
        return wide_simple_statement(kernel_type, declared, statement, snapshot);
    }

    // An unknown "#name" is passed through as written; at the start of a line
    // the compiler would read it as a preprocessor directive, so it is kept in
    // parentheses, where it fails the build like any other unknown name.
    std::string body = statement.text;
    if (kernel_type.empty() && starts_with_hash(body)) body = "(" + body + ")";
    std::string out = "    " + kernel_type + body + ";\n";
    if (kernel_type == "real4_t ") {
        if (is_kernel_identifier(target) && color_snapshots.insert(target).second) {
            declared_vars.insert(target + "_init");
            out += "    real4_t " + target + "_init = " + target + ";\n";
        }
    } else if (kernel_type.empty() && last_was_assignment) {
        out += color_override_marker(statement.text);
    }
    return out;
}

// 'float v[10]' -> "    real_t v[(int)(10)];\n"; nullopt when `text` does
// not declare an array.
std::optional<std::string> FormulaTranslator::array_declaration(const std::string& kernel_type,
                                                                const std::string& text) {
    std::size_t open = text.find('[');
    std::size_t close = text.find(']');
    if (open == std::string::npos || close == std::string::npos || open > close) return {};
    std::size_t sign = text.find('=');
    if (sign != std::string::npos && sign < close) return {};
    std::string name = to_lower(trim(text.substr(0, open)));
    std::string size = trim(text.substr(open + 1, close - open - 1));
    if (name.empty() || size.empty() || contains_any(name, " ") || !is_kernel_identifier(name)) {
        return {};
    }

    // The size is read before the name is declared, so a size that names a
    // parameter of the same name still means the parameter.
    std::string size_text = translate_array_size(size);
    ValueType element = kernel_value_type(kernel_type);
    array_vars[name] = element;
    declared_vars.insert(name);
    typed_decls.insert(name);
    var_types[name] = element;
    if (kernel_type == "int ") integer_vars.insert(name);
    if (wide) return take_wide_setup() + wide_array_declaration(kernel_type, name, size_text);
    return "    " + kernel_type + name + "[(int)(" + size_text + ")];\n";
}

// A coloring that assigns #color from a color variable still holding its
// first value marks the override as unset (alpha -1) instead of painting it.
std::string FormulaTranslator::color_override_marker(const std::string& statement) const {
    std::string source = color_override_snapshot(statement);
    if (source.empty()) return "";
    return "    if (all(_color_override == " + source + "_init)) _color_override.w = -1.0f;\n";
}

// The color variable with a snapshot that an assignment of #color copies
// as it stands, or "".
std::string FormulaTranslator::color_override_snapshot(const std::string& statement) const {
    std::size_t sign = statement.find(" = ");
    if (sign == std::string::npos || trim(statement.substr(0, sign)) != "_color_override") {
        return "";
    }
    std::string source = trim(statement.substr(sign + 3));
    if (!color_snapshots.count(source) || contains_any(source, " \t([+-*/.,")) return "";
    return source;
}

}  // namespace spirelle
