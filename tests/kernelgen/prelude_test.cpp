// Runs the prelude on the OpenCL CPU device and compares it with values
// computed on the host. All probes of one precision share one program, since
// every build costs seconds.
#include "kernelgen/prelude.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <sstream>

#include "kernelgen/layer_emitter.h"
#include "opencl_build.h"

namespace spirelle {
namespace {

using testing::build_program;
using testing::cpu_device;
using cd = std::complex<double>;

// kind: "c" real2_t, "r" real_t, "r4" real4_t, "f3" float3, "f4" float4.
struct Probe {
    const char* name;
    const char* kind;
    std::string expr;
    std::array<double, 4> expected;
    double tolerance;  // absolute, in single precision; double runs use a tenth
};

std::array<double, 4> c(cd z) { return {z.real(), z.imag(), 0, 0}; }

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<Probe> probes() {
    const cd z(0.7, -0.4), w(-1.3, 0.9);
    return {
        {"csin", "c", "csin((real2_t)(0.7, -0.4))", c(std::sin(z)), 1e-5},
        {"ccos", "c", "ccos((real2_t)(-1.3, 0.9))", c(std::cos(w)), 1e-5},
        {"cexp", "c", "cexp((real2_t)(-1.3, 0.9))", c(std::exp(w)), 1e-5},
        {"clog", "c", "clog((real2_t)(-1.3, 0.9))", c(std::log(w)), 1e-5},
        {"csqrt", "c", "csqrt((real2_t)(0.7, -0.4))", c(std::sqrt(z)), 1e-5},
        {"csqrt of a negative real", "c", "csqrt((real2_t)(-4.0, 0.0))", {0, 2, 0, 0}, 1e-6},
        {"csqrt of -0.0 imaginary stays upper",
         "c",
         "csqrt((real2_t)(-4.0, -0.0))",
         {0, 2, 0, 0},
         1e-6},
        {"cpow integer exponent is exact",
         "c",
         "cpow((real2_t)(2.0, 0.0), (real2_t)(3.0, 0.0))",
         {8, 0, 0, 0},
         0},
        {"cpow keeps a real base real",
         "c",
         "cpow((real2_t)(-1.5, 0.0), (real2_t)(7.0, 0.0))",
         {std::pow(-1.5, 7), 0, 0, 0},
         0},
        {"cpow integer of complex", "c", "cpow((real2_t)(0.7, -0.4), (real2_t)(5.0, 0.0))",
         c(std::pow(z, 5)), 1e-5},
        {"cpow non-integer", "c", "cpow((real2_t)(0.7, -0.4), (real2_t)(2.5, 0.0))",
         c(std::pow(z, 2.5)), 1e-5},
        {"cpow above 64 takes the log path", "c",
         "cpow((real2_t)(1.01, 0.0), (real2_t)(65.0, 0.0))", c(std::pow(1.01, 65)), 1e-4},
        {"cpow complex exponent", "c", "cpow((real2_t)(0.7, -0.4), (real2_t)(-1.3, 0.9))",
         c(std::pow(z, w)), 1e-5},
        {"cpow of zero", "c", "cpow((real2_t)(0.0, 0.0), (real2_t)(-1.3, 0.9))", {0, 0, 0, 0}, 0},
        {"casin", "c", "casin((real2_t)(0.7, -0.4))", c(std::asin(z)), 1e-5},
        {"cacos", "c", "cacos((real2_t)(0.7, 0.4))", c(std::acos(cd(0.7, 0.4))), 1e-5},
        {"catan", "c", "catan((real2_t)(0.7, -0.4))", c(std::atan(z)), 1e-5},
        {"catanh", "c", "catanh((real2_t)(0.7, -0.4))", c(std::atanh(z)), 1e-5},
        {"casinh", "c", "casinh((real2_t)(-1.3, 0.9))", c(std::asinh(w)), 1e-5},
        {"ctan", "c", "ctan((real2_t)(0.7, -0.4))", c(std::tan(z)), 1e-5},
        {"cdiv", "c", "cdiv((real2_t)(0.7, -0.4), (real2_t)(-1.3, 0.9))", c(z / w), 1e-6},
        {"crecip", "c", "crecip((real2_t)(-1.3, 0.9))", c(1.0 / w), 1e-6},
        {"random of zero", "c", "random((real2_t)(0.0, 0.0))", {12345, 0, 0, 0}, 0},
        {"unpack opaque black", "r4", "fl_unpack_color(4278190080.0)", {0, 0, 0, 1}, 0},
        {"unpack red in the low byte", "r4", "fl_unpack_color(255.0)", {1, 0, 0, 0}, 0},
        {"hsl of red", "f3", "rgb_to_hsl3(1.0f, 0.0f, 0.0f)", {0, 1, 0.5, 0}, 1e-6},
        {"hsl of green", "f3", "rgb_to_hsl3(0.0f, 1.0f, 0.0f)", {1.0 / 3, 1, 0.5, 0}, 1e-6},
        {"hsl of steel blue",
         "f3",
         "rgb_to_hsl3(0.2f, 0.4f, 0.6f)",
         {210.0 / 360, 0.5, 0.4, 0},
         1e-6},
        {"hsl of grey has no hue", "f3", "rgb_to_hsl3(0.3f, 0.3f, 0.3f)", {0, 0, 0.3, 0}, 1e-6},
        {"rgb of steel blue",
         "f3",
         "hsl_to_rgb3(210.0f / 360.0f, 0.5f, 0.4f)",
         {0.2, 0.4, 0.6, 0},
         1e-6},
        {"rgb of pale yellow", "r4", "fl_hsl(1.0 / 6.0, 1.0, 0.75)", {1, 1, 0.5, 1}, 1e-6},
        {"multiply",
         "f4",
         "blend_multiply((float4)(0.5f, 0.5f, 0.5f, 1.0f), (float4)(0.2f, 0.4f, 0.6f, 1.0f), 1.0f)",
         {0.1, 0.2, 0.3, 1},
         1e-6},
        {"screen at half opacity",
         "f4",
         "blend_screen((float4)(0.5f, 0.5f, 0.5f, 1.0f), (float4)(0.2f, 0.4f, 0.6f, 1.0f), 0.5f)",
         {0.55, 0.6, 0.65, 1},
         1e-6},
        {"subtraction clamps below zero",
         "f4",
         "blend_subtraction((float4)(0.2f, 0.5f, 0.5f, 1.0f), (float4)(0.6f, 0.1f, 0.5f, 1.0f), "
         "1.0f)",
         {0, 0.4, 0, 1},
         1e-6},
        {"opacity 0 keeps dst although src is NaN",
         "f4",
         "blend_overlay((float4)(0.1f, 0.2f, 0.3f, 0.4f), (float4)(NAN, NAN, NAN, NAN), 0.0f)",
         {0.1, 0.2, 0.3, 0.4},
         1e-6},
        {"blend on a transparent canvas is the source",
         "f4",
         "blend_difference((float4)(0.0f, 0.0f, 0.0f, 0.0f), (float4)(0.2f, 0.4f, 0.6f, 1.0f), "
         "1.0f)",
         {0.2, 0.4, 0.6, 1},
         1e-6},
        {"normal at half opacity over opaque",
         "f4",
         "blend_normal((float4)(1.0f, 1.0f, 1.0f, 1.0f), (float4)(0.0f, 0.0f, 0.0f, 1.0f), 0.5f)",
         {0.5, 0.5, 0.5, 1},
         1e-6},
        {"hsladd with mid grey lowers saturation only",
         "f4",
         "blend_hsladd((float4)(0.2f, 0.4f, 0.6f, 1.0f), (float4)(0.5f, 0.5f, 0.5f, 1.0f), 1.0f)",
         {0.4, 0.4, 0.4, 1},
         1e-6},
        {"hue takes the source hue",
         "f4",
         "blend_hue((float4)(0.2f, 0.4f, 0.6f, 1.0f), (float4)(1.0f, 0.0f, 0.0f, 1.0f), 1.0f)",
         {0.6, 0.2, 0.2, 1},
         1e-6},
        {"green channel from the source",
         "f4",
         "blend_green((float4)(0.1f, 0.2f, 0.3f, 1.0f), (float4)(0.7f, 0.8f, 0.9f, 1.0f), 1.0f)",
         {0.1, 0.8, 0.3, 1},
         1e-6},
        // The table used below: entry k has red k/4000, green 0.25, blue 0
        // below entry 2000 and 1 from there on, alpha 1.
        {"lookup wraps above one",
         "r4",
         "fl_gradient_lookup(1.25, lut, 0)",
         {0.25, 0.25, 0, 1},
         1e-6},
        {"lookup wraps below zero",
         "r4",
         "fl_gradient_lookup(-0.25, lut, 0)",
         {0.75, 0.25, 1, 1},
         1e-6},
        {"lookup interpolates",
         "r4",
         "fl_gradient_lookup(1000.5 / 4000.0, lut, 0)",
         {1000.5 / 4000, 0.25, 0, 1},
         1e-5},
        {"lookup keeps a hard step hard",
         "r4",
         "fl_gradient_lookup(1999.5 / 4000.0, lut, 0)",
         {1999.0 / 4000, 0.25, 0, 1},
         1e-5},
        {"lookup of NaN reads entry 0",
         "r4",
         "fl_gradient_lookup(NAN, lut, 0)",
         {0, 0.25, 0, 1},
         0},
        {"lookup of infinity reads entry 0",
         "r4",
         "fl_gradient_lookup(INFINITY, lut, 0)",
         {0, 0.25, 0, 1},
         0},
        {"emitted lookup, clamped 1.0 reads entry 0",
         "f4",
         "emitted_clamped(1.0, lut)",
         {0, 0.25, 0, 1},
         0},
        {"emitted lookup, NaN reads entry 0", "f4", "emitted_repeat(NAN, lut)", {0, 0.25, 0, 1}, 0},
        {"emitted lookup, log transfer of -2 reads entry 0",
         "f4",
         "emitted_log(-2.0, lut)",
         {0, 0.25, 0, 1},
         0},
        {"emitted lookup, density and wrap",
         "f4",
         "emitted_repeat(0.625, lut)",
         {0.25, 0.25, 0, 1},
         1e-6},
    };
}

std::string lookup_function(const char* name, const std::string& transfer, double density,
                            bool repeat) {
    std::ostringstream out;
    out.precision(17);
    out << "float4 " << name << "(real_t color_index, __global const float * gradient_lut) {\n"
        << "    float _sr = 0.0f, _sg = 0.0f, _sb = 0.0f, _sa = 1.0f;\n";
    emit_gradient_lookup(out, transfer, density, repeat, 0);
    out << "    return (float4)(_sr, _sg, _sb, _sa);\n}\n";
    return out.str();
}

std::string probe_program(bool double_precision, const std::vector<Probe>& list) {
    std::string source = prelude_source(double_precision);
    source += lookup_function("emitted_clamped", "linear", 1.0, false);
    source += lookup_function("emitted_repeat", "linear", 2.0, true);
    source += lookup_function("emitted_log", "log", 1.0, true);
    source += "__kernel void probe(__global const float * lut, __global real4_t * out) {\n";
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string kind = list[i].kind;
        const std::string index = std::to_string(i);
        if (kind == "c") {
            source += "    { real2_t v = " + list[i].expr + "; out[" + index +
                      "] = (real4_t)(v.x, v.y, 0, 0); }\n";
        } else if (kind == "f3") {
            source += "    { float3 v = " + list[i].expr + "; out[" + index +
                      "] = (real4_t)(v.x, v.y, v.z, 0); }\n";
        } else {
            source += "    { real4_t v = convert_" +
                      std::string(double_precision ? "double4" : "float4") + "(" + list[i].expr +
                      "); out[" + index + "] = v; }\n";
        }
    }
    return source + "}\n";
}

std::vector<float> probe_lut() {
    std::vector<float> lut(16000);
    for (int k = 0; k < 4000; ++k) {
        lut[4 * k + 0] = static_cast<float>(k) / 4000.0f;
        lut[4 * k + 1] = 0.25f;
        lut[4 * k + 2] = k < 2000 ? 0.0f : 1.0f;
        lut[4 * k + 3] = 1.0f;
    }
    return lut;
}

template <typename Real>
void run_probes(bool double_precision) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    const std::vector<Probe> list = probes();
    testing::BuildResult build =
        build_program(probe_program(double_precision, list), double_precision);
    ASSERT_TRUE(build.ok) << build.log;

    testing::ClDevice& d = cpu_device();
    std::vector<float> lut = probe_lut();
    cl::Buffer lut_buffer(d.context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR,
                          lut.size() * sizeof(float), lut.data());
    std::vector<Real> out(list.size() * 4);
    cl::Buffer out_buffer(d.context, CL_MEM_WRITE_ONLY, out.size() * sizeof(Real));
    cl::Kernel kernel(build.program, "probe");
    kernel.setArg(0, lut_buffer);
    kernel.setArg(1, out_buffer);
    d.queue.enqueueNDRangeKernel(kernel, cl::NullRange, cl::NDRange(1));
    d.queue.enqueueReadBuffer(out_buffer, CL_TRUE, 0, out.size() * sizeof(Real), out.data());

    const double scale = double_precision ? 0.1 : 1.0;
    for (size_t i = 0; i < list.size(); ++i) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_NEAR(out[4 * i + k], list[i].expected[k], list[i].tolerance * scale)
                << list[i].name << ", component " << k;
        }
    }
}

TEST(Prelude, MatchesHostValuesInSinglePrecision) { run_probes<float>(false); }

TEST(Prelude, MatchesHostValuesInDoublePrecision) { run_probes<double>(true); }

}  // namespace
}  // namespace spirelle
