// Formula instantiation. Everything here prepares text for the translator or
// registers names with it; the translator itself emits the statements.
#include "kernelgen/instantiate.h"

#include <cerrno>
#include <cstdlib>

#include "formula/lines.h"
#include "kernelgen/safe_text.h"
#include "scene/text.h"

namespace spirelle {
namespace {

const std::string kKeyframeMarker = "@#";

// The index of the value among the enumerated values (without regard to
// case), else the value read as a decimal integer.
std::string enum_kernel_text(const std::string& value, const std::vector<std::string>& labels) {
    const std::string lower = to_lower(value);
    for (size_t i = 0; i < labels.size(); ++i) {
        if (to_lower(labels[i]) == lower) return std::to_string(i);
    }
    errno = 0;
    long number = std::strtol(value.c_str(), nullptr, 10);
    if (errno == ERANGE) number = 0;
    return std::to_string(number);
}

const std::vector<std::string>* find_decl(const std::string& name, const EnumDecls& decls) {
    for (const auto& [declared, labels] : decls) {
        if (to_lower(declared) == name) return &labels;
    }
    return nullptr;
}

bool reads_as_number(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    std::strtod(begin, &end);
    return end != begin;
}

// A real value: yes/no words, whole numbers made floating, numbers as written.
std::string real_kernel_text(const std::string& text) {
    const std::string lower = to_lower(text);
    if (lower == "yes" || lower == "true") return "1";
    if (lower == "no" || lower == "false") return "0";
    std::string out = text;
    bool whole = out.find_first_of(".eE") == std::string::npos && !out.empty() &&
                 ((out[0] >= '0' && out[0] <= '9') || out[0] == '-') &&
                 out.find_first_not_of("0123456789", 1) == std::string::npos;
    if (whole) out += ".0";
    // A plain identifier is a checked literal too and is kept, so that a
    // value naming something the kernel lacks fails in the build.
    if (is_decimal_number(out) || is_plain_identifier(out)) return out;
    // A quoted value may surround its number with blanks or tabs; they are
    // harmless in the kernel, and dropping the value would change it to 0.
    if (out.find_first_of("\r\n") == std::string::npos && is_decimal_number(trim(out))) return out;
    return "0.0";
}

TypedText param_kernel_text(const std::string& key, std::string text, const EnumDecls& decls) {
    if (text.size() > 1) {
        size_t marker = text.find(kKeyframeMarker);
        if (marker != std::string::npos) text = text.substr(0, marker);
    }
    if (const std::vector<std::string>* labels = find_decl(key, decls)) {
        return {enum_kernel_text(text, *labels), ValueType::real};
    }
    size_t slash = text.find('/');
    if (slash != std::string::npos && reads_as_number(text.substr(slash + 1))) {
        std::string re = trim(text.substr(0, slash));
        std::string im = trim(text.substr(slash + 1));
        if (!is_decimal_number(re) || !is_decimal_number(im)) return {"0.0", ValueType::real};
        return {"(real2_t)((real_t)" + re + ", (real_t)" + im + ")", ValueType::complex};
    }
    return {real_kernel_text(text), ValueType::real};
}

ValueType formula_value_type(const std::string& type) {
    const std::string lower = to_lower(type);
    if (lower == "complex") return ValueType::complex;
    if (lower == "color") return ValueType::color;
    return ValueType::real;
}

std::string kernel_type(const std::string& type) {
    const std::string lower = to_lower(type);
    if (lower == "complex") return "real2_t";
    if (lower == "color") return "real4_t";
    if (lower == "int" || lower == "bool") return "int";
    return "real_t";
}

bool is_integer_type(const std::string& type) {
    const std::string lower = to_lower(type);
    return lower == "int" || lower == "bool";
}

std::string wide_kernel_type(const std::string& type) {
    const std::string lower = to_lower(type);
    if (lower == "complex") return "real2v_t";
    if (lower == "color") return "real4v_t";
    if (is_integer_type(type)) return "intv_t";
    return "realv_t";
}

std::string wide_zero(const std::string& type) {
    const std::string lower = to_lower(type);
    if (lower == "complex") return "cplx_v(0.0, 0.0)";
    if (lower == "color") return "color_v(0.0, 0.0, 0.0, 0.0)";
    if (is_integer_type(type)) return "(intv_t)0";
    return "(realv_t)0.0";
}

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The alternatives of a condition joined by "||" outside parentheses.
std::vector<std::string> top_level_alternatives(const std::string& text) {
    std::vector<std::string> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')') --depth;
        if (depth == 0 && text.compare(i, 2, "||") == 0) {
            parts.push_back(trim(text.substr(start, i - start)));
            start = i + 2;
            ++i;
        }
    }
    parts.push_back(trim(text.substr(start)));
    return parts;
}

// True when the text compares "@test" with the integer `index` ("@test == 1").
bool tests_index(const std::string& text, int index) {
    for (size_t at = text.find("@test"); at != std::string::npos; at = text.find("@test", at + 1)) {
        size_t i = at + 5;
        while (i < text.size() && text[i] == ' ') ++i;
        if (text.compare(i, 2, "==") != 0) continue;
        i += 2;
        while (i < text.size() && text[i] == ' ') ++i;
        size_t digits = i;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
        if (digits == i || digits - i > 9) continue;
        if (std::stoi(text.substr(i, digits - i)) == index) return true;
    }
    return false;
}

// True when the "(" at the start closes at the last character.
bool wrapped_in_parentheses(const std::string& text) {
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0) return i == text.size() - 1;
    }
    return false;
}

void register_parameters(FormulaTranslator& translator, const UserFunction& function) {
    for (const UserFunctionParam& param : function.params) {
        const std::string name = to_lower(param.name);
        translator.declared_vars.insert(name);
        translator.typed_decls.insert(name);
        translator.var_types[name] = formula_value_type(param.type);
        if (is_integer_type(param.type)) translator.integer_vars.insert(name);
    }
}

}  // namespace

ParamMap build_param_map(const std::map<std::string, std::string>& params, const EnumDecls& decls) {
    ParamMap map;
    for (const auto& [name, text] : params) {
        const std::string key = to_lower(name);
        map["@" + key] = param_kernel_text(key, text, decls);
    }
    return map;
}

std::map<std::string, std::string> build_func_params(const FormulaEntry& entry) {
    auto selected_function = [](const std::string& value) {
        std::string name = trim(value);
        if (name.size() >= 2 && name.compare(name.size() - 2, 2, "()") == 0) {
            name = trim(name.substr(0, name.size() - 2));
        }
        name = to_lower(name);
        return is_plain_identifier(name) ? name : std::string("ident");
    };
    std::map<std::string, std::string> funcs;
    // Function-parameter defaults arrive among the parameter values as "name()".
    for (const auto& [name, value] : entry.params) {
        std::string text = trim(value);
        if (text.size() > 2 && text.compare(text.size() - 2, 2, "()") == 0) {
            funcs[to_lower(name)] = selected_function(text);
        }
    }
    for (const auto& [name, value] : entry.funcs) funcs[to_lower(name)] = selected_function(value);
    return funcs;
}

std::string substitute_enum_labels(const std::string& text, const EnumDecls& decls) {
    if (decls.empty() || text.find('"') == std::string::npos) return text;
    std::string out = text;
    for (const auto& [name, labels] : decls) {
        for (size_t i = 0; i < labels.size(); ++i) {
            replace_all(out, "\"" + labels[i] + "\"", std::to_string(i));
        }
    }
    return out;
}

std::string select_test_bailout(const std::string& bailout, int test_index) {
    if (bailout.size() < 5 || bailout.find("@test") == std::string::npos) return bailout;
    for (std::string alternative : top_level_alternatives(bailout)) {
        if (!tests_index(alternative, test_index)) continue;
        while (wrapped_in_parentheses(alternative)) {
            alternative = trim(alternative.substr(1, alternative.size() - 2));
        }
        size_t both = alternative.find("&&");
        return both == std::string::npos ? alternative : trim(alternative.substr(both + 2));
    }
    return bailout;
}

std::vector<UserFunction> kernel_user_functions(const std::vector<UserFunction>& functions) {
    std::vector<UserFunction> safe;
    for (const UserFunction& function : functions) {
        bool plain = is_plain_identifier(function.name);
        for (const UserFunctionParam& param : function.params) {
            plain = plain && is_plain_identifier(param.name);
        }
        if (plain) safe.push_back(function);
    }
    return safe;
}

void declare_user_functions(FormulaTranslator& translator,
                            const std::vector<UserFunction>& functions, const std::string& prefix) {
    for (const UserFunction& function : functions) {
        UserFunctionSignature signature;
        signature.kernel_name = prefix + function.name;
        signature.return_type = formula_value_type(function.return_type);
        signature.integer_result = is_integer_type(function.return_type);
        for (const UserFunctionParam& param : function.params) {
            signature.param_types.push_back(formula_value_type(param.type));
            signature.integer_params.push_back(is_integer_type(param.type));
        }
        translator.user_funcs[function.name] = signature;
    }
}

std::string user_function_prototype(const UserFunction& function, const std::string& prefix,
                                    bool wide) {
    auto type_of = wide ? wide_kernel_type : kernel_type;
    std::string text = type_of(function.return_type) + " " + prefix + function.name + "(";
    if (wide) text += "intv_t _m0";
    for (size_t i = 0; i < function.params.size(); ++i) {
        if (i > 0 || wide) text += ", ";
        // The body reaches the kernel through lower-cased tokens, so the name must match them.
        text += type_of(function.params[i].type) + " " + to_lower(function.params[i].name);
    }
    return text + ")";
}

FormulaInstance instantiate_formula(const Layer& layer, const std::string& prefix, bool wide) {
    const FormulaEntry& formula = layer.formula;
    const ParamMap params = build_param_map(formula.params, formula.param_decls);
    const std::map<std::string, std::string> funcs = build_func_params(formula);
    const std::vector<UserFunction> functions = kernel_user_functions(formula.user_functions);

    FormulaInstance instance;
    auto note_blocker = [&instance](const FormulaTranslator& translator) {
        if (instance.wide_blocker.empty()) instance.wide_blocker = translator.wide_blocker;
    };
    for (const UserFunction& function : functions) {
        FormulaTranslator translator;
        translator.param_map = params;
        translator.func_params = funcs;
        translator.wide = wide;
        declare_user_functions(translator, functions, prefix);
        register_parameters(translator, function);
        instance.prototypes.push_back(user_function_prototype(function, prefix, wide));
        if (!wide) {
            instance.bodies.push_back(translator.translate_section(function.body));
            continue;
        }
        // The result gathers lane by lane as the lanes return.
        translator.wide_result_type = kernel_type(function.return_type) + " ";
        std::string body = translator.translate_section(function.body);
        instance.bodies.push_back("    " + wide_kernel_type(function.return_type) +
                                  " _result = " + wide_zero(function.return_type) + ";\n" + body +
                                  "    return _result;\n");
        note_blocker(translator);
    }

    FormulaTranslator translator;
    translator.param_map = params;
    translator.func_params = funcs;
    translator.bounded_loops = true;
    translator.wide = wide;
    translator.declared_vars.insert("iter");
    translator.var_types["iter"] = ValueType::real;
    translator.integer_vars.insert("iter");
    declare_user_functions(translator, functions, prefix);

    const std::string global = substitute_enum_labels(formula.global, formula.param_decls);
    const std::string init = substitute_enum_labels(formula.init, formula.param_decls);
    const std::string loop = substitute_enum_labels(formula.loop, formula.param_decls);
    const std::string bailout = substitute_enum_labels(
        select_test_bailout(formula.bailout, layer.bailout_test_index), formula.param_decls);
    for (const std::string* section : {&global, &init, &loop, &bailout}) {
        translator.infer_types(*section);
    }
    instance.init_code = translator.translate_section(global);
    instance.init_code += translator.translate_section(init);
    translator.wide_speculative = wide;
    instance.loop_code = translator.translate_section(loop);
    translator.wide_speculative = false;
    instance.kept.assign(translator.wide_kept.begin(), translator.wide_kept.end());
    if (wide) {
        FormulaTranslator::WideCondition condition = translator.translate_wide_condition(bailout);
        instance.bailout = condition.mask;
        instance.bailout_setup = condition.setup;
        note_blocker(translator);
    } else {
        instance.bailout = translator.translate_condition(bailout);
    }
    return instance;
}

}  // namespace spirelle
