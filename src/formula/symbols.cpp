// Names in formula text: the predefined symbols through which a formula reads
// the renderer's state, formula parameters ("@power", or "power" where no
// variable of that name exists), array elements and plain variables.
//
// The kernel variables named by the table (_pixel, _c_writable, color_index,
// _color_override, ...) are declared by the layer function around the
// translated code.
#include <array>
#include <optional>

#include "formula/translator.h"

namespace spirelle {

namespace {

constexpr ValueType kReal = ValueType::real;
constexpr ValueType kComplex = ValueType::complex;

constexpr std::array<PredefinedSymbol, 34> kPredefinedSymbols = {{
    {"#pixel", "_pixel", kComplex},
    {"pixel", "_pixel", kComplex},
    {"#z", "z", kComplex},
    {"z", "z", kComplex},
    {"c", "_c_writable", kComplex},  // a writable copy of the pixel constant
    {"z_old", "z_old", kComplex},
    {"#index", "color_index", kReal},
    {"#maxiter", "maxiter", kReal},
    {"#maxit", "maxiter", kReal},
    {"maxit", "maxiter", kReal},
    {"maxiter", "maxiter", kReal},
    {"#numiter", "iter", kReal},
    {"#iter", "iter", kReal},
    {"#pi", "(real_t)3.14159265358979323846", kReal},
    {"pi", "(real_t)3.14159265358979323846", kReal},
    {"#e", "(real_t)2.71828182845904523536", kReal},
    {"e", "(real_t)2.71828182845904523536", kReal},
    {"#i", "(real2_t)(0.0, 1.0)", kComplex},
    {"#angle", "_layer_angle", kReal},
    {"#magn", "_layer_magn", kReal},
    {"#screenpixel", "(real2_t)((real_t)gx, (real_t)gy)", kComplex},
    {"#screenx", "(real_t)gx", kReal},
    {"#screeny", "(real_t)gy", kReal},
    {"#screenwidth", "(real_t)width", kReal},
    {"#screenheight", "(real_t)height", kReal},
    {"#solid", "_solid", kReal},
    {"#random", "(real2_t)(0.0, 0.0)", kComplex},  // a constant, not a random number
    {"#x", "(real_t)gx", kReal},
    {"#y", "(real_t)gy", kReal},
    {"#width", "width", kReal},
    {"#height", "height", kReal},
    {"#center", "(real2_t)(center_re, center_im)", kComplex},
    {"#color", "_color_override", ValueType::color},
    {"#randomrange", "(real_t)2147483647.0", kReal},
}};

}  // namespace

const PredefinedSymbol* lookup_predefined(std::string_view name) {
    for (const PredefinedSymbol& symbol : kPredefinedSymbols) {
        if (symbol.name == name) return &symbol;
    }
    return nullptr;
}

ValueType FormulaTranslator::variable_type(const std::string& name) const {
    if (auto entry = var_types.find(name); entry != var_types.end()) return entry->second;
    if (const PredefinedSymbol* symbol = lookup_predefined(name)) return symbol->type;
    if (auto param = param_map.find("@" + name); param != param_map.end()) {
        return param->second.type;
    }
    return ValueType::unknown;
}

// name = "true" | "false" | predefined | parameter | identifier [ "[" or-expr "]" ]
//
// A variable declared with a type keyword shadows the predefined symbol of
// the same name; a parameter may be written without "@" as long as no
// variable or array of that name exists and it is not being assigned.
TypedText FormulaTranslator::resolve_name(const std::string& name) {
    std::optional<TypedText> element;  // the index of an array element
    TypedText result = [&]() -> TypedText {
        if (name.empty()) return {};
        if (name == "true") return {"1", ValueType::real};
        if (name == "false") return {"0", ValueType::real};
        if (!typed_decls.count(name) && !declared_vars.count(name)) {
            if (const PredefinedSymbol* symbol = lookup_predefined(name)) {
                return {std::string(symbol->text), symbol->type};
            }
        }
        if (name.front() == '@') {
            auto param = param_map.find(name);
            return param == param_map.end() ? TypedText{"0.0", ValueType::real} : param->second;
        }
        if (name.front() != '#' && !declared_vars.count(name) && !assign_targets.count(name) &&
            !array_vars.count(name)) {
            if (auto param = param_map.find("@" + name); param != param_map.end()) {
                return param->second;
            }
        }
        if (current().kind == TokenKind::lbracket) {
            advance();
            element = or_expr();
            std::string index = element->text;
            if (current().kind == TokenKind::rbracket) advance();
            auto array = array_vars.find(name);
            return {name + "[(int)(" + index + ")]",
                    array == array_vars.end() ? ValueType::real : array->second};
        }
        return {name, variable_type(name)};
    }();
    return wide ? wide_name(std::move(result), name, element ? &*element : nullptr) : result;
}

}  // namespace spirelle
