#include "kernelgen/instantiate.h"

#include <gtest/gtest.h>

#include "kernelgen/safe_text.h"
#include "scenes.h"

namespace spirelle {
namespace {

struct ParamCase {
    const char* name;
    std::string value;
    std::string text;
    ValueType type;
};

TEST(BuildParamMap, TurnsValuesIntoCheckedKernelTexts) {
    const ParamCase cases[] = {
        {"whole number becomes floating", "2", "2.0", ValueType::real},
        {"decimal stays", "2.5", "2.5", ValueType::real},
        {"exponent stays", "1e3", "1e3", ValueType::real},
        {"leading point stays", "-.5", "-.5", ValueType::real},
        {"lone minus", "-", "-.0", ValueType::real},
        {"yes", "Yes", "1", ValueType::real},
        {"false", "false", "0", ValueType::real},
        {"complex pair", "0.3/-0.1", "(real2_t)((real_t)0.3, (real_t)-0.1)", ValueType::complex},
        {"keyframes cut", "0.5@#0L0.7@#160L", "0.5", ValueType::real},
        {"packed color", "4278190080", "4278190080.0", ValueType::real},
        {"blanks around a quoted number stay", " 3 ", " 3 ", ValueType::real},
        {"tab after a number stays", "0.5\t", "0.5\t", ValueType::real},
        {"blanks around junk", " 0.5abc ", "0.0", ValueType::real},
        // Anything that is not a checked literal reads like an undeclared
        // parameter instead of reaching the kernel.
        {"words", "a/b", "0.0", ValueType::real},
        {"plain identifier stays", "Scale_2", "Scale_2", ValueType::real},
        {"empty", "", "0.0", ValueType::real},
        {"trailing junk", "0.5abc", "0.0", ValueType::real},
        {"junk before the slash", "x)/0.5", "0.0", ValueType::real},
        {"junk after the slash's number", "1/0.5;", "0.0", ValueType::real},
        {"line break and include", testing::hostile("1"), "0.0", ValueType::real},
        {"include before the slash", testing::hostile("1", "/2"), "0.0", ValueType::real},
    };
    for (const ParamCase& c : cases) {
        ParamMap map = build_param_map({{"p", c.value}}, {});
        EXPECT_EQ(map["@p"], (TypedText{c.text, c.type})) << c.name;
    }
}

TEST(BuildParamMap, EnumeratedValuesBecomeIndices) {
    const EnumDecls decls = {{"Test", {"mod", "real", "imag"}}};
    const std::pair<std::string, std::string> cases[] = {
        {"Real", "1"}, {"imag", "2"}, {"7", "7"}, {"unknown", "0"}, {testing::hostile("2"), "2"},
    };
    for (const auto& [value, index] : cases) {
        EXPECT_EQ(build_param_map({{"test", value}}, decls)["@test"],
                  (TypedText{index, ValueType::real}))
            << value;
    }
}

TEST(BuildFuncParams, SelectionsArePlainFunctionNames) {
    FormulaEntry entry;
    entry.funcs = {{"fn1", "Sin"}, {"fn2", "cos()"}, {"fn3", testing::hostile("sin")}};
    entry.params = {{"fn4", "tan()"}, {"fn5", testing::hostile("x", "()")}, {"power", "2"}};
    const std::map<std::string, std::string> expected = {
        {"fn1", "sin"}, {"fn2", "cos"}, {"fn3", "ident"}, {"fn4", "tan"}, {"fn5", "ident"}};
    EXPECT_EQ(build_func_params(entry), expected);
}

TEST(SubstituteEnumLabels, QuotedLabelsBecomeIndices) {
    const EnumDecls decls = {{"mode", {"fast", "slow"}}, {"shape", {"disk", "square"}}};
    EXPECT_EQ(substitute_enum_labels("if @mode == \"slow\"", decls), "if @mode == 1");
    EXPECT_EQ(substitute_enum_labels("if x == \"square\"", decls), "if x == 1");
    EXPECT_EQ(substitute_enum_labels("if x == \"Square\"", decls), "if x == \"Square\"");
    EXPECT_EQ(substitute_enum_labels("no quotes", decls), "no quotes");
}

TEST(SelectTestBailout, KeepsTheAlternativeOfTheTestIndex) {
    const std::string both = "(@test == 0 && |z| < @bailout) || (@test == 1 && real(z) < @bailout)";
    const struct {
        const char* name;
        std::string bailout;
        int index;
        std::string expected;
    } cases[] = {
        {"second alternative", both, 1, "real(z) < @bailout"},
        {"first alternative", both, 0, "|z| < @bailout"},
        {"no alternative for the index", both, 2, both},
        {"no test", "|z| < 4", 1, "|z| < 4"},
        {"alternative without a condition", "@test==1 || |z| < 4", 1, "@test==1"},
        {"nested parentheses kept", "((@test == 1 && (a || b)))", 1, "(a || b)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(select_test_bailout(c.bailout, c.index), c.expected) << c.name;
}

TEST(UserFunctions, PrototypesUseKernelTypesAndLayerNames) {
    UserFunction f;
    f.name = "f";
    f.return_type = "complex";
    f.params = {{"complex", "a"}, {"float", "b"}, {"color", "C"}, {"bool", "d"}};
    EXPECT_EQ(user_function_prototype(f, "L0_"),
              "real2_t L0_f(real2_t a, real_t b, real4_t c, int d)");
    f.return_type = "int";
    f.params.clear();
    EXPECT_EQ(user_function_prototype(f, "L3_"), "int L3_f()");
}

TEST(UserFunctions, OnlyPlainNamesReachTheKernel) {
    const Scene scene = testing::hostile_scene();
    const std::vector<UserFunction> kept =
        kernel_user_functions(scene.layers[0].formula.user_functions);
    EXPECT_TRUE(kept.empty());
    UserFunction good;
    good.name = "g";
    good.params = {{"complex", "a"}};
    EXPECT_EQ(kernel_user_functions({good}).size(), 1u);
}

TEST(SafeText, ChecksLiteralsAndComments) {
    for (const char* number : {"1", "-2.0", ".5", "5.", "1e3", "+1E-3", "-.0"}) {
        EXPECT_TRUE(is_decimal_number(number)) << number;
    }
    for (const char* other : {"", "-", ".", "e3", "1e", "1.2.3", "0x10", "inf", "nan", "1 "}) {
        EXPECT_FALSE(is_decimal_number(other)) << other;
    }
    for (const char* name : {"f", "_x1", "Sin"}) EXPECT_TRUE(is_plain_identifier(name)) << name;
    for (const char* other : {"", "1f", "a b", "a\n", "a-b"})
        EXPECT_FALSE(is_plain_identifier(other));
    const std::pair<std::string, std::string> comments[] = {
        {"Shift\n#include <x>\\\r\t!", "Shift#include <x>!"},
        {"Shift?\?/", "Shift?/"},
        {"What? Why???", "What? Why?"},
    };
    for (const auto& [text, expected] : comments) EXPECT_EQ(comment_text(text), expected) << text;
}

}  // namespace
}  // namespace spirelle
