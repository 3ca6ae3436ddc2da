// Function calls. A call becomes, first match wins: the function that a
// function parameter selects, a special form written inline (real, imag,
// sqr, cabs, atan2, oldz), an fl_ color function, a color component, a math
// function of the kernel prelude chosen by the argument's type ("sin" of a
// real is the built-in sin, of a complex the prelude's csin), or a user
// function. A name that nothing knows is emitted as written with its real
// arguments promoted, and the kernel build reports it.
#include <algorithm>
#include <array>

#include "formula/translator.h"
#include "formula/translator_internal.h"
#include "scene/text.h"

namespace spirelle {

namespace {

struct MathFunction {
    std::string_view name;
    std::string_view real_form;     // empty: none
    std::string_view complex_form;  // empty: none
};

constexpr std::array<MathFunction, 31> kMathFunctions = {{
    {"sin", "sin", "csin"},       {"cos", "cos", "ccos"},
    {"tan", "tan", "ctan"},       {"sinh", "sinh", "csinh"},
    {"cosh", "cosh", "ccosh"},    {"tanh", "tanh", "ctanh"},
    {"asin", "asin", "casin"},    {"acos", "acos", "cacos"},
    {"atan", "atan", "catan"},    {"asinh", "asinh", "casinh"},
    {"acosh", "acosh", "cacosh"}, {"atanh", "atanh", "catanh"},
    {"sqrt", "sqrt", "csqrt"},    {"log", "log", "clog"},
    {"exp", "exp", "cexp"},       {"abs", "fabs", "cabs_fl"},  // component-wise for a complex
    {"floor", "floor", "cfloor"}, {"ceil", "ceil", "cceil"},
    {"trunc", "trunc", "ctrunc"}, {"round", "round", "cround"},
    {"cotan", "", "ccotan"},      {"cotanh", "", "ccotanh"},
    {"conj", "", "cconj"},        {"flip", "", "cflip"},
    {"recip", "", "crecip"},      {"ident", "", "cident"},
    {"sqr", "", "csqr"},          {"cabs", "", "ccabs_fl"},  // the magnitude as a complex number
    {"zero", "rzero", "czero"},   {"isinf", "isinf", ""},
    {"isnan", "isnan", ""},
}};

// Argument signatures: "s" a scalar, "c" a color.
struct ColorFunction {
    std::string_view name;
    std::string_view signature;
};

constexpr std::array<ColorFunction, 8> kColorFunctions = {{
    {"rgb", "sss"},
    {"rgba", "ssss"},
    {"hsl", "sss"},
    {"hsla", "ssss"},
    {"gradient", "s"},
    {"compose", "ccs"},
    {"blend", "ccs"},
    {"normal", "cc"},
}};

constexpr std::array<std::string_view, 7> kColorComponents = {"red", "green", "blue", "alpha",
                                                              "hue", "sat",   "lum"};

const MathFunction* find_math_function(std::string_view name) {
    for (const MathFunction& function : kMathFunctions) {
        if (function.name == name) return &function;
    }
    return nullptr;
}

const ColorFunction* find_color_function(std::string_view name) {
    for (const ColorFunction& function : kColorFunctions) {
        if (function.name == name) return &function;
    }
    return nullptr;
}

std::string join(const std::vector<std::string>& parts) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? ", " : "") + parts[i];
    return joined;
}

// fl_rgb(r, g, b) and friends; a complex value given for a scalar counts
// with its real part.
TypedText color_call(const ColorFunction& function, const std::vector<TypedText>& args) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool scalar = function.signature[i] == 's';
        texts.push_back(scalar && is_complex(args[i]) ? "(" + args[i].text + ").x" : args[i].text);
    }
    return {"fl_" + std::string(function.name) + "(" + join(texts) + ")", ValueType::color};
}

}  // namespace

bool is_math_function(std::string_view name) { return find_math_function(name) != nullptr; }

TypedText FormulaTranslator::translate_call(const std::string& name,
                                            const std::vector<TypedText>& args) {
    std::string key = !name.empty() && name.front() == '@' ? name.substr(1) : name;
    if (auto selected = func_params.find(key); selected != func_params.end()) {
        return emit_math_call(selected->second, args);
    }
    if (!args.empty()) {
        if (std::optional<TypedText> special = special_form(name, args)) return *special;
        const ColorFunction* color = find_color_function(name);
        if (color && color->signature.size() == args.size()) {
            TypedText result = color_call(*color, args);
            return wide ? wide_color_call(std::move(result), name, args) : result;
        }
        if (args.size() == 1) {
            bool component = std::find(kColorComponents.begin(), kColorComponents.end(), name) !=
                             kColorComponents.end();
            if (component && args[0].type == ValueType::color) {
                TypedText result{"fl_" + name + "(" + args[0].text + ")", ValueType::real};
                return wide ? wide_color_call(std::move(result), name, args) : result;
            }
            if (find_math_function(name)) return emit_math_call(name, args);
        }
    }
    return user_call(name, args);
}

// The forms written inline rather than as a prelude call.
std::optional<TypedText> FormulaTranslator::special_form(const std::string& name,
                                                         const std::vector<TypedText>& args) {
    std::optional<TypedText> result = canonical_special_form(name, args);
    if (result && wide) return wide_special_form(std::move(*result), name, args);
    return result;
}

std::optional<TypedText> FormulaTranslator::canonical_special_form(
    const std::string& name, const std::vector<TypedText>& args) {
    const TypedText& a = args[0];
    if (name == "real")
        return TypedText{is_complex(a) ? "(" + a.text + ").x" : a.text, ValueType::real};
    if (name == "imag")
        return TypedText{is_complex(a) ? "(" + a.text + ").y" : "0.0", ValueType::real};
    if (name == "sqr") {
        if (is_complex(a)) return TypedText{"csqr(" + a.text + ")", ValueType::complex};
        if (too_long_to_repeat(a)) return TypedText{};
        return TypedText{"((" + a.text + ") * (" + a.text + "))", a.type};
    }
    if (name == "cabs") return TypedText{"length(" + a.text + ")", ValueType::real};
    if (name == "atan2") {
        if (args.size() >= 2) {
            return TypedText{"atan2(" + a.text + ", " + args[1].text + ")", ValueType::real};
        }
        if (!is_complex(a)) return TypedText{"atan2(" + a.text + ", 0.0)", ValueType::real};
        if (too_long_to_repeat(a)) return TypedText{};
        // the argument (angle) of a complex number
        return TypedText{"atan2((" + a.text + ").y, (" + a.text + ").x)", ValueType::real};
    }
    if (name == "oldz") return TypedText{"z", ValueType::complex};
    return std::nullopt;
}

// A user function, class method or unknown name. Arguments are complex
// unless the registered function declares another type at that position.
TypedText FormulaTranslator::user_call(const std::string& name,
                                       const std::vector<TypedText>& args) {
    auto registered = user_funcs.find(name);
    const UserFunctionSignature* signature =
        registered == user_funcs.end() ? nullptr : &registered->second;
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool declared_not_complex = signature && i < signature->param_types.size() &&
                                    signature->param_types[i] != ValueType::complex;
        bool keep = is_complex(args[i]) || declared_not_complex;
        texts.push_back(keep ? args[i].text : promote(args[i].text));
    }
    std::string kernel_name = signature ? signature->kernel_name : name;
    TypedText result{kernel_name + "(" + join(texts) + ")",
                     signature ? signature->return_type : ValueType::complex};
    return wide ? wide_user_call(std::move(result), name, args) : result;
}

// The shared rule of table functions and function parameters: only the first
// argument counts, and its type picks the real or the complex form.
TypedText FormulaTranslator::emit_math_call(const std::string& function,
                                            const std::vector<TypedText>& args) {
    TypedText result = canonical_math_call(function, args);
    return wide ? wide_math_call(std::move(result), function, args) : result;
}

TypedText FormulaTranslator::canonical_math_call(const std::string& function,
                                                 const std::vector<TypedText>& args) {
    if (args.empty()) return {"(real2_t)(0.0, 0.0)", ValueType::complex};
    const TypedText& a = args[0];
    if (args.size() == 2 && a.type == ValueType::color && args[1].type == ValueType::color) {
        return {"fl_normal(" + a.text + ", " + args[1].text + ")", ValueType::color};
    }
    const MathFunction* entry = find_math_function(to_lower(function));
    if (!entry)
        return {function + "(" + (is_complex(a) ? a.text : promote(a.text)) + ")",
                ValueType::complex};

    std::string real_form(entry->real_form);
    std::string complex_form(entry->complex_form);
    if (complex_form.empty() && (is_complex(a) || a.type == ValueType::color)) {
        // isinf and isnan of a vector: true when any component is
        return {"any(" + real_form + "(" + a.text + "))", ValueType::real};
    }
    if (is_complex(a)) return {complex_form + "(" + a.text + ")", ValueType::complex};
    if (!real_form.empty() && (a.type == ValueType::real || complex_form.empty())) {
        return {real_form + "((real_t)(" + a.text + "))", ValueType::real};
    }
    return {complex_form + "((real2_t)(" + a.text + ", 0.0))", ValueType::complex};
}

}  // namespace spirelle
