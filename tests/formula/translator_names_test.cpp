#include <gtest/gtest.h>

#include "translator_support.h"

namespace spirelle {
namespace {

using namespace spirelle::testing;

// A translator with the parameters @power (real), @seed (complex) and the
// complex array arr.
FormulaTranslator translator_with_parameters() {
    FormulaTranslator translator = typed_translator();
    translator.param_map["@power"] = {"2.0", R};
    translator.param_map["@seed"] = {"(real2_t)((real_t)0.3, (real_t)-0.1)", C};
    translator.array_vars["arr"] = C;
    return translator;
}

TEST(NameResolution, Table) {
    expect_translations(
        {
            {"pixel with hash", "#pixel", "_pixel", C},
            {"pixel without hash", "pixel", "_pixel", C},
            {"case does not matter", "#PIXEL", "_pixel", C},
            {"hash z", "#z", "z", C},
            {"c is the writable pixel constant", "c", "_c_writable", C},
            {"pi", "pi", "(real_t)3.14159265358979323846", R},
            {"iteration count", "#numiter", "iter", R},
            {"color override", "#color", "_color_override", K},
            {"random is a constant", "#random", "(real2_t)(0.0, 0.0)", C},
            {"screen pixel", "#screenpixel", "(real2_t)((real_t)gx, (real_t)gy)", C},
            {"true", "true", "1", R},
            {"false", "False", "0", R},
            {"parameter with at", "@power", "2.0", R},
            {"parameter without at", "power", "2.0", R},
            {"complex parameter", "@seed", "(real2_t)((real_t)0.3, (real_t)-0.1)", C},
            {"undeclared parameter", "@unknownparam", "0.0", R},
            {"array element", "a[i + 1]", "a[(int)(i + 1)]", R},
            {"complex array element", "arr[2]", "arr[(int)(2)]", C},
            {"array without closing bracket", "arr[2", "arr[(int)(2)]", C},
            {"unknown hash name passes through", "#foo", "#foo", ValueType::unknown},
            {"variable", "w", "w", C},
        },
        translator_with_parameters);
}

TEST(NameResolution, DeclarationsShadowPredefinedNamesAndParameters) {
    FormulaTranslator translator = translator_with_parameters();
    translator.typed_decls = {"c", "pi"};
    translator.var_types["pi"] = R;
    translator.declared_vars = {"power"};
    translator.var_types["power"] = C;
    EXPECT_EQ(translate(translator, "c").text, "c");
    EXPECT_EQ(translate(translator, "pi").text, "pi");
    EXPECT_EQ(translate(translator, "power"), (TypedText{"power", C}));
    EXPECT_EQ(translate(translator, "@power").text, "2.0") << "the at form stays the parameter";

    translator.declared_vars.clear();
    translator.assign_targets = {"power"};
    EXPECT_EQ(translate(translator, "power").text, "power") << "an assignment target";
}

TEST(NameResolution, VariableTypeOrder) {
    FormulaTranslator translator = translator_with_parameters();
    EXPECT_EQ(translator.variable_type("w"), C) << "variable";
    EXPECT_EQ(translator.variable_type("#index"), R) << "predefined";
    EXPECT_EQ(translator.variable_type("seed"), C) << "parameter";
    EXPECT_EQ(translator.variable_type("nothing"), ValueType::unknown);
    translator.var_types["seed"] = R;
    EXPECT_EQ(translator.variable_type("seed"), R) << "variable before parameter";
}

TEST(NameResolution, PredefinedTableLookup) {
    ASSERT_NE(lookup_predefined("#randomrange"), nullptr);
    EXPECT_EQ(lookup_predefined("#randomrange")->text, "(real_t)2147483647.0");
    EXPECT_EQ(lookup_predefined("#PIXEL"), nullptr) << "keys are lower case";
    EXPECT_EQ(lookup_predefined("iter"), nullptr);
}

// fn1 selects cabs, fn2 sin, fn3 a name outside the table; f is a user
// function f(complex, float) returning a real.
FormulaTranslator translator_with_functions() {
    FormulaTranslator translator = typed_translator();
    translator.func_params = {{"fn1", "cabs"}, {"fn2", "sin"}, {"fn3", "foo"}, {"fn4", "SQRT"}};
    translator.user_funcs["f"] = {"L0_f", {C, R}, R};
    return translator;
}

TEST(FunctionCalls, Table) {
    expect_translations(
        {
            {"real sin", "sin(x)", "sin((real_t)(x))", R},
            {"complex sin", "sin(z)", "csin(z)", C},
            {"complex-only function of a real", "conj(x)", "cconj((real2_t)(x, 0.0))", C},
            {"component-wise abs", "abs(z)", "cabs_fl(z)", C},
            {"real abs", "abs(x)", "fabs((real_t)(x))", R},
            {"zero of a real", "zero(x)", "rzero((real_t)(x))", R},
            {"math function of a color", "sin(col)", "csin((real2_t)(col, 0.0))", C},
            {"function parameter with at", "@fn1(z)", "ccabs_fl(z)", C},
            {"function parameter without at", "fn1(z)", "ccabs_fl(z)", C},
            {"function parameter of a real", "@fn2(x)", "sin((real_t)(x))", R},
            {"function parameter outside the table", "@fn3(x)", "foo((real2_t)(x, 0.0))", C},
            {"function parameter name in capitals", "@fn4(z)", "csqrt(z)", C},
            {"function parameter without arguments", "@fn2()", "(real2_t)(0.0, 0.0)", C},
            {"function parameter on two colors", "@fn2(col, col)", "fl_normal(col, col)", K},
            {"real part", "real(z)", "(z).x", R},
            {"real of a real", "real(x)", "x", R},
            {"imaginary part", "imag(z)", "(z).y", R},
            {"imaginary part of a real", "imag(x)", "0.0", R},
            {"square of a real", "sqr(x)", "((x) * (x))", R},
            {"square of a complex", "sqr(z)", "csqr(z)", C},
            {"magnitude", "cabs(z)", "length(z)", R},
            {"argument of a complex", "atan2(z)", "atan2((z).y, (z).x)", R},
            {"atan2 of a real", "atan2(x)", "atan2(x, 0.0)", R},
            {"atan2 of two", "atan2(y, x)", "atan2(y, x)", R},
            {"oldz ignores its arguments", "oldz(1)", "z", C},
            {"rgb", "rgb(1, 0, 0)", "fl_rgb(1, 0, 0)", K},
            {"complex scalar takes the real part", "rgb(z, 0, 0)", "fl_rgb((z).x, 0, 0)", K},
            {"color arguments pass", "blend(col, col, z)", "fl_blend(col, col, (z).x)", K},
            {"wrong argument count is no color call", "rgb(1, 0)",
             "rgb((real2_t)(1, 0.0), (real2_t)(0, 0.0))", C},
            {"component of a color", "red(col)", "fl_red(col)", R},
            {"component of a real is a user call", "red(x)", "red((real2_t)(x, 0.0))", C},
            {"two arguments are no table call", "exp(z, 2)", "exp(z, (real2_t)(2, 0.0))", C},
            {"user function keeps declared real", "f(x, x)", "L0_f((real2_t)(x, 0.0), x)", R},
            {"user function surplus argument promoted", "f(z, x, x)",
             "L0_f(z, x, (real2_t)(x, 0.0))", R},
            {"unknown function without arguments", "g()", "g()", C},
            {"table name without arguments", "sin()", "sin()", C},
            {"isinf of a real", "isinf(x)", "isinf((real_t)(x))", R},
            {"isinf of a complex tests every component", "isinf(z)", "any(isinf(z))", R},
            {"isnan of a color tests every component", "isnan(col)", "any(isnan(col))", R},
            {"nested calls", "sin(cos(z) + 1)", "csin(ccos(z) + (real2_t)(1, 0.0))", C},
        },
        translator_with_functions);
}

}  // namespace
}  // namespace spirelle
