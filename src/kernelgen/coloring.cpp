// Coloring instances and transform blocks. A coloring's code is spliced into
// the layer function next to the formula's and the other coloring's, so its
// own variables get a private prefix, and declarations made in the loop and
// final code (which run in inner blocks) move up into the init code.
#include "kernelgen/coloring.h"

#include <cctype>
#include <cstdlib>
#include <set>
#include <vector>

#include "formula/lines.h"
#include "formula/translator.h"
#include "kernelgen/instantiate.h"
#include "kernelgen/safe_text.h"
#include "scene/text.h"

namespace spirelle {

const std::string kUnsupportedColoringStub =
    "    // stub: unsupported coloring (image sampling / CA grid / class)\n"
    "    _solid = 1;\n"
    "    color_index = 0;\n";

const std::string kUnsupportedColoringWideStub =
    "    // stub: unsupported coloring (image sampling / CA grid / class)\n"
    "    _solid = blend_int_v(_solid, (intv_t)1, _m0);\n"
    "    color_index = blend_v(color_index, (realv_t)0.0, _m0);\n";

namespace {

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// A "[" whose group, up to the next "]", holds a comma: grid[x, y].
bool has_two_dimensional_index(const std::string& text) {
    for (size_t open = text.find('['); open != std::string::npos; open = text.find('[', open + 1)) {
        size_t close = text.find(']', open);
        if (close == std::string::npos) return false;
        if (text.find(',', open) < close) return true;
    }
    return false;
}

bool is_unsupported_section(const std::string& section) {
    const std::string text = "\n" + section;
    return contains(text, "\nimport ") || contains(text, "\n  import ") ||
           contains(text, "= new @") || contains(text, "=new @") || contains(text, "ZKW_Image") ||
           contains(text, "[#width") || contains(text, "[#height") || contains(text, "#width,") ||
           contains(text, ",#width") || has_two_dimensional_index(text);
}

// "int iter" (the "int" may end a longer word) followed by the end, a blank,
// a tab, "=" or the end of its line. A declaration alone on its line counts
// too: missing it would let the coloring reset and count the layer's own
// iteration counter.
bool declares_own_counter(const std::string& text) {
    for (size_t at = text.find("int"); at != std::string::npos; at = text.find("int", at + 1)) {
        size_t i = at + 3;
        size_t blanks = i;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i == blanks || text.compare(i, 4, "iter") != 0) continue;
        i += 4;
        if (i == text.size()) return true;
        const char next = text[i];
        if (next == ' ' || next == '\t' || next == '=' || next == '\r' || next == '\n') return true;
    }
    return false;
}

// Calls `rename` for every identifier of the text and writes what it returns.
// Numbers (runs that start with a digit) and member names after "." are kept,
// and so are the names of called functions when `keep_calls` is set.
template <typename Rename>
std::string rename_identifiers(const std::string& text, Rename rename, bool keep_calls = false) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        if (!is_word_char(text[i])) {
            out += text[i++];
            continue;
        }
        size_t end = i;
        while (end < text.size() && is_word_char(text[end])) ++end;
        std::string word = text.substr(i, end - i);
        bool identifier = !std::isdigit(static_cast<unsigned char>(word[0]));
        bool member = i > 0 && text[i - 1] == '.';
        bool called = keep_calls && end < text.size() && text[end] == '(';
        out += identifier && !member && !called ? rename(word) : word;
        i = end;
    }
    return out;
}

std::string replace_counter(const std::string& text, const std::string& counter) {
    return rename_identifiers(
        text, [&](const std::string& word) { return word == "iter" ? counter : word; });
}

// A variable is never called, so a private name directly followed by "(" is
// the kernel function of the same name (a variable `length` next to the
// length() that |z| and cabs() become) and stays as it is.
std::string add_prefix(const std::string& text, const std::set<std::string>& names,
                       const std::string& prefix) {
    return rename_identifiers(
        text,
        [&](const std::string& word) { return names.count(word) != 0 ? prefix + word : word; },
        true);
}

struct HoistedCode {
    std::string declarations;
    std::string code;
};

// Turns "    real_t x = ..." lines into assignments and collects a zeroed
// declaration for the first of each name.
HoistedCode hoist_declarations(const std::string& code, std::set<std::string>& seen) {
    static const std::vector<std::pair<std::string, std::string>> kTypes = {
        {"real4_t ", "(real4_t)(0.0, 0.0, 0.0, 0.0)"},
        {"real2_t ", "(real2_t)(0.0, 0.0)"},
        {"real_t ", "(real_t)0.0"},
        {"int ", "0"},
    };
    HoistedCode result;
    for (const std::string& line : split_lines(code)) {
        size_t start = line.find_first_not_of(" \t");
        size_t equals = line.find('=');
        bool moved = false;
        if (start != std::string::npos && equals != std::string::npos) {
            for (const auto& [type, zero] : kTypes) {
                if (line.compare(start, type.size(), type) != 0) continue;
                size_t name_start = start + type.size();
                if (equals < name_start) break;
                std::string name = line.substr(name_start, equals - name_start);
                name.erase(name.find_last_not_of(' ') + 1);
                if (!is_plain_identifier(name)) break;
                if (seen.insert(name).second) {
                    result.declarations += "    " + type + name + " = " + zero + ";\n";
                }
                result.code += line.substr(0, start) + line.substr(name_start) + "\n";
                moved = true;
                break;
            }
        }
        if (!moved) result.code += line + "\n";
    }
    return result;
}

// The wide form declares every variable with a zero of its type and assigns
// it in its own, masked statement; moving the declarations leaves the
// assignments where they are, in the lanes they were meant for.
HoistedCode hoist_wide_declarations(const std::string& code, std::set<std::string>& seen) {
    static const std::vector<std::pair<std::string, std::string>> kTypes = {
        {"    real4v_t ", " = color_v(0.0, 0.0, 0.0, 0.0);"},
        {"    real2v_t ", " = cplx_v(0.0, 0.0);"},
        {"    realv_t ", " = (realv_t)0.0;"},
        {"    intv_t ", " = (intv_t)0;"},
    };
    HoistedCode result;
    for (const std::string& line : split_lines(code)) {
        bool moved = false;
        for (const auto& [type, zero] : kTypes) {
            if (line.rfind(type, 0) != 0 || line.size() <= type.size() + zero.size() ||
                line.compare(line.size() - zero.size(), zero.size(), zero) != 0) {
                continue;
            }
            std::string name = line.substr(type.size(), line.size() - type.size() - zero.size());
            if (!is_plain_identifier(name)) break;
            if (seen.insert(name).second) result.declarations += line + "\n";
            moved = true;
            break;
        }
        if (!moved) result.code += line + "\n";
    }
    return result;
}

FormulaTranslator entry_translator(const FormulaEntry& entry, bool wide) {
    FormulaTranslator translator;
    translator.param_map = build_param_map(entry.params, entry.param_decls);
    translator.func_params = build_func_params(entry);
    translator.bounded_loops = true;
    translator.wide = wide;
    return translator;
}

void declare_variable(FormulaTranslator& translator, const std::string& name, ValueType type) {
    translator.declared_vars.insert(name);
    translator.var_types[name] = type;
}

// The argument text of the call whose "(" is at `open`, and the position
// behind its ")"; npos when the parentheses do not close.
std::pair<std::string, size_t> call_argument(const std::string& text, size_t open) {
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0) return {text.substr(open + 1, i - open - 1), i + 1};
    }
    return {"", std::string::npos};
}

std::string class_expression(const std::string& argument,
                             const std::map<std::string, std::string>& params) {
    for (const auto& [name, value] : params) {
        if (!contains(value, ".ulb:")) continue;
        if (value == "qvx.ulb:QVXTalisTransform") {
            auto p1 = params.find(name + ".p1");
            double power = p1 == params.end() ? 0.0 : std::strtod(p1->second.c_str(), nullptr);
            if (power == 0) return "log(abs(" + argument + "))";
        }
        break;
    }
    return "(" + argument + ")";
}

// Replaces "object.Method(...)" calls, the object being an identifier.
template <typename Replace>
std::string replace_method_calls(const std::string& text, const std::string& method,
                                 Replace replace) {
    const std::string pattern = "." + method + "(";
    std::string out;
    size_t pos = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) {
        size_t object = at;
        while (object > pos && is_word_char(text[object - 1])) --object;
        if (object == at || at < pos) continue;
        auto [argument, end] = call_argument(text, at + pattern.size() - 1);
        if (end == std::string::npos) break;
        out += text.substr(pos, object - pos) + replace(argument);
        pos = end;
        at = end - 1;
    }
    return out + text.substr(pos);
}

// Drops the lines that import class libraries or create class objects.
std::string drop_object_setup(const std::string& text) {
    std::string out;
    for (const std::string& line : split_lines(text)) {
        std::string t = trim(line);
        bool creates =
            t.rfind("usertransform ", 0) == 0 && contains(t, "=") && contains(t, " new ");
        if (t.rfind("import ", 0) == 0 || creates) continue;
        out += line + "\n";
    }
    return out;
}

}  // namespace

bool is_unsupported_coloring(const FormulaEntry& coloring) {
    for (const std::string* section :
         {&coloring.global, &coloring.init, &coloring.loop, &coloring.final}) {
        if (is_unsupported_section(*section)) return true;
    }
    return false;
}

ColoringInstance instantiate_coloring(const FormulaEntry& coloring, const std::string& counter,
                                      const std::string& prefix, bool wide) {
    if (is_unsupported_coloring(coloring)) {
        return {"", "", wide ? kUnsupportedColoringWideStub : kUnsupportedColoringStub, ""};
    }

    FormulaTranslator translator = entry_translator(coloring, wide);
    // Temporaries of the two colorings share the layer function: _wi1, _wo1.
    translator.wide_temp_prefix = "_w" + prefix.substr(1, 1);
    // The orbit and the gradient index belong to the layer function. "c" is
    // left to mean the pixel constant, as it does in formulas.
    declare_variable(translator, "z", ValueType::complex);
    declare_variable(translator, "z_old", ValueType::complex);
    declare_variable(translator, "color_index", ValueType::real);

    std::string sections[4] = {coloring.global, coloring.init, coloring.loop, coloring.final};
    bool own_counter = false;
    for (const std::string& section : sections)
        own_counter = own_counter || declares_own_counter(section);
    if (!own_counter) {
        declare_variable(translator, "iter", ValueType::real);
        translator.integer_vars.insert("iter");
    }
    for (std::string& section : sections) {
        section = substitute_enum_labels(section, coloring.param_decls);
        if (own_counter) section = replace_counter(section, counter);
    }

    for (const std::string& section : sections) translator.infer_types(section);
    std::string init = translator.translate_section(sections[0]);
    init += translator.translate_section(sections[1]);
    std::string loop = translator.translate_section(sections[2]);
    std::string final = translator.translate_section(sections[3]);

    std::set<std::string> private_names = translator.declared_vars;
    for (const char* shared : {"color_index", "iter", "z", "z_old"}) private_names.erase(shared);
    private_names.erase(counter);
    init = add_prefix(init, private_names, prefix);
    loop = add_prefix(loop, private_names, prefix);
    final = add_prefix(final, private_names, prefix);

    std::set<std::string> seen;
    auto hoist = wide ? hoist_wide_declarations : hoist_declarations;
    HoistedCode hoisted_loop = hoist(loop, seen);
    HoistedCode hoisted_final = hoist(final, seen);
    return {hoisted_loop.declarations + hoisted_final.declarations + init, hoisted_loop.code,
            hoisted_final.code, translator.wide_blocker};
}

std::string rewrite_class_calls(const std::string& text,
                                const std::map<std::string, std::string>& params) {
    std::string kept;
    for (const std::string& line : split_lines(text)) {
        if (!contains(line, ".Init(")) kept += line + "\n";
    }
    kept = replace_method_calls(kept, "Iterate", [&](const std::string& argument) {
        return class_expression(argument, params);
    });
    return replace_method_calls(kept, "IsSolid",
                                [](const std::string&) { return std::string("0"); });
}

TransformInstance instantiate_transform(const FormulaEntry& transform, bool wide) {
    FormulaTranslator translator = entry_translator(transform, wide);
    translator.wide_temp_prefix = "_wt";
    declare_variable(translator, "z", ValueType::complex);
    std::string global = substitute_enum_labels(transform.global, transform.param_decls);
    global = drop_object_setup(rewrite_class_calls(global, transform.params));
    std::string code = substitute_enum_labels(transform.transform, transform.param_decls);
    code = rewrite_class_calls(code, transform.params);
    translator.infer_types(global);
    translator.infer_types(code);
    TransformInstance instance;
    instance.global_code = translator.translate_section(global);
    instance.transform_code = translator.translate_section(code);
    instance.wide_blocker = translator.wide_blocker;
    return instance;
}

}  // namespace spirelle
