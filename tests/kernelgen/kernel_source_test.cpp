#include "kernelgen/kernel_source.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "kernelgen/blue_noise.h"
#include "scenes.h"

namespace spirelle {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(KernelSource, PrecisionBlockOpensTheProgram) {
    Scene scene = testing::one_layer_scene();
    EXPECT_EQ(build_kernel_source(scene).rfind(
                  "typedef float real_t;\ntypedef float2 real2_t;\ntypedef float4 real4_t;\n", 0),
              0u);
    scene.precision = 1;
    EXPECT_EQ(build_kernel_source(scene).rfind("#pragma OPENCL EXTENSION cl_khr_fp64 : enable\n"
                                               "typedef double real_t;\n",
                                               0),
              0u);
}

TEST(KernelSource, LayersCompositeBottomUpWithTheirModes) {
    Scene scene = testing::one_layer_scene();
    scene.layers.resize(3, scene.layers[0]);
    scene.layers[0].mergemode = "Multiply";
    scene.layers[0].opacity = 35;
    scene.layers[1].mergemode = "passthrough";
    scene.layers[2].mergemode = "no such mode";
    const std::string text = build_kernel_source(scene);
    EXPECT_TRUE(
        contains(text,
                 "        float4 src;\n"
                 "        src = eval_layer_2(gx, gy, width, height, ox, oy, gradient_lut);\n"
                 "        canvas = blend_normal(canvas, src, 1.00000000f);\n"
                 "        src = eval_layer_1(gx, gy, width, height, ox, oy, gradient_lut);\n"
                 "        canvas = blend_normal(canvas, src, 1.00000000f);\n"
                 "        src = eval_layer_0(gx, gy, width, height, ox, oy, gradient_lut);\n"
                 "        canvas = blend_multiply(canvas, src, 0.34999999f);\n\n"));
    EXPECT_TRUE(contains(text, "float4 __c0 = vload4(idx0, gradient_lut + 32000);"));
}

TEST(KernelSource, EveryMergeModeHasItsBlendFunction) {
    for (const std::string& mode : kMergeModeNames) {
        Scene scene = testing::one_layer_scene();
        scene.layers[0].mergemode = mode;
        const std::string expected = mode == "passthrough" ? "blend_normal" : "blend_" + mode;
        const std::string text = build_kernel_source(scene);
        EXPECT_TRUE(contains(text, "canvas = " + expected + "(canvas, src, 1.00000000f);")) << mode;
        EXPECT_TRUE(
            contains(text, "float4 " + expected + "(float4 dst, float4 src, float opacity)") ||
            contains(text, "BLEND_FN(" + mode + ",") ||
            contains(text, "BLEND_PERCHAN(" + mode + ","))
            << mode;
    }
}

TEST(KernelSource, BlueNoiseTablesOnlyWithSamplingLevel) {
    Scene scene = testing::one_layer_scene();
    EXPECT_FALSE(contains(build_kernel_source(scene), "blue_noise"));
    EXPECT_TRUE(contains(build_kernel_source(scene), "        // Roberts R2 quasi-random\n"));
    scene.sampling_level = 1;
    const std::string text = build_kernel_source(scene);
    std::ostringstream first_row;
    const auto table = generate_blue_noise(kBlueNoiseSeed1);
    first_row << "__constant uchar blue_noise_1[4096] = {\n    ";
    for (int i = 0; i < 32; ++i) first_row << static_cast<int>(table[i]) << ",";
    first_row << "\n    ";
    EXPECT_TRUE(contains(text, first_row.str()));
    EXPECT_TRUE(contains(text, "," + std::to_string(table[4095]) + "\n};\n\n// ----- Layer 1"));
    EXPECT_TRUE(
        contains(text, "// Roberts R2 quasi-random + blue noise Cranley-Patterson rotation\n"));
    EXPECT_TRUE(
        contains(text, "r2y += blue_noise_1[(gy & 63) * 64 + (gx & 63)] * (1.0f / 255.0f);"));
}

TEST(KernelSource, EndsWithTheImagingKernel) {
    const std::string text = build_kernel_source(testing::one_layer_scene());
    const std::string tail =
        "    float3 c = accum_buf[pixel].xyz * (inv_samples * exposure);\n"
        "    c = (c - (float3)(0.18f)) * contrast + (float3)(0.18f);\n"
        "    output[pixel] = convert_uchar4_sat((float4)(c, 1.0f) * 255.0f);\n"
        "}\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// Lines that the preprocessor acts on: those whose first non-blank is "#",
// and the lines that a backslash joins to a comment.
std::set<std::string> preprocessor_lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos && line[start] == '#') lines.insert(line);
    }
    return lines;
}

TEST(KernelSource, HostileSceneCannotReachThePreprocessor) {
    Scene reference = testing::one_layer_scene();
    reference.precision = 1;
    reference.sampling_level = 1;
    const std::set<std::string> own = preprocessor_lines(build_kernel_source(reference));
    for (int precision : {0, 1}) {
        Scene scene = testing::hostile_scene();
        scene.precision = precision;
        // Formula code that names directives: unknown "#names" pass through
        // the translator, so they must never start a line of the program.
        Layer& layer = scene.layers[0];
        layer.formula.init += "#include < passwd > 0\n#pragma = 1\n";
        layer.formula.user_functions[1].body =
            "#define = 1\n" + layer.formula.user_functions[1].body;
        layer.outside.final += "#include < passwd\n";
        const std::string text = build_kernel_source(scene);
        for (const std::string& line : preprocessor_lines(text)) {
            EXPECT_TRUE(own.count(line)) << "foreign preprocessor line: " << line;
        }
        // The name survives only inside its one-line comment.
        const std::string comment = "    // transform: Shift#include </etc/hostname>\n    {\n";
        EXPECT_TRUE(contains(text, comment));
        EXPECT_EQ(text.find("hostname"), text.rfind("hostname"));
        EXPECT_FALSE(contains(text, "\\\n    {\n")) << "a comment continued onto the next line";
        EXPECT_TRUE(contains(text, "cident(z)")) << "a hostile function selection is the identity";
    }
}

}  // namespace
}  // namespace spirelle
