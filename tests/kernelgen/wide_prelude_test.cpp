// The lane-wise library of the wide form against the canonical prelude on
// the CPU device: every lane of a wide function must hold the bits that the
// scalar function gives for that lane's arguments, also where the lanes of
// one vector mix ordinary values with zeros, infinities, NaNs, denormals and
// huge values (which lanes of pixels that stopped iterating carry).
#include "kernelgen/wide_prelude.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "opencl_build.h"

namespace spirelle {
namespace {

using testing::build_program;
using testing::cpu_device;

struct Function {
    const char* name;
    const char* scalar;  // of real2_t a, b (and real_t x, y: their real parts)
    const char* wide;    // of real2v_t a, b (and realv_t x, y)
    int components;      // of the result: 1 real, 2 complex, 4 colour
};

const Function kFunctions[] = {
    {"cmul", "cmul(a, b)", "cmul_v(a, b)", 2},
    {"cdiv", "cdiv(a, b)", "cdiv_v(a, b)", 2},
    {"csin", "csin(a)", "csin_v(a)", 2},
    {"ccos", "ccos(a)", "ccos_v(a)", 2},
    {"csinh", "csinh(a)", "csinh_v(a)", 2},
    {"ccosh", "ccosh(a)", "ccosh_v(a)", 2},
    {"cexp", "cexp(a)", "cexp_v(a)", 2},
    {"clog", "clog(a)", "clog_v(a)", 2},
    {"csqrt", "csqrt(a)", "csqrt_v(a)", 2},
    {"cpow of two varying values", "cpow(a, b)", "cpow_v(a, b)", 2},
    {"cpow of whole exponents per lane", "cpow(a, (real2_t)(floor(fabs(y)), 0))",
     "cpow_v(a, cplx_v(floor(fabs(y)), 0))", 2},
    {"cpow squared", "cpow(a, (real2_t)(2, 0))", "cpow_uv(a, (real2_t)(2, 0))", 2},
    {"cpow by a fraction", "cpow(a, (real2_t)(2.5, 0))", "cpow_uv(a, (real2_t)(2.5, 0))", 2},
    {"cpow by a complex constant", "cpow(a, (real2_t)(0.5, 1))", "cpow_uv(a, (real2_t)(0.5, 1))",
     2},
    {"ctan", "ctan(a)", "ctan_v(a)", 2},
    {"ctanh", "ctanh(a)", "ctanh_v(a)", 2},
    {"ccotan", "ccotan(a)", "ccotan_v(a)", 2},
    {"ccotanh", "ccotanh(a)", "ccotanh_v(a)", 2},
    {"casin", "casin(a)", "casin_v(a)", 2},
    {"cacos", "cacos(a)", "cacos_v(a)", 2},
    {"catan", "catan(a)", "catan_v(a)", 2},
    {"casinh", "casinh(a)", "casinh_v(a)", 2},
    {"cacosh", "cacosh(a)", "cacosh_v(a)", 2},
    {"catanh", "catanh(a)", "catanh_v(a)", 2},
    {"csqr", "csqr(a)", "csqr_v(a)", 2},
    {"cabs_fl", "cabs_fl(a)", "cabs_fl_v(a)", 2},
    {"ccabs_fl", "ccabs_fl(a)", "ccabs_fl_v(a)", 2},
    {"crecip", "crecip(a)", "crecip_v(a)", 2},
    {"cround", "cround(a)", "cround_v(a)", 2},
    {"random", "random(a)", "random_v(a)", 2},
    {"dot", "dot(a, a)", "norm2_v(a)", 1},
    {"length", "length(a)", "length_v(a)", 1},
    {"length of a real", "length(x)", "length_real_v(x)", 1},
    {"sin", "sin(x)", "sin_v(x)", 1},
    {"cos", "cos(x)", "cos_v(x)", 1},
    {"tan", "tan(x)", "tan_v(x)", 1},
    {"asinh", "asinh(x)", "asinh_v(x)", 1},
    {"acosh", "acosh(x)", "acosh_v(x)", 1},
    {"atanh", "atanh(x)", "atanh_v(x)", 1},
    {"sqrt", "sqrt(x)", "sqrt_v(x)", 1},
    {"log", "log(x)", "log_v(x)", 1},
    {"log2", "log2(x)", "log2(x)", 1},
    {"floor", "floor(x)", "floor_v(x)", 1},
    {"round", "round(x)", "round_v(x)", 1},
    {"max", "max(x, y)", "max(x, y)", 1},
    {"exp", "exp(x)", "exp_v(x)", 1},
    {"atan", "atan(x)", "atan_v(x)", 1},
    {"pow", "pow(x, y)", "pow_v(x, y)", 1},
    {"atan2", "atan2(x, y)", "atan2_v(x, y)", 1},
    {"fmod", "fmod(x, y)", "fmod_v(x, y)", 1},
    {"fl_unpack_color", "fl_unpack_color(fabs(x) * 1e6)", "fl_unpack_color_v(fabs(x) * 1e6)", 4},
    {"fl_compose", "fl_compose((real4_t)(a, b), (real4_t)(b, a), x)",
     "fl_compose_v(color_v(a.x, a.y, b.x, b.y), color_v(b.x, b.y, a.x, a.y), x)", 4},
    {"fl_blend", "fl_blend((real4_t)(a, b), (real4_t)(b, a), x)",
     "fl_blend_v(color_v(a.x, a.y, b.x, b.y), color_v(b.x, b.y, a.x, a.y), x)", 4},
    {"fl_hue", "fl_hue((real4_t)(a, b))", "fl_hue_v(color_v(a.x, a.y, b.x, b.y))", 1},
    {"fl_hsl", "fl_hsl(x, y, a.y)", "fl_hsl_v(x, y, a.y)", 4},
};

// Each kernel computes the function per lane with the scalar prelude and
// once over the lanes with the wide library, into separate outputs.
std::string test_kernels(int lanes) {
    const std::string n = std::to_string(lanes);
    std::string text;
    int index = 0;
    for (const Function& f : kFunctions) {
        const char* members[] = {".x", ".y", ".z", ".w"};
        const char* scalar_type = f.components == 1   ? "real_t"
                                  : f.components == 2 ? "real2_t"
                                                      : "real4_t";
        text += "__kernel void f" + std::to_string(index++) +
                "(__global const real_t * in, __global real_t * scalar, __global real_t * wide) "
                "{\n    int i = get_global_id(0);\n    for (int l = 0; l < " +
                n + "; l++) {\n        int k = i * " + n +
                " + l;\n        real2_t a = (real2_t)(in[4 * k], in[4 * k + 1]);\n"
                "        real2_t b = (real2_t)(in[4 * k + 2], in[4 * k + 3]);\n"
                "        real_t x = a.x, y = b.x;\n        " +
                scalar_type + " r = " + f.scalar + ";\n";
        for (int c = 0; c < f.components; ++c) {
            text += "        scalar[4 * k + " + std::to_string(c) + "] = r" +
                    (f.components == 1 ? "" : members[c]) + ";\n";
        }
        text += "    }\n    real_t s[4][" + n + "];\n    for (int l = 0; l < " + n +
                "; l++) for (int c = 0; c < 4; c++) s[c][l] = in[4 * (i * " + n + " + l) + c];\n" +
                "    real2v_t a = cplx_v(load_real_v(s[0]), load_real_v(s[1]));\n"
                "    real2v_t b = cplx_v(load_real_v(s[2]), load_real_v(s[3]));\n"
                "    realv_t x = a.x, y = b.x;\n";
        if (f.components == 1) {
            text += "    store_real_v(" + std::string(f.wide) + ", s[0]);\n";
        } else {
            text += std::string("    ") + (f.components == 2 ? "real2v_t" : "real4v_t") +
                    " r = " + f.wide + ";\n";
            for (int c = 0; c < f.components; ++c) {
                text += "    store_real_v(r" + std::string(members[c]) + ", s[" +
                        std::to_string(c) + "]);\n";
            }
        }
        text += "    for (int l = 0; l < " + n + "; l++) for (int c = 0; c < " +
                std::to_string(f.components) + "; c++) wide[4 * (i * " + n +
                " + l) + c] = s[c][l];\n}\n";
    }
    return text;
}

// Ordinary values of every magnitude, whole numbers, and special values
// scattered among them.
template <typename Real>
std::vector<Real> arguments(size_t count) {
    const Real specials[] = {0,
                             -0.0,
                             1,
                             -1,
                             std::numeric_limits<Real>::infinity(),
                             -std::numeric_limits<Real>::infinity(),
                             std::numeric_limits<Real>::quiet_NaN(),
                             std::numeric_limits<Real>::denorm_min() * 3,
                             std::numeric_limits<Real>::max() / 4,
                             -std::numeric_limits<Real>::min()};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::vector<Real> values(count);
    for (size_t i = 0; i < count; ++i) {
        switch (random() % 8) {
            case 0:
                values[i] = specials[random() % std::size(specials)];
                break;
            case 1:
                values[i] = static_cast<Real>(static_cast<int>(random() % 130) - 65);
                break;
            default:
                values[i] = static_cast<Real>(unit(random) * std::pow(10.0, unit(random) * 12));
        }
    }
    return values;
}

template <typename Real>
bool same_bits(Real a, Real b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::memcmp(&a, &b, sizeof(Real)) == 0;
}

template <typename Real>
void expect_lanes_match_scalars(bool double_precision, int lanes) {
    const std::string source =
        wide_prelude_source(double_precision, lanes, {"blend_normal"}) + test_kernels(lanes);
    testing::BuildResult built = build_program(source, double_precision);
    ASSERT_TRUE(built.ok) << built.log;
    testing::ClDevice& d = cpu_device();
    const size_t values = 4096;
    std::vector<Real> input = arguments<Real>(4 * values);
    cl::Buffer in(d.context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, input.size() * sizeof(Real),
                  input.data());
    cl::Buffer scalar(d.context, CL_MEM_READ_WRITE, input.size() * sizeof(Real));
    cl::Buffer wide(d.context, CL_MEM_READ_WRITE, input.size() * sizeof(Real));
    for (size_t f = 0; f < std::size(kFunctions); ++f) {
        SCOPED_TRACE(kFunctions[f].name);
        cl::Kernel kernel(built.program, ("f" + std::to_string(f)).c_str());
        kernel.setArg(0, in);
        kernel.setArg(1, scalar);
        kernel.setArg(2, wide);
        d.queue.enqueueNDRangeKernel(kernel, cl::NullRange, cl::NDRange(values / lanes));
        std::vector<Real> s(input.size()), w(input.size());
        d.queue.enqueueReadBuffer(scalar, CL_TRUE, 0, s.size() * sizeof(Real), s.data());
        d.queue.enqueueReadBuffer(wide, CL_TRUE, 0, w.size() * sizeof(Real), w.data());
        int mismatches = 0;
        for (size_t k = 0; k < values; ++k) {
            for (int c = 0; c < kFunctions[f].components; ++c) {
                if (!same_bits(s[4 * k + c], w[4 * k + c]) && mismatches++ < 3) {
                    ADD_FAILURE() << "arguments (" << input[4 * k] << ", " << input[4 * k + 1]
                                  << "), (" << input[4 * k + 2] << ", " << input[4 * k + 3]
                                  << ") component " << c << ": " << s[4 * k + c]
                                  << " != " << w[4 * k + c];
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(WidePrelude, EveryLaneHoldsTheBitsOfTheScalarFunction) {
    if (!cpu_device().available) GTEST_SKIP() << "no OpenCL CPU device";
    {
        SCOPED_TRACE("single precision, 16 lanes");
        expect_lanes_match_scalars<float>(false, 16);
    }
    {
        SCOPED_TRACE("double precision, 8 lanes");
        expect_lanes_match_scalars<double>(true, 8);
    }
}

}  // namespace
}  // namespace spirelle
