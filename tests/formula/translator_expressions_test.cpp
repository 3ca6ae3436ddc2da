#include <gtest/gtest.h>

#include "translator_support.h"

namespace spirelle {
namespace {

using namespace spirelle::testing;

TEST(ExpressionTranslation, Additive) {
    expect_translations({
        {"complex plus complex", "z*z + c", "cmul(z, z) + _c_writable", C},
        {"real plus complex promotes the left", "x + z", "(real2_t)(x, 0.0) + z", C},
        {"complex minus real promotes the right", "z - x", "z - (real2_t)(x, 0.0)", C},
        {"color plus complex", "col + z", "col + z", C},
        {"color plus real stays a color", "col + x", "col + x", ValueType::color},
        {"colors", "col - col", "col - col", ValueType::color},
        {"reals", "x - y + 1", "x - y + 1", R},
        {"left associative promotion", "1 + 2 + z", "(real2_t)(1 + 2, 0.0) + z", C},
        {"missing operand", "a +", "a + ", R},
    });
}

TEST(ExpressionTranslation, Multiplicative) {
    expect_translations({
        {"real times complex puts the complex first", "2*z", "z * 2", C},
        {"complex over real", "z/2", "z / 2", C},
        {"real over complex", "1/z", "cdiv((real2_t)(1, 0.0), z)", C},
        {"complex over complex", "z/w", "cdiv(z, w)", C},
        {"complex times real", "w * x", "w * x", C},
        {"integer division stays integer", "1/2", "1 / 2", R},
        {"real literal division", "1.0/2", "1.0 / 2", R},
        {"scaled color stays a color", "2 * col", "2 * col", ValueType::color},
        {"modulus of reals", "x % 3", "fmod((real_t)(x), (real_t)(3))", R},
        {"modulus takes real parts", "z % w", "fmod((real_t)((z).x), (real_t)((w).x))", R},
        {"chain", "z*z*z", "cmul(cmul(z, z), z)", C},
    });
}

TEST(ExpressionTranslation, PowerAndUnary) {
    expect_translations({
        {"complex power promotes the exponent", "z^2", "cpow(z, (real2_t)(2, 0.0))", C},
        {"real power", "x^2", "pow((real_t)(x), (real_t)(2))", R},
        {"minus belongs to the base", "-x^2", "pow((real_t)((- x)), (real_t)(2))", R},
        {"minus of a complex base", "-z^2", "cpow((- z), (real2_t)(2, 0.0))", C},
        {"signed exponent", "2^-1", "pow((real_t)(2), (real_t)((- 1)))", R},
        {"right associative", "2^3^2", "pow((real_t)(2), (real_t)(pow((real_t)(3), (real_t)(2))))",
         R},
        {"real base with complex exponent", "x^z", "cpow((real2_t)(x, 0.0), z)", C},
        {"modulus raised", "|z|^2", "pow((real_t)(dot(z, z)), (real_t)(2))", R},
        {"negation keeps the type", "-z", "(- z)", C},
        {"not", "!done", "(!(done))", R},
        {"not binds tighter than a comparison", "!x == y", "(!(x)) == y", R},
        {"not is the base of a power", "!x^2", "pow((real_t)((!(x))), (real_t)(2))", R},
        {"complex exponent of an exponent", "x^2^z",
         "cpow((real2_t)(x, 0.0), cpow((real2_t)(2, 0.0), z))", C},
    });
}

TEST(ExpressionTranslation, Comparisons) {
    expect_translations({
        {"complex equality compares all components", "z == 0", "all(z == (real2_t)(0, 0.0))", R},
        {"complex inequality compares any component", "z != w", "any(z != w)", R},
        {"ordering takes the real part", "z < 1", "(z).x < 1", R},
        {"ordering with complex right", "x >= z", "x >= (z).x", R},
        {"squared magnitude", "|z| < 4", "dot(z, z) < 4", R},
        {"only one comparison", "a < b < y", "a < b", R},
        {"logical operators", "a < b && d || !g", "a < b && d || (!(g))", R},
        {"logical operators keep complex operands", "z && w", "z && w", R},
        {"complex tests joined", "z == 0 && w != 1",
         "all(z == (real2_t)(0, 0.0)) && any(w != (real2_t)(1, 0.0))", R},
    });
}

TEST(ExpressionTranslation, Primaries) {
    expect_translations({
        {"modulus of a real", "|x|", "fabs(x)", R},
        {"modulus without closing bar", "|z", "dot(z, z)", R},
        {"complex literal", "(1, 2)", "(real2_t)(1, 2)", C},
        {"complex literal with a signed part", "(1, -2)", "(real2_t)(1, (- 2))", C},
        {"modulus of a sum", "|z + 1|", "dot(z + (real2_t)(1, 0.0), z + (real2_t)(1, 0.0))", R},
        {"parentheses keep the type", "(z + 1)", "(z + (real2_t)(1, 0.0))", C},
        {"missing closing parenthesis", "(x", "(x)", R},
        {"imaginary literal", "3i", "(real2_t)(0.0, 3)", C},
        {"imaginary literal with an exponent", "1.5e+3i", "(real2_t)(0.0, 1.5e+3)", C},
        {"ten-digit integer stays", "4278190080", "4278190080", R},
        {"long integer becomes real", "42781900801", "42781900801.0", R},
        {"long exponent number stays", "12345678901e1", "12345678901e1", R},
        {"exponent", "1e10", "1e10", R},
        {"unexpected token", ")", "", U},
        {"empty", "", "", U},
    });
}

TEST(ExpressionTranslation, ConditionAndArraySize) {
    FormulaTranslator translator = typed_translator();
    EXPECT_EQ(translator.translate_condition(" \t\r\n"), "0");
    EXPECT_EQ(translator.translate_condition("|z| > 4 || x"), "dot(z, z) > 4 || x");

    translator.set_tokens(tokenize("a + b"));
    translator.advance();
    EXPECT_EQ(translator.translate_array_size("n * 2 < 3"), "n * 2");
    EXPECT_EQ(translator.current().text, "+") << "position is kept";
}

struct AssignmentCase {
    const char* name;
    const char* formula;
    const char* kernel;
    ValueType type;
    ValueType recorded;  // var_types entry of the target afterwards
};

TEST(ExpressionTranslation, Assignments) {
    const AssignmentCase cases[] = {
        {"real into implicit complex is promoted", "w = 0.5", "w = (real2_t)(0.5, 0.0)", C, C},
        {"packed color is unpacked", "col = 4278190080", "col = fl_unpack_color(4278190080)",
         ValueType::color, ValueType::color},
        {"packed color that a float rounds is unpacked exactly", "col = 4279383126",
         "col = (real4_t)(86, 52, 18, 255) * ((real_t)1 / (real_t)255)", ValueType::color,
         ValueType::color},
        {"parameter text of such a color is unpacked exactly", "col = 4279383126.0",
         "col = (real4_t)(86, 52, 18, 255) * ((real_t)1 / (real_t)255)", ValueType::color,
         ValueType::color},
        {"just above float's whole numbers", "col = 16777217",
         "col = (real4_t)(1, 0, 0, 1) * ((real_t)1 / (real_t)255)", ValueType::color,
         ValueType::color},
        {"fraction stays with the unpacking function", "col = 4279383126.5",
         "col = fl_unpack_color(4279383126.5)", ValueType::color, ValueType::color},
        {"beyond 32 bits stays with the unpacking function", "col = 4294967297",
         "col = fl_unpack_color(4294967297)", ValueType::color, ValueType::color},
        {"complex into typed real takes the real part", "f = z", "f = (z).x", R, R},
        {"real into typed complex stays bare", "q = 1", "q = 1", C, C},
        {"new variable takes the value type", "v = z", "v = z", C, C},
        {"real variable widens to complex", "x = z", "x = z", C, C},
        {"unknown value records real", "u = nothing", "u = nothing", R, R},
    };
    for (const AssignmentCase& c : cases) {
        FormulaTranslator translator = typed_translator();
        translator.var_types["f"] = R;
        translator.var_types["q"] = C;
        translator.typed_decls = {"f", "q"};
        translator.set_tokens(tokenize(c.formula));
        TypedText result = translator.translate_assignment();
        EXPECT_TRUE(translator.last_was_assignment) << c.name;
        EXPECT_EQ(result.text, c.kernel) << c.name;
        EXPECT_EQ(result.type, c.type) << c.name;
        std::string target = std::string(c.formula).substr(0, std::string(c.formula).find(' '));
        EXPECT_EQ(translator.var_types[target], c.recorded) << c.name;
    }
}

TEST(ExpressionTranslation, ComparisonIsNoAssignment) {
    FormulaTranslator translator = typed_translator();
    translator.set_tokens(tokenize("x == 1"));
    EXPECT_EQ(translator.translate_assignment().text, "x == 1");
    EXPECT_FALSE(translator.last_was_assignment);
}

TEST(ExpressionTranslation, DeepNestingIsCutOff) {
    FormulaTranslator translator = typed_translator();
    std::string deep = std::string(100000, '(') + "x" + std::string(100000, ')');
    TypedText result = translate(translator, deep);
    EXPECT_LT(result.text.size(), 1000u);
    // the signs beyond the cut-off are read as binary minus: linear output
    std::string signs(100000, '-');
    EXPECT_LT(translate(translator, signs + "x").text.size(), 10 * signs.size());
    // a long chain of powers nests to the right, one level per exponent
    std::string powers = "x";
    for (int i = 0; i < 100000; ++i) powers += "^x";
    EXPECT_LT(translate(translator, powers).text.size(), 10000u);
}

TEST(ExpressionTranslation, RepeatedOperandsStayBounded) {
    // every sqr and modulus level would double the text
    FormulaTranslator translator = typed_translator();
    std::string nested = "x";
    for (int i = 0; i < 60; ++i) nested = "sqr(|atan2(" + nested + ")|)";
    EXPECT_LT(translate(translator, nested).text.size(), 1u << 20);
}

}  // namespace
}  // namespace spirelle
