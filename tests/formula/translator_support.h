// Shared set-up of the translator tests: a translator with a few variables
// of each type, and one-call translation of expressions.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formula/translator.h"

namespace spirelle::testing {

// x, y, a, b are real, w is complex and col a color; z and c are complex
// from the start.
inline FormulaTranslator typed_translator() {
    FormulaTranslator translator;
    for (const char* name : {"x", "y", "a", "b"}) translator.var_types[name] = ValueType::real;
    translator.var_types["w"] = ValueType::complex;
    translator.var_types["col"] = ValueType::color;
    return translator;
}

inline TypedText translate(FormulaTranslator& translator, const std::string& expression) {
    translator.set_tokens(tokenize(expression));
    return translator.translate_expression();
}

constexpr ValueType R = ValueType::real;
constexpr ValueType C = ValueType::complex;
constexpr ValueType K = ValueType::color;
constexpr ValueType U = ValueType::unknown;

// One row of an expression table: formula text, expected kernel text and type.
struct ExpressionCase {
    const char* name;
    const char* formula;
    const char* kernel;
    ValueType type;
};

// Translates every case with a fresh translator from `make`.
inline void expect_translations(const std::vector<ExpressionCase>& cases,
                                const std::function<FormulaTranslator()>& make = typed_translator) {
    for (const ExpressionCase& c : cases) {
        FormulaTranslator translator = make();
        TypedText result = translate(translator, c.formula);
        EXPECT_EQ(result.text, c.kernel) << c.name;
        EXPECT_EQ(result.type, c.type) << c.name;
    }
}

}  // namespace spirelle::testing
