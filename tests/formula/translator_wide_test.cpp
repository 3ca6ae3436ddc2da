// The wide form of the translation: lane texts that keep the canonical
// expression shape component by component (the compiler fuses a product and
// a sum only within one expression, and every lane must round as the
// canonical form rounds), masked statements, and the constructs that keep a
// program scalar.
#include <gtest/gtest.h>

#include "formula/translator.h"
#include "translator_support.h"

namespace spirelle {
namespace {

using testing::typed_translator;

FormulaTranslator wide_translator() {
    FormulaTranslator translator = typed_translator();
    translator.wide = true;
    translator.integer_vars.insert("n");
    translator.declared_vars.insert("n");
    translator.var_types["n"] = ValueType::real;
    translator.param_map["@power"] = {"2.0", ValueType::real};
    translator.param_map["@seed"] = {"(real2_t)((real_t)0.3, (real_t)-0.1)", ValueType::complex};
    translator.array_vars["v"] = ValueType::real;
    translator.declared_vars.insert("v");
    translator.var_types["v"] = ValueType::real;
    return translator;
}

TEST(WideExpressions, KeepTheCanonicalShapeInEveryComponent) {
    struct Case {
        const char* shows;
        const char* formula;
        Lanes lanes;
        std::vector<std::string> parts;
        const char* setup;  // temporaries written before the statement
    };
    const Case cases[] = {
        {"a complex sum with a scaled term fuses per component",
         "z * 2 + c",
         Lanes::varying,
         {"z.x * 2 + _c_writable.x", "z.y * 2 + _c_writable.y"},
         ""},
        {"a product of complex values is a call",
         "z*z + c",
         Lanes::varying,
         {"_w1.x + _c_writable.x", "_w1.y + _c_writable.y"},
         "    real2v_t _w1 = cmul_v(z, z);\n"},
        {"a promoted real product stays apart from the sum",
         "x * y + w",
         Lanes::varying,
         {"_w1 + w.x", "0.0 + w.y"},
         "    realv_t _w1 = x * y;\n"},
        {"a real part stays apart too",
         "real(w * 2) + x",
         Lanes::varying,
         {"_w1 + x"},
         "    realv_t _w1 = w.x * 2;\n"},
        {"a constant keeps its scalar text", "x + 1 / 2", Lanes::varying, {"x + 1 / 2"}, ""},
        {"integers stay integers, division never traps",
         "n / 2 + 1",
         Lanes::integers,
         {"idiv_v(n, (intv_t)(2)) + 1"},
         ""},
        {"an integer beside a real becomes real",
         "n * 0.5",
         Lanes::varying,
         {"to_real_v(n) * 0.5"},
         ""},
        {"comparisons are masks and logic combines them bit by bit",
         "x < 1 && |w| > y",
         Lanes::mask,
         {"((x < 1) & (norm2_v(w) > y))"},
         ""},
        {"a complex equality compares both components",
         "w == 0",
         Lanes::mask,
         {"((w.x == 0) & (w.y == 0.0))"},
         ""},
        {"functions whose vector form rounds otherwise run lane by lane",
         "exp(x) + sin(x)",
         Lanes::varying,
         {"exp_v(x) + sin_v(x)"},
         ""},
        {"a constant exponent takes the uniform complex power",
         "w^@power",
         Lanes::varying,
         {"_w1.x", "_w1.y"},
         "    real2v_t _w1 = cpow_uv(w, (real2_t)(2.0, 0.0));\n"},
        {"a parameter is a constant", "@seed", Lanes::uniform, {}, ""},
        {"an array element of a lane's own index is gathered",
         "v[x] * 2",
         Lanes::varying,
         {"gather_v(v, (int)(sizeof(v) / sizeof(v[0])), to_int_v(x)) * 2"},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        FormulaTranslator translator = wide_translator();
        translator.set_tokens(tokenize(c.formula));
        TypedText result = translator.translate_expression();
        EXPECT_EQ(result.lanes, c.lanes);
        EXPECT_EQ(result.parts, c.parts);
        EXPECT_EQ(translator.take_wide_setup(), c.setup);
        EXPECT_EQ(translator.wide_blocker, "");
    }
}

TEST(WideExpressions, TypesAreThoseOfTheCanonicalForm) {
    const char* sections[][3] = {
        {"k = 0\nfloat f = z", "if |z| > 2\n  w = z * f\nelse\n  w = k\nendif\nz = z*z + w",
         "|z| < 4"},
        {"color tint = rgb(1, 0, 0)", "m = tint * 0.5\nh = hue(m)\nz = z^2 + h", "z != 0"},
        {"int i = 0", "while i < 3\n  i = i + 1\n  q = (i, 1)\nendwhile\nz = z + q", ""},
    };
    for (const auto& [init, loop, bailout] : sections) {
        SCOPED_TRACE(loop);
        FormulaTranslator canonical, wide;
        wide.wide = true;
        for (FormulaTranslator* translator : {&canonical, &wide}) {
            for (const char* section : {init, loop, bailout}) translator->infer_types(section);
            translator->translate_section(init);
            translator->translate_section(loop);
        }
        EXPECT_EQ(wide.var_types, canonical.var_types);
        EXPECT_EQ(wide.declared_vars, canonical.declared_vars);
        EXPECT_EQ(wide.wide_blocker, "");
    }
}

TEST(WideStatements, AssignOnlyInTheLanesOfTheirMask) {
    struct Case {
        const char* shows;
        const char* section;
        const char* kernel;
    };
    const Case cases[] = {
        {"a declaration is a zero and a masked store", "x2 = 1",
         "    realv_t x2 = (realv_t)0.0;\n    x2 = blend_v(x2, (realv_t)(1), _m0);\n"},
        {"if / else: the branch lanes and the lanes left over; a variable first set in a "
         "branch starts as a zero in the section's lanes",
         "if x < 1\n  y = 2\nelse\n  y = 3\nendif",
         "    realv_t y = (realv_t)0.0;\n    y = blend_v(y, (realv_t)((real_t)0.0), _m0);\n"
         "    {\n    intv_t _e1 = _m0;\n    intv_t _m1 = _e1 & (x < 1);\n    _e1 = _e1 & ~_m1;\n"
         "    if (any(_m1)) {\n    y = blend_v(y, (realv_t)(2), _m1);\n    }\n"
         "    _m1 = _e1;\n    if (any(_m1)) {\n    y = blend_v(y, (realv_t)(3), _m1);\n    }\n"
         "    }\n"},
        {"a while loop runs while any lane does, with the canonical guard",
         "while n < 10\n  n = n + 1\nendwhile",
         "    {\n    int _wg0 = 0;\n    intv_t _m1 = _m0;\n    while (1) {\n"
         "    _m1 = _m1 & (n < 10);\n"
         "    if (!any(_m1) || !(_wg0++ < MAX_FORMULA_LOOP_ITERS)) break;\n"
         "    n = blend_int_v(n, n + 1, _m1);\n    }}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        FormulaTranslator translator = wide_translator();
        EXPECT_EQ(translator.translate_section(c.section), c.kernel);
    }
}

// In the formula's loop section, statements outside loops assign in every
// lane; what outlives the section is listed to be kept lane by lane.
TEST(WideStatements, TheSpeculativeLoopSectionListsWhatItKeeps) {
    FormulaTranslator translator = wide_translator();
    translator.declared_vars.insert("x");
    translator.wide_speculative = true;
    EXPECT_EQ(translator.translate_section("t = x * 2\nz = z * t + c\nx = x + 1"),
              "    realv_t t = (realv_t)0.0;\n    t = x * 2;\n"
              "    z = cplx_v(z.x * t + _c_writable.x, z.y * t + _c_writable.y);\n"
              "    x = x + 1;\n");
    const std::map<std::string, std::string> kept = {{"x", "realv_t"}, {"z", "real2v_t"}};
    EXPECT_EQ(translator.wide_kept, kept);
}

TEST(WideStatements, NameTheConstructsThatKeepAProgramScalar) {
    struct Case {
        const char* section;
        const char* blocker;
    };
    const Case cases[] = {
        {"float v[n]", "an array sized at run time"},
        {"x = 1\nendif", "unbalanced blocks"},
        {"repeat\nx = 1", "repeat without until"},
        {"return z", "return outside a user function"},
        {"z = foo(z)", "an unknown function"},
        {"_m1 = 2", "a variable name the wide program uses itself"},
        {"cplx_v = 2", "a variable name the wide program uses itself"},
        {"z = undefined_name + 1", "an unknown name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.section);
        FormulaTranslator translator = wide_translator();
        translator.infer_types(c.section);
        translator.translate_section(c.section);
        EXPECT_EQ(translator.wide_blocker, c.blocker);
    }
}

}  // namespace
}  // namespace spirelle
