#include "formula/sections.h"

#include <gtest/gtest.h>

#include "formula/builtin.h"
#include "formula/preprocess.h"

namespace spirelle {
namespace {

TEST(SplitSections, Table) {
    struct Case {
        const char* what;
        FormulaKind kind;
        const char* in;
        SectionMap out;
    };
    const Case cases[] = {
        {"lines are trimmed, blank and comment lines dropped",
         FormulaKind::formula,
         "init:\n  z = 0  \r\n\n  ; note\nloop:\n z = z*z\n",
         {{"init", "z = 0\n"}, {"loop", "z = z*z\n"}}},
        {"labels ignore case",
         FormulaKind::formula,
         "Init:\nz\nLOOP:\nw\n",
         {{"init", "z\n"}, {"loop", "w\n"}}},
        {"lines before the first label vanish",
         FormulaKind::formula,
         "title\nz\ninit:\na\n",
         {{"init", "a\n"}}},
        {"a section named twice collects both",
         FormulaKind::formula,
         "init:\na\nloop:\nb\ninit:\nc\n",
         {{"init", "a\nc\n"}, {"loop", "b\n"}}},
        {"code after the colon is no label",
         FormulaKind::formula,
         "init: z = 0\ninit:\nx:y\n",
         {{"init", "x:y\n"}}},
        {"blank inside and lone colon are ordinary lines",
         FormulaKind::formula,
         "init:\nmy section:\n:\n",
         {{"init", "my section:\n:\n"}}},
        {"switch swallows its lines",
         FormulaKind::formula,
         "init:\na\nswitch:\ntype = x\nloop:\nb\n",
         {{"init", "a\n"}, {"switch", "type = x\n"}, {"loop", "b\n"}}},
        {"unknown label swallows lines",
         FormulaKind::formula,
         "loop:\na\nperturbinit:\nb\nbailout:\nc\n",
         {{"loop", "a\n"}, {"bailout", "c\n"}}},
        {"bailout is unknown to colorings",
         FormulaKind::coloring,
         "final:\na\nbailout:\nb\ndefault:\nc\n",
         {{"final", "a\n"}, {"default", "c\n"}}},
        {"transform sections",
         FormulaKind::transform,
         "transform:\n#pixel = 2\nloop:\nx\n",
         {{"transform", "#pixel = 2\n"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(split_sections(c.in, section_list(c.kind)), c.out) << c.what;
    }
}

TEST(JoinBailoutLines, Table) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"|z| < 4\n", "|z| < 4"},
        {"|z| < 4\n&& x\n", "|z| < 4&& x"},
        {"|z| < 4 || \\\nreal(z) > 2\n", "|z| < 4 || real(z) > 2"},
        {"a \\\n", "a"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(join_bailout_lines(c.in), c.out) << c.in;
}

TEST(ExpandBuiltin, Table) {
    const std::string defaults = "default:\nfloat param bailout\ndefault = 4\nendparam\n";
    const std::string mandelbrot =
        "init:\n  z = @start\nloop:\n  z = z*z + #pixel\nbailout:\n  |z| <= @bailout\n";
    const std::string julia =
        "init:\n  z = #pixel\nloop:\n  z = z*z + @seed\nbailout:\n  |z| <= @bailout\n";
    struct Case {
        const char* what;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"type 1", "builtin:\n  type = 1\n" + defaults, mandelbrot + defaults},
        {"type 2", "builtin:\ntype=2\n" + defaults, julia + defaults},
        {"digit anywhere after type", "builtin:\ntype: second (2)\n", julia + "default:\n"},
        {"no digit after type", "builtin:\ntype = x\n" + defaults,
         "builtin:\ntype = x\n" + defaults},
        {"unknown type", "builtin:\ntype = 3\n", "builtin:\ntype = 3\n"},
        {"word builtin without section", "init:\nbuiltin = 1\n", "init:\nbuiltin = 1\n"},
        {"short text", "builtin", "builtin"},
        {"section too short for a type", "builtin:\n1\n", "builtin:\n1\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(expand_builtin(c.in), c.out) << c.what;
}

const char kFormula[] =
    "Title:\n"
    "init:\n"
    "  z = 0\n"
    "  $ifdef VER50\n"
    "  complex func Step(const complex a, float k)\n"
    "    return a*a + k\n"
    "  endfunc\n"
    "  $endif\n"
    "  if @test == \"real\"\n"
    "    w = 1\n"
    "  else\n"
    "    w = 2\n"
    "  endif\n"
    "loop:\n"
    "  z = step(z, @power) + #pixel\n"
    "  if @power == 2\n"
    "    z = z\n"
    "  endif\n"
    "bailout:\n"
    "  if @test == 0\n"
    "  |z| < @bailout\n"
    "default:\n"
    "  int param test\n"
    "    enum = \"mod\" \"real\" \\\n"
    "           \"imag\"\n"
    "  endparam\n"
    "  float param power\n"
    "    default = 2\n"
    "  endparam\n"
    "  float param bailout\n"
    "    default = 4\n"
    "  endparam\n"
    "switch:\n"
    "  z = 99\n";

TEST(ReadFormulaEntry, FillsEveryPart) {
    Layer layer;
    layer.formula.params = {{"test", "real"}, {"bailout", "16"}};
    read_formula_entry(preprocess(kFormula), layer.formula, layer);
    const FormulaEntry& f = layer.formula;
    EXPECT_EQ(f.init, "z = 0\nw = 1");
    EXPECT_EQ(f.loop, "z = step(z, @power) + #pixel\nif @power == 2\nz = z\nendif")
        << "conditions on a parameter without enumeration stay";
    EXPECT_EQ(f.bailout, "if @test == 0|z| < @bailout") << "the bailout is never folded";
    EXPECT_EQ(f.params, (std::map<std::string, std::string>{
                            {"test", "real"}, {"power", "2"}, {"bailout", "16"}}));
    EXPECT_EQ(f.param_decls,
              (std::map<std::string, std::vector<std::string>>{{"test", {"mod", "real", "imag"}}}));
    ASSERT_EQ(f.user_functions.size(), 1u);
    EXPECT_EQ(f.user_functions[0].name, "step");
    EXPECT_EQ(f.user_functions[0].body, "return a*a + k\n");
    EXPECT_EQ(layer.bailout_test_index, 1);
}

TEST(ReadFormulaEntry, BailoutTestIndexFollowsTheValueOfTest) {
    struct Case {
        const char* what;
        const char* value;
        int32_t index;
    };
    const Case cases[] = {
        {"default value", nullptr, 0},
        {"exact value", "imag", 2},
        {"label in another case", "IMAG", 2},
        {"number", "1", 1},
        {"unknown word keeps the previous index", "sideways", 7},
    };
    for (const Case& c : cases) {
        Layer layer;
        layer.bailout_test_index = 7;
        if (c.value) layer.formula.params["test"] = c.value;
        read_formula_entry(preprocess(kFormula), layer.formula, layer);
        EXPECT_EQ(layer.bailout_test_index, c.index) << c.what;
    }
}

TEST(ReadFormulaEntry, CarriageReturnsReadLikePlainLineFeeds) {
    std::string crlf;
    for (char c : std::string(kFormula)) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    Layer plain, windows;
    read_formula_entry(preprocess(kFormula), plain.formula, plain);
    read_formula_entry(preprocess(crlf), windows.formula, windows);
    EXPECT_EQ(windows.formula.init, plain.formula.init);
    EXPECT_EQ(windows.formula.loop, plain.formula.loop);
    EXPECT_EQ(windows.formula.bailout, plain.formula.bailout);
    EXPECT_EQ(windows.formula.params, plain.formula.params);
    EXPECT_EQ(windows.formula.param_decls, plain.formula.param_decls);
    EXPECT_EQ(windows.formula.user_functions.size(), 1u);
}

TEST(ReadColoringEntry, FoldsEverySectionButReadsNoFunctions) {
    FormulaEntry coloring;
    coloring.init = "stale";
    coloring.user_functions.push_back({});
    read_coloring_entry(
        "global:\nif @mode == 1\ng = 1\nendif\n"
        "init:\nfunc f(complex a)\nendfunc\n"
        "loop:\nif @mode == 0\ns = s + 1\nelse\ns = s + 2\nendif\n"
        "final:\n#index = s\n"
        "default:\nparam mode\nenum = \"count\" \"double\"\ndefault = \"double\"\nendparam\n",
        coloring);
    EXPECT_EQ(coloring.global, "g = 1");
    EXPECT_EQ(coloring.init, "func f(complex a)\nendfunc");
    EXPECT_EQ(coloring.loop, "s = s + 2");
    EXPECT_EQ(coloring.final, "#index = s");
    EXPECT_EQ(coloring.params["mode"], "double");
    EXPECT_EQ(coloring.user_functions.size(), 1u) << "colorings leave the list alone";
}

TEST(ReadTransformEntry, ReadsGlobalAndTransform) {
    FormulaEntry transform;
    read_transform_entry(
        "global:\nk = 2\ntransform:\nif @flip == \"yes\"\n#pixel = conj(#pixel)\nendif\n"
        "#pixel = #pixel * k\n"
        "default:\nparam flip\nenum = \"no\" \"yes\"\nendparam\n",
        transform);
    EXPECT_EQ(transform.global, "k = 2");
    EXPECT_EQ(transform.transform, "#pixel = #pixel * k");
    EXPECT_EQ(transform.params["flip"], "no");
}

}  // namespace
}  // namespace spirelle
