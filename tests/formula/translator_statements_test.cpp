#include <gtest/gtest.h>

#include "formula/translator.h"

namespace spirelle {
namespace {

struct SectionCase {
    const char* name;
    const char* section;
    const char* kernel;
};

void expect_sections(const std::vector<SectionCase>& cases) {
    for (const SectionCase& c : cases) {
        FormulaTranslator translator;
        translator.param_map["@power"] = {"2.0", ValueType::real};
        translator.param_map["@seed"] = {"(real2_t)((real_t)0.3, (real_t)-0.1)",
                                         ValueType::complex};
        EXPECT_EQ(translator.translate_section(c.section), c.kernel) << c.name;
    }
}

TEST(StatementTranslation, Declarations) {
    expect_sections({
        {"first assignment declares", "x = 1\nx = 2", "    real_t x = 1;\n    x = 2;\n"},
        {"complex from its value", "w = z", "    real2_t w = z;\n"},
        {"typed real takes the real part", "float f = z", "    real_t f = (z).x;\n"},
        {"int and bool", "int n = 3\nbool done", "    int n = 3;\n    int done;\n"},
        {"declaration list", "float a = 1, b", "    real_t a = 1;\n    real_t b;\n"},
        {"the kernel's z is not redeclared", "complex z = 0", "    z = (real2_t)(0, 0.0);\n"},
        {"predefined targets are not declared", "#index = 0.5\nz_old = z",
         "    color_index = 0.5;\n    z_old = z;\n"},
        {"typed c shadows the pixel constant", "complex c = 1\nw = c",
         "    real2_t c = 1;\n    real2_t w = c;\n"},
        {"chained assignment", "p = q = 0", "    real_t p = 0;\n    real_t q = 0;\n"},
        {"expression statement", "sin(z)", "    csin(z);\n"},
        {"print vanishes", "print(z)\nprint z", ""},
        {"return", "return z*z", "    return cmul(z, z);\n"},
        {"continued line", "x = 1 + \\\n 2", "    real_t x = 1 + 2;\n"},
        {"comment lines", "; note\nx = 1 ; one", "    real_t x = 1;\n"},
    });
}

TEST(StatementTranslation, ArraysAndColors) {
    expect_sections({
        {"array declaration and element", "float v[10]\nv[i] = 1",
         "    real_t v[(int)(10)];\n    v[(int)(i)] = 1;\n"},
        {"complex array elements are complex", "complex q[n + 1]\nq[0] = 2",
         "    real2_t q[(int)(n + 1)];\n    q[(int)(0)] = (real2_t)(2, 0.0);\n"},
        {"color array elements are colors", "color p[2]\nk = p[0]",
         "    real4_t p[(int)(2)];\n    real4_t k = p[(int)(0)];\n    real4_t k_init = k;\n"},
        {"color snapshot", "color c1 = rgb(1, 0, 0)",
         "    real4_t c1 = fl_rgb(1, 0, 0);\n    real4_t c1_init = c1;\n"},
        {"color override marker", "color c1 = rgb(1, 0, 0)\n#color = c1",
         "    real4_t c1 = fl_rgb(1, 0, 0);\n    real4_t c1_init = c1;\n"
         "    _color_override = c1;\n"
         "    if (all(_color_override == c1_init)) _color_override.w = -1.0f;\n"},
        {"scaled color is no packed color and gets no marker",
         "color c1 = rgb(1, 0, 0)\n#color = c1 * 2",
         "    real4_t c1 = fl_rgb(1, 0, 0);\n    real4_t c1_init = c1;\n"
         "    _color_override = c1 * 2;\n"},
        {"implicit color gets a snapshot", "k = rgb(0, 1, 0)\nk = 4278190080",
         "    real4_t k = fl_rgb(0, 1, 0);\n    real4_t k_init = k;\n"
         "    k = fl_unpack_color(4278190080);\n"},
    });
}

TEST(StatementTranslation, Blocks) {
    expect_sections({
        {"if else with hoisting", "if x < 1\ny = 2\nelse\ny = 3\nendif",
         "    real_t y = (real_t)0.0;\n    if (x < 1) {\n    y = 2;\n    } else {\n"
         "    y = 3;\n    }\n"},
        {"elseif", "if x < 1\nelseif x > 2\nendif",
         "    if (x < 1) {\n    } else if (x > 2) {\n    }\n"},
        {"while loop with guard", "n = 0\nwhile n < 10\nn = n + 1\nendwhile",
         "    real_t n = 0;\n    { int _wg0 = 0;\n"
         "    while ((n < 10) && _wg0++ < MAX_FORMULA_LOOP_ITERS) {\n    n = n + 1;\n    }}\n"},
        {"repeat until with guard", "n = 0\nrepeat\nn = n + 1\nuntil n > 3",
         "    real_t n = 0;\n    { int _wg0 = 0;\n    do {\n"
         "    if (_wg0++ >= MAX_FORMULA_LOOP_ITERS) break;\n    n = n + 1;\n"
         "    } while (!(n > 3));\n    }\n"},
        {"guards are numbered", "while 1\nendwhile\nrepeat\nuntil 1",
         "    { int _wg0 = 0;\n    while ((1) && _wg0++ < MAX_FORMULA_LOOP_ITERS) {\n    }}\n"
         "    { int _wg1 = 0;\n    do {\n    if (_wg1++ >= MAX_FORMULA_LOOP_ITERS) break;\n"
         "    } while (!(1));\n    }\n"},
        {"open blocks are closed innermost first", "if x\nwhile y",
         "    if (x) {\n    { int _wg0 = 0;\n"
         "    while ((y) && _wg0++ < MAX_FORMULA_LOOP_ITERS) {\n    }}\n    }\n"},
        {"loop inside an unclosed if hoists its variable", "if x\nrepeat\nm = z\nuntil m == 0",
         "    real2_t m = (real2_t)(0.0, 0.0);\n    if (x) {\n    { int _wg0 = 0;\n    do {\n"
         "    if (_wg0++ >= MAX_FORMULA_LOOP_ITERS) break;\n    m = z;\n"
         "    } while (!(all(m == (real2_t)(0, 0.0))));\n    }\n    }\n"},
        {"unmatched closers still emit", "endif\nendwhile", "    }\n    }}\n"},
        {"keywords in any case", "IF(x)\nENDIF", "    if ((x)) {\n    }\n"},
        {"variable used after the branch keeps its inferred type",
         "if x\nv = 1\nv = z\nendif\nw = v",
         "    real2_t v = (real2_t)(0.0, 0.0);\n    if (x) {\n    v = (real2_t)(1, 0.0);\n"
         "    v = z;\n    }\n    real2_t w = v;\n"},
    });
}

TEST(StatementTranslation, ParametersWrittenWithoutAt) {
    expect_sections({
        {"read as the parameter", "w = z^power", "    real2_t w = cpow(z, (real2_t)(2.0, 0.0));\n"},
        {"assigned: the right side still reads the parameter", "power = power + 1\nw = power",
         "    real_t power = 2.0 + 1;\n    real_t w = power;\n"},
        {"hoisted: a variable like any other, starting at zero",
         "if x\npower = power * 2\nendif\nw = power",
         "    real_t power = (real_t)0.0;\n    if (x) {\n    power = power * 2;\n    }\n"
         "    real_t w = power;\n"},
        {"hoisted complex and color variables start at zero",
         "if x\nseed = z\nk = rgb(1, 1, 1)\nendif",
         "    real4_t k = (real4_t)(0.0, 0.0, 0.0, 0.0);\n    real2_t seed = (real2_t)(0.0, 0.0);\n"
         "    if (x) {\n    seed = z;\n    k = fl_rgb(1, 1, 1);\n    }\n"},
    });
}

// Names that the statement translator writes as they stand (array names,
// hoisted variables, color snapshots) must be identifiers; otherwise the line
// is read through the tokenizer like any other, and stray line breaks or
// directives never reach the kernel.
TEST(StatementTranslation, RawNamesMustBeIdentifiers) {
    expect_sections({
        {"array name with a directive", "float a\r#define\vm\v1[3]", "    real_t a;\n"},
        {"hoisted name with a directive", "if x\na\r#include\v</etc/passwd>\r = 1\nendif",
         "    if (x) {\n    a;\n    }\n"},
        {"hoisted name starting with a digit", "if x\n1a = 2\nendif",
         "    if (x) {\n    1;\n    }\n"},
        {"color snapshot of a non-identifier", "color q\r#define\vm = rgb(1, 0, 0)",
         "    real4_t q;\n"},
        {"implicit color of a non-identifier", "k\v+\vj = rgb(1, 0, 0)",
         "    real4_t k + j = fl_rgb(1, 0, 0);\n"},
        {"unknown hash name cannot start a directive", "#include < hostname > 0",
         "    (#include < hostname);\n"},
        {"unknown hash name assigned", "#pragma = 1", "    (#pragma = 1);\n"},
    });
}

TEST(StatementTranslation, ArraySizeIsReadBeforeTheArrayIsDeclared) {
    FormulaTranslator translator;
    translator.param_map["@n"] = {"4.0", ValueType::real};
    EXPECT_EQ(translator.translate_statements("float n[n]\n"), "    real_t n[(int)(4.0)];\n");
    EXPECT_EQ(translator.translate_statements("x = n[1]\n"), "    real_t x = n[(int)(1)];\n");
}

TEST(StatementTranslation, UnboundedLoops) {
    FormulaTranslator translator;
    translator.bounded_loops = false;
    EXPECT_EQ(translator.translate_section("while x\nendwhile\nrepeat\nuntil y\nwhile 1"),
              "    while (x) {\n    }\n    do {\n    } while (!(y));\n    while (1) {\n    }\n");
}

TEST(StatementTranslation, TypesCarryAcrossSections) {
    FormulaTranslator translator;
    const std::string global = "q = 1";
    const std::string loop = "q = z\nz = z * q";
    translator.infer_types(global);
    translator.infer_types(loop);
    EXPECT_EQ(translator.translate_section(global), "    real2_t q = (real2_t)(1, 0.0);\n");
    EXPECT_EQ(translator.translate_section(loop), "    q = z;\n    z = cmul(z, q);\n");
}

TEST(StatementTranslation, InferenceLeavesNoDeclarationsBehind) {
    FormulaTranslator translator;
    translator.infer_types("float a = 1\ncolor k = rgb(1, 1, 1)\nwhile a\nendwhile");
    EXPECT_TRUE(translator.declared_vars.empty());
    EXPECT_TRUE(translator.typed_decls.empty());
    EXPECT_TRUE(translator.color_snapshots.empty());
    EXPECT_EQ(translator.loop_guard_counter, 0);
    EXPECT_EQ(translator.var_types["k"], ValueType::color);
}

// Whole sections, to show the behaviour at a glance.
TEST(StatementTranslation, WholeFormulas) {
    FormulaTranslator mandel;
    mandel.param_map["@bailout"] = {"4.0", ValueType::real};
    mandel.infer_types("z = 0");
    mandel.infer_types("z = z^2 + #pixel");
    EXPECT_EQ(mandel.translate_section("z = 0"), "    z = (real2_t)(0, 0.0);\n");
    EXPECT_EQ(mandel.translate_section("z = z^2 + #pixel"),
              "    z = cpow(z, (real2_t)(2, 0.0)) + _pixel;\n");
    EXPECT_EQ(mandel.translate_condition("|z| < @bailout"), "dot(z, z) < 4.0");

    FormulaTranslator newton;
    const std::string loop =
        "int k = 0\nrepeat\n  zo = z\n  z = z - (z^3 - 1) / (3 * z^2)\n  k = k + 1\n"
        "until |z - zo| < 1e-9 || k >= 20";
    EXPECT_EQ(newton.translate_section(loop),
              "    real2_t zo = (real2_t)(0.0, 0.0);\n"
              "    int k = 0;\n"
              "    { int _wg0 = 0;\n    do {\n"
              "    if (_wg0++ >= MAX_FORMULA_LOOP_ITERS) break;\n"
              "    zo = z;\n"
              "    z = z - cdiv((cpow(z, (real2_t)(3, 0.0)) - (real2_t)(1, 0.0)), "
              "(cpow(z, (real2_t)(2, 0.0)) * 3));\n"
              "    k = k + 1;\n"
              "    } while (!(dot(z - zo, z - zo) < 1e-9 || k >= 20));\n    }\n");

    FormulaTranslator coloring;
    coloring.infer_types("color base = rgb(0.2, 0.4, 1)");
    coloring.infer_types(
        "if #numiter > 10\nbase = blend(base, rgb(1, 1, 1), 0.5)\nendif\n#color = base");
    EXPECT_EQ(coloring.translate_section("color base = rgb(0.2, 0.4, 1)"),
              "    real4_t base = fl_rgb(0.2, 0.4, 1);\n    real4_t base_init = base;\n");
    EXPECT_EQ(coloring.translate_section(
                  "if #numiter > 10\nbase = blend(base, rgb(1, 1, 1), 0.5)\nendif\n#color = base"),
              "    if (iter > 10) {\n    base = fl_blend(base, fl_rgb(1, 1, 1), 0.5);\n    }\n"
              "    _color_override = base;\n"
              "    if (all(_color_override == base_init)) _color_override.w = -1.0f;\n");
}

}  // namespace
}  // namespace spirelle
