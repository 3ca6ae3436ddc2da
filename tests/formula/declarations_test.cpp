#include "formula/declarations.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

const char kTestDecl[] =
    "int param test\n"
    "  caption = \"Bailout test\"\n"
    "  enum = \"mod\" \"real\" \"imag\"\n"
    "endparam\n";

struct Declared {
    ParamDecls decls;
    ParamDefaults defaults;
};

Declared declare(const std::string& text) {
    Declared d;
    parse_default_section(text, d.decls, d.defaults);
    return d;
}

TEST(ParseDefaultSection, EnumeratedParameterDefaultsToItsFirstValue) {
    Declared d = declare(kTestDecl);
    EXPECT_EQ(d.decls["test"], (std::vector<std::string>{"mod", "real", "imag"}));
    EXPECT_EQ(d.defaults["test"], "mod");
}

TEST(ParseDefaultSection, DefaultValues) {
    struct Case {
        const char* what;
        const char* line;
        const char* value;
    };
    const Case cases[] = {
        {"complex pair", "default = (0.5, -1)", "0.5/-1"},
        {"pair without blanks", "default=(1,2)", "1/2"},
        {"parentheses without comma", "default = (3)", "(3)"},
        {"quoted word", "default = \"hello\"", "hello"},
        {"plain number", "default = 3", "3"},
        {"without equals sign", "default 4.5", "4.5"},
        {"one quote stays", "default = \"", "\""},
        {"function", "default = sin()", "sin()"},
    };
    for (const Case& c : cases) {
        Declared d = declare(std::string("float param p\n") + c.line + "\nendparam\n");
        EXPECT_EQ(d.defaults["p"], c.value) << c.what;
    }
}

TEST(ParseDefaultSection, NamesAndScopes) {
    Declared d = declare(
        "int param @maxiter ; x\n  default = 100\n  default = 200\nendparam\n"
        "func fn1\n  default = cos()\nendfunc\n"
        "default = 9\n"  // outside any block: ignored
        "Complex PARAM Seed\n  DEFAULT = (1, 2)\nendparam\n"
        "param shape\n  enum = \"a\" \"b\n"  // unpaired last quote
        "  hint = \"default = 7\"\n"
        "endparam\n"
        "float  param spaced\n  default = 1\nendparam\n"
        "param flag\n  enum = none\nendparam\n");
    EXPECT_EQ(d.defaults["maxiter"], "100") << "first default wins";
    EXPECT_EQ(d.defaults["fn1"], "cos()");
    EXPECT_EQ(d.defaults["Seed"], "1/2") << "keywords ignore case, names keep it";
    EXPECT_EQ(d.decls["shape"], std::vector<std::string>{"a"});
    EXPECT_EQ(d.defaults["shape"], "a");
    EXPECT_EQ(d.defaults.count("spaced"), 0u) << "two blanks after the type: not a declaration";
    EXPECT_EQ(d.decls.count("flag"), 0u) << "an enum line without values declares nothing";
    EXPECT_EQ(d.defaults.size(), 4u);
}

TEST(ParseDefaultSection, ContinuedEnumCollectsEveryLine) {
    Declared d = declare(
        "param mode\n  enum = \"one\" \"two\" \\\n  \"three\" \\\n  \"four\" \"five\"\n"
        "  default = \"three\"\nendparam\n");
    EXPECT_EQ(d.decls["mode"], (std::vector<std::string>{"one", "two", "three", "four", "five"}));
    EXPECT_EQ(d.defaults["mode"], "three");
}

TEST(MergeDefaults, SceneValuesWinAndNamesAreLowerCased) {
    ParamValues values = {{"power", "3"}};
    merge_defaults({{"Power", "2"}, {"Seed", "1/2"}}, values);
    EXPECT_EQ(values, (ParamValues{{"power", "3"}, {"seed", "1/2"}}));
}

TEST(EvaluateStaticCondition, Table) {
    const ParamDecls decls = {{"test", {"mod", "real", "imag"}}};
    struct Case {
        const char* what;
        const char* condition;
        const char* test_value;
        bool decided;
        bool value;
    };
    const Case cases[] = {
        {"index of the value", "@test == 1", "real", true, true},
        {"other index", "@test == 0", "real", true, false},
        {"value compared without case", "@test == 2", "IMAG", true, true},
        {"integer value", "@test == 2", "2", true, true},
        {"label compared without case", "@test == \"Real\"", "real", true, true},
        {"label of another value", "@test == \"mod\"", "real", true, false},
        {"unknown label is false", "@test == \"none\"", "real", true, false},
        {"either of two", "@test == 0 || @test == 2", "real", true, false},
        {"either of two, second true", "(@test == 0) || (@test == 1)", "real", true, true},
        {"enclosing parentheses", "((@test == 1))", "real", true, true},
        {"and stays for run time", "@test == 1 && @test == 1", "real", false, false},
        {"not a number", "@test == 1.0", "real", false, false},
        {"value out of the list", "@test == 1", "zzz", false, false},
        {"negative value", "@test == -1", "-1", false, false},
        {"two labels", "@test == \"a\" \"b\"", "real", false, false},
        {"unterminated label", "@test == \"real", "real", false, false},
        {"no parameter", "x == 1", "real", false, false},
        {"inequality", "@test != 1", "real", false, false},
        {"one part undecided", "@test == 1 || x == 2", "real", false, false},
        {"parameter without enumeration", "@power == 2", "real", false, false},
        {"huge number", "@test == 99999999999999999999", "1", true, false},
        {"empty", "", "real", false, false},
    };
    for (const Case& c : cases) {
        ParamValues values = {{"test", c.test_value}, {"power", "2"}};
        StaticCondition r = evaluate_static_condition(c.condition, values, decls);
        EXPECT_EQ(r.decided, c.decided) << c.what;
        if (r.decided) {
            EXPECT_EQ(r.value, c.value) << c.what;
        }
    }
}

TEST(EvaluateStaticCondition, MissingValueMakesLabelFalseButNumberUndecided) {
    const ParamDecls decls = {{"Test", {"mod", "real"}}};
    StaticCondition label = evaluate_static_condition("@test == \"mod\"", {}, decls);
    EXPECT_TRUE(label.decided);
    EXPECT_FALSE(label.value);
    EXPECT_FALSE(evaluate_static_condition("@test == 0", {}, decls).decided);
    EXPECT_EQ(enum_index("TEST", {{"test", "Real"}}, decls), 1) << "names ignore case";
    EXPECT_EQ(enum_index("test", {{"test", " 7abc"}}, decls), 7) << "read like strtol";
    EXPECT_EQ(enum_index("test", {{"test", "99999999999"}}, decls), -1);
}

// Folds with "test" declared as mod/real/imag and set to the given value.
std::string fold(const std::string& text, const std::string& test = "real") {
    const ParamDecls decls = {{"test", {"mod", "real", "imag"}}};
    return fold_static_conditions(text, {{"test", test}}, decls);
}

TEST(FoldStaticConditions, Table) {
    struct Case {
        const char* what;
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"decided chain keeps only its branch",
         "if @test == 0\nz = 1\nelseif @test == 1\nz = 2\nelse\nz = 3\nendif\n", "z = 2\n"},
        {"else branch", "if @test == 0\na\nelse\nb\nendif\nc\n", "b\nc\n"},
        {"label condition", "if (@test == \"REAL\")\na\nendif\n", "a\n"},
        {"run-time chain stays", "if x > 1\na\nelse\nb\nendif\n", "if x > 1\na\nelse\nb\nendif\n"},
        {"run-time chain inside a true branch", "if @test == 1\nif x > 1\na\nendif\nendif\n",
         "if x > 1\na\nendif\n"},
        {"run-time chain inside a false branch vanishes",
         "if @test == 0\nif x > 1\na\nelse\nb\nendif\nendif\nc\n", "c\n"},
        {"decided chain inside a dead branch stays dead",
         "if @test == 0\nif @test == 1\na\nelse\nb\nendif\nendif\n", ""},
        {"decided chain inside a run-time chain",
         "if x\nif @test == 1\na\nelse\nb\nendif\nelse\nc\nendif\n", "if x\na\nelse\nc\nendif\n"},
        {"only the first true branch runs",
         "if @test == 1\na\nelseif @test == 1\nb\nelse\nc\nendif\n", "a\n"},
        {"keyword variants", "IF(@test==1)\na\nELSE;\nb\nENDIF ; done\n", "a\n"},
        {"endif without if is dropped", "a\nendif\nb\n", "a\nb\n"},
        {"else without if stays", "else\n", "else\n"},
        {"words that only begin like keywords", "ifx = 1\nelsewhere\nendiff\n",
         "ifx = 1\nelsewhere\nendiff\n"},
        {"continued condition", "if @test == 0 || \\\n @test == 1\na\nendif\n", "a\n"},
        {"continued ordinary line keeps its text", "z = 1 + \\\n  2\n", "z = 1 +    2\n"},
        {"backslash on the last line", "a \\", "a \n"},
        {"unclosed decided if", "if @test == 0\na\n", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(fold(c.in), c.out) << c.what;
}

// An undecided elseif after an if that folding decided false: nothing before
// it ran, so it opens the run-time chain, and the else that follows stays
// tied to it instead of running unconditionally.
TEST(FoldStaticConditions, UndecidedElseifAfterFalseIfBecomesIf) {
    const char* chain =
        "if @test == 0\na\n  ElseIf (x > 1)\nb\nelseif @test == 1\nc\nelse\nd\nendif\n";
    EXPECT_EQ(fold(chain), "  if (x > 1)\nb\nelseif @test == 1\nc\nelse\nd\nendif\n");
    EXPECT_EQ(fold(chain, "mod"), "a\n") << "a taken branch still decides the chain";
    EXPECT_EQ(fold("if @test == 0\nif @test == 2\na\nelseif x\nb\nendif\nendif\n"), "")
        << "inside a dead branch it stays dead";
}

TEST(ExtractUserFunctions, LiftsDefinitions) {
    std::vector<UserFunction> functions;
    std::string rest = extract_user_functions(
        "z = 0\n"
        "complex func Twice(const complex a, float b)\n"
        "  return a * 2 + b\n"
        "endfunc\n"
        "float func norm2(complex v,, int) \\\n"
        "  \n"
        "  v = v\n"
        "endfunc\n"
        "func noargs()\nendfunc\n"
        "Func f()\n"
        "c = 1\n",
        functions);
    EXPECT_EQ(rest, "z = 0\nFunc f()\nc = 1\n");
    ASSERT_EQ(functions.size(), 3u);
    EXPECT_EQ(functions[0].name, "twice");
    EXPECT_EQ(functions[0].return_type, "complex");
    ASSERT_EQ(functions[0].params.size(), 2u);
    EXPECT_EQ(functions[0].params[0].type, "complex");
    EXPECT_EQ(functions[0].params[0].name, "a");
    EXPECT_EQ(functions[0].params[1].type, "float");
    EXPECT_EQ(functions[0].params[1].name, "b");
    EXPECT_EQ(functions[0].body, "return a * 2 + b\n");
    EXPECT_EQ(functions[1].return_type, "float");
    ASSERT_EQ(functions[1].params.size(), 1u) << "empty piece and piece without blank skipped";
    EXPECT_EQ(functions[1].body, "v = v\n");
    EXPECT_EQ(functions[2].return_type, "complex");
    EXPECT_TRUE(functions[2].params.empty());
}

TEST(ExtractUserFunctions, UnclosedFunctionIsLost) {
    std::vector<UserFunction> functions;
    EXPECT_EQ(extract_user_functions("a\nint func f(int n)\nb\nEndFunc\n", functions), "a\n");
    EXPECT_TRUE(functions.empty());
    EXPECT_EQ(extract_user_functions("int func_x = 1\nfunc nothing\n", functions),
              "int func_x = 1\nfunc nothing\n")
        << "no function without a parenthesis";
}

}  // namespace
}  // namespace spirelle
