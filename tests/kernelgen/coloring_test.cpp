#include "kernelgen/coloring.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(UnsupportedColoring, RecognisesClassesImagesAndGrids) {
    const struct {
        const char* name;
        std::string loop;
        bool unsupported;
    } cases[] = {
        {"import line", "x = 1\nimport \"lib.ulb\"\n", true},
        {"indented import", "x = 1\n  import \"lib.ulb\"\n", true},
        {"object from a class parameter", "obj = new @shape\n", true},
        {"image class", "img = ZKW_Image(1)\n", true},
        {"array sized by the image", "float cells[#width]\n", true},
        {"two-dimensional index", "grid[x, y] = 1\n", true},
        {"one-dimensional index", "grid[x] = 1\n", false},
        {"call with commas outside brackets", "a[i] = atan2(x, y)\n", false},
        {"plain code", "sum = sum + |z|\n", false},
    };
    for (const auto& c : cases) {
        FormulaEntry coloring;
        coloring.loop = c.loop;
        EXPECT_EQ(is_unsupported_coloring(coloring), c.unsupported) << c.name;
    }
}

TEST(UnsupportedColoring, BecomesTheStub) {
    FormulaEntry coloring;
    coloring.global = "import \"lib.ulb\"\n";
    coloring.final = "#index = 1\n";
    const ColoringInstance instance = instantiate_coloring(coloring, "_ic_iter", "_ic_");
    EXPECT_EQ(instance.init_code, "");
    EXPECT_EQ(instance.loop_code, "");
    EXPECT_EQ(instance.final_code,
              "    // stub: unsupported coloring (image sampling / CA grid / class)\n"
              "    _solid = 1;\n    color_index = 0;\n");
}

TEST(ColoringInstance, PrivateVariablesAreHoistedAndPrefixed) {
    FormulaEntry coloring;
    coloring.loop = "float sum = sum + |z|\n";
    coloring.final = "#index = sum * iter\n";
    const ColoringInstance instance = instantiate_coloring(coloring, "_ic_iter", "_ic_");
    EXPECT_TRUE(contains(instance.init_code, "    real_t _ic_sum = (real_t)0.0;\n"))
        << instance.init_code;
    EXPECT_TRUE(contains(instance.loop_code, "    _ic_sum = _ic_sum + dot(z, z);\n"))
        << instance.loop_code;
    // Without a counter of its own the coloring reads the layer's iter.
    EXPECT_TRUE(contains(instance.final_code, "color_index = _ic_sum * iter"))
        << instance.final_code;
}

TEST(ColoringInstance, OwnCounterReplacesIter) {
    FormulaEntry coloring;
    coloring.init = "int iter = 0\n";
    coloring.loop = "iter = iter + 1\n";
    coloring.final = "#index = iter * 0.01\n";
    const ColoringInstance instance = instantiate_coloring(coloring, "_oc_iter", "_oc_");
    EXPECT_TRUE(contains(instance.init_code, "int _oc_iter = 0;")) << instance.init_code;
    EXPECT_TRUE(contains(instance.loop_code, "_oc_iter = _oc_iter + 1;")) << instance.loop_code;
    EXPECT_FALSE(contains(instance.loop_code + instance.final_code, " iter"))
        << instance.final_code;
}

TEST(ColoringInstance, OwnCounterDeclarationForms) {
    const struct {
        const char* name;
        std::string init;
        bool own;
    } cases[] = {
        {"with a value", "int iter = 0\n", true},
        {"alone on its line", "int iter\niter = 0\n", true},
        {"alone before a carriage return", "int iter\r\niter = 0\r\n", true},
        {"at the end of the text", "iter = 0\nint iter", true},
        {"tab between type and name", "int\titer=0\n", true},
        {"longer name", "int iterations = 0\n", false},
        {"only read", "float x = iter\n", false},
    };
    for (const auto& c : cases) {
        FormulaEntry coloring;
        coloring.init = c.init;
        coloring.loop = "iter = iter + 1\n";
        coloring.final = "#index = iter\n";
        const ColoringInstance instance = instantiate_coloring(coloring, "_ic_iter", "_ic_");
        EXPECT_EQ(contains(instance.loop_code, "_ic_iter = _ic_iter + 1;"), c.own)
            << c.name << ": " << instance.loop_code;
    }
}

// Prefixing must leave member names alone, and "c" keeps meaning the pixel
// constant of the layer function.
TEST(ColoringInstance, MembersAndThePixelConstantKeepTheirNames) {
    FormulaEntry coloring;
    coloring.init = "complex x = 0\ncolor w = rgb(1, 0, 0)\n";
    coloring.loop = "x = x + c\n";
    coloring.final = "#index = real(x) + w.x\n#color = w\n";
    const ColoringInstance instance = instantiate_coloring(coloring, "_ic_iter", "_ic_");
    const std::string all = instance.init_code + instance.loop_code + instance.final_code;
    EXPECT_TRUE(contains(all, "_ic_x = _ic_x + _c_writable")) << all;
    EXPECT_TRUE(contains(all, "(_ic_x).x")) << all;
    EXPECT_FALSE(contains(all, "._ic_")) << all;
}

// A private variable may share its name with a kernel function that the
// translated code calls; the calls keep their names.
TEST(ColoringInstance, VariablesNamedLikeKernelFunctions) {
    const struct {
        const char* name;
        std::string loop;
        std::string expected;
    } cases[] = {
        {"length next to cabs", "float length = 0\nlength = length + cabs(z)\n",
         "    _ic_length = _ic_length + length(z);\n"},
        {"dot next to |z|", "float dot = |z|\n", "    _ic_dot = dot(z, z);\n"},
        {"exp next to exp", "float exp = 0\nexp = exp(-|z|)\n",
         "    _ic_exp = exp((real_t)((- dot(z, z))));\n"},
    };
    for (const auto& c : cases) {
        FormulaEntry coloring;
        coloring.loop = c.loop;
        coloring.final = "#index = 1\n";
        const ColoringInstance instance = instantiate_coloring(coloring, "_ic_iter", "_ic_");
        EXPECT_TRUE(contains(instance.loop_code, c.expected))
            << c.name << ": " << instance.loop_code;
    }
}

TEST(RewriteClassCalls, ReplacesObjectsByPlainExpressions) {
    const std::map<std::string, std::string> talis = {{"trans", "qvx.ulb:QVXTalisTransform"},
                                                      {"trans.p1", "0"}};
    const std::map<std::string, std::string> talis_half = {{"trans", "qvx.ulb:QVXTalisTransform"},
                                                           {"trans.p1", "0.5"}};
    const std::map<std::string, std::string> other = {{"trans", "lib.ulb:Other"}};
    const struct {
        const char* name;
        std::string text;
        std::map<std::string, std::string> params;
        std::string expected;
    } cases[] = {
        {"talis with p1 0", "z = t.Iterate(z)\n", talis, "z = log(abs(z))\n"},
        {"talis with p1 0.5", "z = t.Iterate(z)\n", talis_half, "z = (z)\n"},
        {"other class is the identity", "z = t.Iterate(f(z))\n", other, "z = (f(z))\n"},
        {"no class parameter", "z = t.Iterate(z)\n", {}, "z = (z)\n"},
        {"IsSolid", "if t.IsSolid(a, b)\n", {}, "if 0\n"},
        {"Init lines dropped", "t.Init(#pixel)\nz = 1\n", {}, "z = 1\n"},
        {"unclosed call stays", "z = t.Iterate(z\n", {}, "z = t.Iterate(z\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rewrite_class_calls(c.text, c.params), c.expected) << c.name;
}

TEST(TransformInstance, DropsObjectSetupFromGlobal) {
    FormulaEntry transform;
    transform.global = "import \"x.ulb\"\nusertransform t = new @trans\nfloat k = 2\n";
    transform.transform = "#pixel = #pixel * k\n";
    const TransformInstance instance = instantiate_transform(transform);
    EXPECT_FALSE(contains(instance.global_code, "new")) << instance.global_code;
    EXPECT_TRUE(contains(instance.global_code, "real_t k = 2;")) << instance.global_code;
    EXPECT_TRUE(contains(instance.transform_code, "_pixel = _pixel * k;"))
        << instance.transform_code;
}

}  // namespace
}  // namespace spirelle
