#include "kernelgen/layer_emitter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "kernelgen/kernel_source.h"
#include "scenes.h"

namespace spirelle {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string layer_text(const Scene& scene) {
    std::ostringstream out;
    out.precision(17);
    LayerEmitter(out, scene, scene.layers[0], 0, "L0_").emit();
    return out.str();
}

TEST(EmitSolidColor, WritesChannelsWithEightDecimals) {
    const struct {
        uint32_t packed;
        const char* op;
        const char* expected;
    } cases[] = {
        {0x0080FF, "+=", "_sr += 1.00000000f; _sg += 0.50196081f; _sb += 0.00000000f;"},
        {0xFF000000u, "=", "_sr = 0.00000000f; _sg = 0.00000000f; _sb = 0.00000000f;"},
        {0x336699, "=", "_sr = 0.60000002f; _sg = 0.40000001f; _sb = 0.20000000f;"},
    };
    for (const auto& c : cases) {
        std::ostringstream out;
        out.precision(17);
        emit_solid_color(out, c.packed, c.op);
        out << " " << 0.1;  // the stream is back to 17 digits
        EXPECT_EQ(out.str(), std::string(c.expected) + " 0.10000000000000001");
    }
}

TEST(EmitGradientLookup, WritesTheLookupOfTheLayerSlice) {
    std::ostringstream out;
    out.precision(17);
    emit_gradient_lookup(out, "sqrt", 0.35, false, 16000);
    EXPECT_EQ(out.str(),
              "        float __sp_y = (float)(color_index * (real_t)0.34999999999999998);\n"
              "        float __sp_t = sqrt(fabs(__sp_y)) * 0.5f;\n"
              "        __sp_t = clamp(__sp_t, 0.0f, 1.0f);\n"
              "        if (!isfinite(__sp_t)) __sp_t = 0.0f;\n"
              "        float fidx = __sp_t * 4000;\n"
              "        int idx0 = ((int)fidx) % 4000;\n"
              "        int idx1 = (idx0 + 1) % 4000;\n"
              "        float frac = fidx - floor(fidx);\n"
              "        float4 __c0 = vload4(idx0, gradient_lut + 16000);\n"
              "        float4 __c1 = vload4(idx1, gradient_lut + 16000);\n"
              "        float4 __c = (fabs(__c1.x-__c0.x) > 0.5f || fabs(__c1.y-__c0.y) > 0.5f || "
              "fabs(__c1.z-__c0.z) > 0.5f) ? __c0 : mix(__c0, __c1, frac);\n"
              "        _sr += __c.x; _sg += __c.y; _sb += __c.z; _sa = __c.w;\n");
}

TEST(EmitGradientLookup, TransferTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"sqrt", "sqrt(fabs(__sp_y)) * 0.5f"},
        {"sqr", "2.0f * __sp_y * __sp_y"},
        {"cube", "3.0f * __sp_y * __sp_y * __sp_y"},
        {"cuberoot", "cbrt(__sp_y) * 0.33f"},
        {"log", "log(1.0f + __sp_y)"},
        {"exp", "exp(__sp_y) - 1.0f"},
        {"sin", "fabs(sin(__sp_y))"},
        {"arctan", "atan(__sp_y)"},
        {"linear", "__sp_y"},
        {"Sqrt", "__sp_y"},
    };
    for (const auto& [name, expression] : cases)
        EXPECT_EQ(transfer_expression(name), expression) << name;
}

TEST(RewriteGradientCalls, AppendsTableAndOffset) {
    const std::pair<std::string, std::string> cases[] = {
        {"x = fl_gradient(a(b), c)", "x = fl_gradient_lookup(a(b), c, gradient_lut, 16000)"},
        {"fl_gradient(1) + fl_gradient(fl_gradient(2))",
         "fl_gradient_lookup(1, gradient_lut, 16000) + "
         "fl_gradient_lookup(fl_gradient(2), gradient_lut, 16000)"},
        {"fl_gradient(1 + fl_gradient(2", "fl_gradient(1 + fl_gradient(2"},
        {"no call", "no call"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(rewrite_gradient_calls(text, 16000), expected);
}

struct MappingCase {
    const char* name;
    int width, height;
    double magn, angle, stretch, skew;
    std::vector<std::string> lines;
};

TEST(LayerEmitter, PlaneMappingConstants) {
    const MappingCase cases[] = {
        {"wide image uses the height",
         800,
         400,
         2,
         0,
         1,
         0,
         {"    const real_t pixel_size = (real_t)0.0037499999999999999;\n",
          "    real_t re = center_re + (real_t)1 * dx - ((real_t)-0) * dy;\n",
          "    real_t im = center_im + (real_t)0 * dx - ((real_t)1) * dy;\n"}},
        {"exactly 4:3 uses the width",
         640,
         480,
         1,
         0,
         1,
         0,
         {"    const real_t pixel_size = (real_t)0.0062500000000000003;\n"}},
        {"rotation by 90 degrees",
         400,
         400,
         1,
         90,
         1,
         0,
         {"    const real_t _layer_angle = (real_t)1.5707963267948966;\n",
          "    real_t re = center_re + (real_t)6.123233995736766e-17 * dx - ((real_t)-1) * dy;\n",
          "    real_t im = center_im + (real_t)1 * dx - ((real_t)6.123233995736766e-17) * dy;\n"}},
        {"stretch and skew",
         400,
         400,
         1,
         0,
         2,
         45,
         {"    real_t re = center_re + (real_t)0.5 * dx - ((real_t)-0.49999999999999994) * dy;\n"}},
    };
    for (const MappingCase& c : cases) {
        Scene scene = testing::one_layer_scene();
        scene.width = c.width;
        scene.height = c.height;
        Layer& layer = scene.layers[0];
        layer.magn = c.magn;
        layer.angle = c.angle;
        layer.stretch = c.stretch;
        layer.skew = c.skew;
        const std::string text = layer_text(scene);
        for (const std::string& line : c.lines)
            EXPECT_TRUE(contains(text, line)) << c.name << ": " << line;
    }
}

struct ColoringCase {
    const char* name;
    void (*setup)(Layer&);
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

TEST(LayerEmitter, ColoringBranches) {
    const ColoringCase cases[] = {
        {"default smooth outside, inside black",
         [](Layer&) {},
         {"        real_t color_index = (real_t)0.01 * __sp_smooth;\n",
          "    if (iter >= maxiter) {\n    } else {\n"},
         {"_sa = 0.0f;"}},
        {"inside solid on a transparent layer",
         [](Layer& l) {
             l.inside_solid = 0x0080FF;
             l.transparent = true;
         },
         {"        _sr += 1.00000000f; _sg += 0.50196081f; _sb += 0.00000000f; _sa = 0.0f;\n",
          "    if (_solid) { _sa = 0.0f; }\n",
          "    if (_color_override.w < 0.0f) { _sa = 0.0f; }\n"},
         {}},
        {"outside coloring with transfer none and a solid color",
         [](Layer& l) {
             l.outside.final = "#index = 1\n";
             l.outside_transfer = "none";
             l.outside_solid = 0xFFFFFF;
         },
         {"    } else {\n        _sr += 1.00000000f; _sg += 1.00000000f; _sb += 1.00000000f;\n    "
          "}\n"},
         {"__sp_smooth"}},
        {"outside coloring guards its index",
         [](Layer& l) { l.outside.final = "#index = 1/0\n"; },
         {"        if (!isfinite((float)color_index)) color_index = 0.0;\n",
          "\n    // outside coloring init\n"},
         {"inside coloring"}},
        {"solid request paints the inside color",
         [](Layer& l) { l.inside_solid = 0xFF; },
         {"    if (_solid) { _sr = 1.00000000f; _sg = 0.00000000f; _sb = 0.00000000f; _sa = 1.0f; "
          "}\n"},
         {"_color_override.w < 0.0f"}},
        {"disabled and empty transforms leave no block",
         [](Layer& l) {
             FormulaEntry t;
             t.transform = "#pixel = #pixel * 2\n";
             t.enabled = false;
             l.transforms = {t, FormulaEntry{}};
         },
         {},
         {"// transform:"}},
    };
    for (const ColoringCase& c : cases) {
        Scene scene = testing::one_layer_scene();
        c.setup(scene.layers[0]);
        const std::string text = layer_text(scene);
        for (const std::string& part : c.present)
            EXPECT_TRUE(contains(text, part)) << c.name << ": " << part;
        for (const std::string& part : c.absent)
            EXPECT_FALSE(contains(text, part)) << c.name << ": " << part;
    }
}

TEST(LayerEmitter, UserFunctionsComeFirstWithLayerNames) {
    Scene scene = testing::one_layer_scene();
    UserFunction f;
    f.name = "twice";
    f.params = {{"complex", "a"}};
    f.body = "return a * 2\n";
    scene.layers[0].formula.user_functions = {f};
    scene.layers[0].formula.loop = "z = twice(z) + c\n";
    const std::string text = layer_text(scene);
    EXPECT_EQ(text.rfind("real2_t L0_twice(real2_t a);\n\nreal2_t L0_twice(real2_t a) {\n", 0), 0u)
        << text;
    EXPECT_TRUE(contains(text, "z = L0_twice(z) + _c_writable;")) << text;
}

TEST(LayerEmitter, TransformBlockSeedsZFromThePixel) {
    Scene scene = testing::one_layer_scene();
    FormulaEntry t;
    t.entry = "Shift";
    t.transform = "#pixel = #pixel + 1\n";
    scene.layers[0].transforms = {t};
    EXPECT_TRUE(
        contains(layer_text(scene),
                 "float _sa = 1.0f;\n\n    // transform: Shift\n    {\n    real2_t z = _pixel;\n"
                 "    _pixel = _pixel + (real2_t)(1, 0.0);\n    }\n\n    // init\n"));
}

}  // namespace
}  // namespace spirelle
