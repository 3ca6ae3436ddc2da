// The lane-wise library is the canonical prelude written again over lanes,
// expression for expression, so that the OpenCL compiler rounds and fuses
// every lane exactly as it does the canonical scalar code: a complex product
// a.x * b.x - a.y * b.y stays one expression per component.
//
// Builtins whose vector forms round differently from their scalar forms on
// the CPU devices we render on (exp, sinh, atan2, pow, ...) run lane by lane
// through the scalar builtin; so do the colour and blend functions of the
// prelude, which work in float4 per pixel. The text is
// fixed except for the lane count and the types, which the generator writes.
#include "kernelgen/wide_prelude.h"

#include <string_view>

#include "kernelgen/prelude.h"

namespace spirelle {
namespace {

// LANES stands for the lane count in the texts below.
const std::string_view kWideComplex = R"CL(
// ----- complex numbers per lane -----
real2v_t cplx_v(realv_t x, realv_t y) { real2v_t z; z.x = x; z.y = y; return z; }
real4v_t color_v(realv_t r, realv_t g, realv_t b, realv_t a) {
    real4v_t c; c.x = r; c.y = g; c.z = b; c.w = a; return c;
}
real2v_t widen2_v(real2_t c) { return cplx_v((realv_t)(c.x), (realv_t)(c.y)); }
real4v_t widen4_v(real4_t c) {
    return color_v((realv_t)(c.x), (realv_t)(c.y), (realv_t)(c.z), (realv_t)(c.w));
}
// b in the lanes of m, a in the others; bit by bit, which compiles to
// shorter code than select on the devices we render on.
real2v_t blend2_v(real2v_t a, real2v_t b, intv_t m) {
    return cplx_v(blend_v(a.x, b.x, m), blend_v(a.y, b.y, m));
}
real4v_t blend4_v(real4v_t a, real4v_t b, intv_t m) {
    return color_v(blend_v(a.x, b.x, m), blend_v(a.y, b.y, m), blend_v(a.z, b.z, m),
                   blend_v(a.w, b.w, m));
}
intv_t equal4_v(real4v_t a, real4v_t b) {
    return (a.x == b.x) & (a.y == b.y) & (a.z == b.z) & (a.w == b.w);
}
// C integer division, except that no lane divides by zero or overflows: a
// lane that is masked off must not stop the device.
intv_t idiv_v(intv_t a, intv_t b) {
    intv_t unsafe = (b == (intv_t)0) | (b == (intv_t)(-1));
    return blend_int_v(a / blend_int_v(b, (intv_t)1, unsafe), -a, b == (intv_t)(-1));
}
// dot(z, z) as the builtin rounds it: both squares before the sum.
realv_t norm2_v(real2v_t z) {
    realv_t xx = z.x * z.x;
    realv_t yy = z.y * z.y;
    return xx + yy;
}
// length(z): the root of the sum while no square can have overflowed or
// underflowed, else the builtin lane by lane.
realv_t length_v(real2v_t z) {
    realv_t s = norm2_v(z);
    if (all(s > (realv_t)(LENGTH_LOW) && s < (realv_t)(LENGTH_HIGH))) return sqrt_v(s);
    real_t x[LANES], y[LANES];
    store_real_v(z.x, x);
    store_real_v(z.y, y);
    for (int l = 0; l < LANES; l++) x[l] = length((real2_t)(x[l], y[l]));
    return load_real_v(x);
}
real2v_t cmul_v(real2v_t a, real2v_t b) {
    return cplx_v(a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x);
}
real2v_t cdiv_v(real2v_t a, real2v_t b) {
    realv_t d = norm2_v(b);
    return cplx_v((a.x * b.x + a.y * b.y) / d, (a.y * b.x - a.x * b.y) / d);
}
real2v_t csin_v(real2v_t z) { return cplx_v(sin_v(z.x) * cosh_v(z.y), cos_v(z.x) * sinh_v(z.y)); }
real2v_t ccos_v(real2v_t z) { return cplx_v(cos_v(z.x) * cosh_v(z.y), -sin_v(z.x) * sinh_v(z.y)); }
real2v_t csinh_v(real2v_t z) { return cplx_v(sinh_v(z.x) * cos_v(z.y), cosh_v(z.x) * sin_v(z.y)); }
real2v_t ccosh_v(real2v_t z) { return cplx_v(cosh_v(z.x) * cos_v(z.y), sinh_v(z.x) * sin_v(z.y)); }
real2v_t cexp_v(real2v_t z) {
    realv_t e = exp_v(z.x);
    return cplx_v(e * cos_v(z.y), e * sin_v(z.y));
}
real2v_t clog_v(real2v_t z) { return cplx_v(log_v(length_v(z)), atan2_v(z.y, z.x)); }
real2v_t csqrt_v(real2v_t z) {
    realv_t r = length_v(z);
    realv_t s = blend_v((realv_t)(-1), (realv_t)(1), z.y >= (realv_t)(0));
    return cplx_v(sqrt_v((real_t)0.5 * (r + z.x)), s * sqrt_v((real_t)0.5 * (r - z.x)));
}
// Whole exponents 0..64 by repeated multiplication, lane by lane as far as
// each lane's exponent reaches; other exponents through the logarithm.
real2v_t cpow_v(real2v_t z, real2v_t w) {
    intv_t zero = norm2_v(z) == (realv_t)(0);
    intv_t whole = (w.y == (realv_t)(0)) & (floor(w.x) == w.x) & (w.x >= (realv_t)(0)) &
                   (w.x <= (realv_t)(64));
    real2v_t result = cplx_v(1, 0);
    intv_t n = to_int_v(w.x) & whole & ~zero;
    real2v_t base = z;
    while (any(n > (intv_t)0)) {
        intv_t more = n > (intv_t)0;
        result = blend2_v(result, cmul_v(result, base), more & ((n & (intv_t)1) != (intv_t)0));
        base = blend2_v(base, cmul_v(base, base), more);
        n = n >> 1;
    }
    intv_t by_log = ~whole & ~zero;
    if (any(by_log)) result = blend2_v(result, cexp_v(cmul_v(w, clog_v(z))), by_log);
    return blend2_v(result, cplx_v(0, 0), zero);
}
// The same with one exponent for all lanes, the common case of z^2.
real2v_t cpow_uv(real2v_t z, real2_t w) {
    real2v_t result;
    if (w.y == (real_t)0 && floor(w.x) == w.x && w.x >= (real_t)0 && w.x <= (real_t)64) {
        int n = (int)w.x;
        result = cplx_v(1, 0);
        real2v_t base = z;
        while (n > 0) {
            if (n & 1) result = cmul_v(result, base);
            base = cmul_v(base, base);
            n >>= 1;
        }
    } else {
        result = cexp_v(cmul_v(widen2_v(w), clog_v(z)));
    }
    return blend2_v(result, cplx_v(0, 0), norm2_v(z) == (realv_t)(0));
}
real2v_t ctan_v(real2v_t z) { return cdiv_v(csin_v(z), ccos_v(z)); }
real2v_t ctanh_v(real2v_t z) { return cdiv_v(csinh_v(z), ccosh_v(z)); }
real2v_t ccotan_v(real2v_t z) { return cdiv_v(ccos_v(z), csin_v(z)); }
real2v_t ccotanh_v(real2v_t z) { return cdiv_v(ccosh_v(z), csinh_v(z)); }
real2v_t casin_v(real2v_t z) {
    real2v_t iz = cplx_v(-z.y, z.x);
    real2v_t zz = cmul_v(z, z);
    real2v_t s = csqrt_v(cplx_v(1 - zz.x, 0 - zz.y));
    real2v_t l = clog_v(cplx_v(iz.x + s.x, iz.y + s.y));
    return cplx_v(l.y, -l.x);
}
real2v_t cacos_v(real2v_t z) {
    real2v_t zz = cmul_v(z, z);
    real2v_t s = csqrt_v(cplx_v(zz.x - 1, zz.y - 0));
    real2v_t l = clog_v(cplx_v(z.x + s.x, z.y + s.y));
    return cplx_v(l.y, -l.x);
}
real2v_t catan_v(real2v_t z) {
    real2v_t l = clog_v(cdiv_v(cplx_v(0 + z.x, 1 + z.y), cplx_v(0 - z.x, 1 - z.y)));
    return cplx_v((real_t)-0.5 * l.y, (real_t)0.5 * l.x);
}
real2v_t casinh_v(real2v_t z) {
    real2v_t zz = cmul_v(z, z);
    real2v_t s = csqrt_v(cplx_v(zz.x + 1, zz.y + 0));
    return clog_v(cplx_v(z.x + s.x, z.y + s.y));
}
real2v_t cacosh_v(real2v_t z) {
    real2v_t zz = cmul_v(z, z);
    real2v_t s = csqrt_v(cplx_v(zz.x - 1, zz.y - 0));
    return clog_v(cplx_v(z.x + s.x, z.y + s.y));
}
real2v_t catanh_v(real2v_t z) {
    real2v_t l = clog_v(cdiv_v(cplx_v(1 + z.x, 0 + z.y), cplx_v(1 - z.x, 0 - z.y)));
    return cplx_v((real_t)0.5 * l.x, (real_t)0.5 * l.y);
}
real2v_t csqr_v(real2v_t z) { return cplx_v(z.x * z.x - z.y * z.y, (real_t)2 * z.x * z.y); }
real2v_t cabs_fl_v(real2v_t z) { return cplx_v(fabs_v(z.x), fabs_v(z.y)); }
real2v_t ccabs_fl_v(real2v_t z) { return cplx_v(length_v(z), 0); }
real2v_t cconj_v(real2v_t z) { return cplx_v(z.x, -z.y); }
real2v_t cflip_v(real2v_t z) { return cplx_v(z.y, z.x); }
real2v_t cident_v(real2v_t z) { return z; }
real2v_t crecip_v(real2v_t z) { return cdiv_v(cplx_v(1, 0), z); }
real2v_t cceil_v(real2v_t z) { return cplx_v(ceil_v(z.x), ceil_v(z.y)); }
real2v_t cfloor_v(real2v_t z) { return cplx_v(floor_v(z.x), floor_v(z.y)); }
real2v_t ctrunc_v(real2v_t z) { return cplx_v(trunc_v(z.x), trunc_v(z.y)); }
real2v_t cround_v(real2v_t z) { return cplx_v(round_v(z.x), round_v(z.y)); }
real2v_t czero_v(real2v_t z) { return cplx_v(0, 0); }
real2v_t random_v(real2v_t x) {
    real_t a[LANES], b[LANES];
    store_real_v(x.x, a);
    store_real_v(x.y, b);
    for (int l = 0; l < LANES; l++) {
        real2_t r = random((real2_t)(a[l], b[l]));
        a[l] = r.x;
        b[l] = r.y;
    }
    return cplx_v(load_real_v(a), load_real_v(b));
}
)CL";

// Arrays hold a vector per element; lanes read and write the element of
// their own index. An index outside the array reads a zero and stores
// nothing.
const std::string_view kWideArrays = R"CL(
// ----- array elements per lane -----
realv_t gather_v(const realv_t * a, int n, intv_t i) {
    realv_t r = (realv_t)(0);
    for (int k = 0; k < n; k++) r = blend_v(r, a[k], i == (intv_t)(k));
    return r;
}
intv_t gather_int_v(const intv_t * a, int n, intv_t i) {
    intv_t r = (intv_t)(0);
    for (int k = 0; k < n; k++) r = blend_int_v(r, a[k], i == (intv_t)(k));
    return r;
}
real2v_t gather2_v(const real2v_t * a, int n, intv_t i) {
    real2v_t r = cplx_v(0, 0);
    for (int k = 0; k < n; k++) r = blend2_v(r, a[k], i == (intv_t)(k));
    return r;
}
real4v_t gather4_v(const real4v_t * a, int n, intv_t i) {
    real4v_t r = color_v(0, 0, 0, 0);
    for (int k = 0; k < n; k++) r = blend4_v(r, a[k], i == (intv_t)(k));
    return r;
}
void scatter_v(realv_t * a, int n, intv_t i, realv_t v, intv_t m) {
    for (int k = 0; k < n; k++) a[k] = blend_v(a[k], v, m & (i == (intv_t)(k)));
}
void scatter_int_v(intv_t * a, int n, intv_t i, intv_t v, intv_t m) {
    for (int k = 0; k < n; k++) a[k] = blend_int_v(a[k], v, m & (i == (intv_t)(k)));
}
void scatter2_v(real2v_t * a, int n, intv_t i, real2v_t v, intv_t m) {
    for (int k = 0; k < n; k++) a[k] = blend2_v(a[k], v, m & (i == (intv_t)(k)));
}
void scatter4_v(real4v_t * a, int n, intv_t i, real4v_t v, intv_t m) {
    for (int k = 0; k < n; k++) a[k] = blend4_v(a[k], v, m & (i == (intv_t)(k)));
}
)CL";

const std::string_view kWideColor = R"CL(
// ----- colours per lane -----
real4v_t fl_rgb_v(realv_t r, realv_t g, realv_t b) { return color_v(r, g, b, 1); }
real4v_t fl_rgba_v(realv_t r, realv_t g, realv_t b, realv_t a) { return color_v(r, g, b, a); }
realv_t fl_red_v(real4v_t c) { return c.x; }
realv_t fl_green_v(real4v_t c) { return c.y; }
realv_t fl_blue_v(real4v_t c) { return c.z; }
realv_t fl_alpha_v(real4v_t c) { return c.w; }
void split_color_v(real4v_t c, real4_t * out) {
    real_t x[LANES], y[LANES], z[LANES], w[LANES];
    store_real_v(c.x, x);
    store_real_v(c.y, y);
    store_real_v(c.z, z);
    store_real_v(c.w, w);
    for (int l = 0; l < LANES; l++) out[l] = (real4_t)(x[l], y[l], z[l], w[l]);
}
real4v_t join_color_v(const real4_t * in) {
    real_t x[LANES], y[LANES], z[LANES], w[LANES];
    for (int l = 0; l < LANES; l++) {
        x[l] = in[l].x;
        y[l] = in[l].y;
        z[l] = in[l].z;
        w[l] = in[l].w;
    }
    return color_v(load_real_v(x), load_real_v(y), load_real_v(z), load_real_v(w));
}
real4v_t fl_unpack_color_v(realv_t v) {
    real_t a[LANES];
    real4_t c[LANES];
    store_real_v(v, a);
    for (int l = 0; l < LANES; l++) c[l] = fl_unpack_color(a[l]);
    return join_color_v(c);
}
real4v_t fl_gradient_lookup_v(realv_t i, __global const float * gradient_lut, int grad_offset) {
    real_t a[LANES];
    real4_t c[LANES];
    store_real_v(i, a);
    for (int l = 0; l < LANES; l++) c[l] = fl_gradient_lookup(a[l], gradient_lut, grad_offset);
    return join_color_v(c);
}
real4v_t fl_compose_v(real4v_t dst, real4v_t src, realv_t opacity) {
    realv_t a = src.w * opacity;
    realv_t out_a = a + dst.w * ((real_t)1 - a);
    real4v_t c = color_v((src.x * a + dst.x * dst.w * ((real_t)1 - a)) / out_a,
                         (src.y * a + dst.y * dst.w * ((real_t)1 - a)) / out_a,
                         (src.z * a + dst.z * dst.w * ((real_t)1 - a)) / out_a, out_a);
    return blend4_v(c, color_v(0, 0, 0, 0), out_a < (real_t)1e-6);
}
real4v_t fl_blend_v(real4v_t a, real4v_t b, realv_t t) {
    return color_v(a.x * ((real_t)1 - t) + b.x * t, a.y * ((real_t)1 - t) + b.y * t,
                   a.z * ((real_t)1 - t) + b.z * t, a.w * ((real_t)1 - t) + b.w * t);
}
real4v_t fl_normal_v(real4v_t a, real4v_t b) { return b; }
realv_t fl_hue_v(real4v_t c) {
    real4_t s[LANES];
    real_t r[LANES];
    split_color_v(c, s);
    for (int l = 0; l < LANES; l++) r[l] = fl_hue(s[l]);
    return load_real_v(r);
}
realv_t fl_sat_v(real4v_t c) {
    real4_t s[LANES];
    real_t r[LANES];
    split_color_v(c, s);
    for (int l = 0; l < LANES; l++) r[l] = fl_sat(s[l]);
    return load_real_v(r);
}
realv_t fl_lum_v(real4v_t c) {
    real4_t s[LANES];
    real_t r[LANES];
    split_color_v(c, s);
    for (int l = 0; l < LANES; l++) r[l] = fl_lum(s[l]);
    return load_real_v(r);
}
real4v_t fl_hsla_v(realv_t h, realv_t s, realv_t v, realv_t a) {
    real_t hh[LANES], ss[LANES], vv[LANES], aa[LANES];
    real4_t c[LANES];
    store_real_v(h, hh);
    store_real_v(s, ss);
    store_real_v(v, vv);
    store_real_v(a, aa);
    for (int l = 0; l < LANES; l++) c[l] = fl_hsla(hh[l], ss[l], vv[l], aa[l]);
    return join_color_v(c);
}
real4v_t fl_hsl_v(realv_t h, realv_t s, realv_t v) {
    real_t hh[LANES], ss[LANES], vv[LANES];
    real4_t c[LANES];
    store_real_v(h, hh);
    store_real_v(s, ss);
    store_real_v(v, vv);
    for (int l = 0; l < LANES; l++) c[l] = fl_hsl(hh[l], ss[l], vv[l]);
    return join_color_v(c);
}
// ----- straight RGBA per lane, as layers return it -----
void split_rgba_v(float4v_t c, float4 * out) {
    float x[LANES], y[LANES], z[LANES], w[LANES];
    store_float_v(c.x, x);
    store_float_v(c.y, y);
    store_float_v(c.z, z);
    store_float_v(c.w, w);
    for (int l = 0; l < LANES; l++) out[l] = (float4)(x[l], y[l], z[l], w[l]);
}
float4v_t join_rgba_v(const float4 * in) {
    float x[LANES], y[LANES], z[LANES], w[LANES];
    for (int l = 0; l < LANES; l++) {
        x[l] = in[l].x;
        y[l] = in[l].y;
        z[l] = in[l].z;
        w[l] = in[l].w;
    }
    float4v_t c;
    c.x = load_float_v(x);
    c.y = load_float_v(y);
    c.z = load_float_v(z);
    c.w = load_float_v(w);
    return c;
}
)CL";

// The most common merge mode computed over lanes, expression for
// expression as blend_normal computes one pixel.
const std::string_view kWideBlendNormal =
    R"CL(float4v_t blend_normal_v(float4v_t dst, float4v_t src, float opacity) {
    if (opacity <= 0.0f) return dst;
    floatv_t a = src.w * opacity;
    floatv_t out_a = a + dst.w * (1.0f - a);
    float4v_t c;
    c.x = (src.x * a + dst.x * dst.w * (1.0f - a)) / out_a;
    c.y = (src.y * a + dst.y * dst.w * (1.0f - a)) / out_a;
    c.z = (src.z * a + dst.z * dst.w * (1.0f - a)) / out_a;
    c.w = out_a;
    fmaskv_t clear = out_a < 1e-6f;
    c.x = blendf_v(c.x, (floatv_t)(0.0f), clear);
    c.y = blendf_v(c.y, (floatv_t)(0.0f), clear);
    c.z = blendf_v(c.z, (floatv_t)(0.0f), clear);
    c.w = blendf_v(c.w, (floatv_t)(0.0f), clear);
    return c;
}
)CL";

void replace_all(std::string& text, std::string_view from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// A builtin over lanes, named after it with "_v": the vector builtin where
// it gives every lane the bits of the scalar one, also when the other lanes
// hold infinities, NaNs, denormals or huge values; else the scalar builtin
// lane by lane. `wide_name` overrides the name.
// With `vector_below`, a one-argument builtin is lane-exact only while every
// lane's argument lies below that magnitude: the vector builtin then, lane
// by lane otherwise.
std::string lane_builtin(const std::string& name, int arity, bool vector_form,
                         std::string wide_name = "", const std::string& vector_below = "") {
    if (wide_name.empty()) wide_name = name + "_v";
    const std::string params = arity == 1 ? "(realv_t x)" : "(realv_t x, realv_t y)";
    if (vector_form) {
        return "realv_t " + wide_name + params + " { return " + name +
               (arity == 1 ? "(x); }\n" : "(x, y); }\n");
    }
    std::string text = "realv_t " + wide_name + params + " {\n";
    if (!vector_below.empty()) {
        text += "    if (all(fabs(x) < (realv_t)(" + vector_below + "))) return " + name + "(x);\n";
    }
    text += "    real_t a[LANES]";
    text += arity == 1 ? ";\n    store_real_v(x, a);\n"
                       : ", b[LANES];\n    store_real_v(x, a);\n    store_real_v(y, b);\n";
    text += "    for (int l = 0; l < LANES; l++) a[l] = " + name +
            (arity == 1 ? "(a[l]);\n" : "(a[l], b[l]);\n");
    return text + "    return load_real_v(a);\n}\n";
}

std::string lane_types(bool double_precision, int lanes) {
    const std::string n = std::to_string(lanes);
    const std::string real = (double_precision ? "double" : "float") + n;
    const std::string integer = (double_precision ? "long" : "int") + n;
    const std::string floats = "float" + n;
    const std::string fmask = "int" + n;
    std::string indices;
    for (int l = 0; l < lanes; ++l) indices += (l ? ", " : "") + std::to_string(l);
    std::string text =
        "\n// ----- wide form: " + n +
        " adjacent pixels per work item, one per lane -----\n"
        "typedef " +
        real +
        " realv_t;   // a real per lane\n"
        "typedef " +
        integer +
        " intv_t;     // an integer per lane; as a mask -1 where true, 0 where false\n"
        "typedef " +
        floats +
        " floatv_t;  // a colour channel per lane\n"
        "typedef " +
        fmask +
        " fmaskv_t;    // a mask of floatv_t lanes\n"
        "typedef struct { realv_t x, y; } real2v_t;          // a complex per lane\n"
        "typedef struct { realv_t x, y, z, w; } real4v_t;    // a colour per lane\n"
        "typedef struct { floatv_t x, y, z, w; } float4v_t;  // straight RGBA per lane\n";
    text += "realv_t to_real_v(intv_t v) { return convert_" + real + "(v); }\n";
    text += "intv_t to_int_v(realv_t v) { return convert_" + integer + "(v); }\n";
    if (double_precision) {
        text += "floatv_t to_float_v(realv_t v) { return convert_" + floats + "(v); }\n";
        text += "realv_t from_float_v(floatv_t v) { return convert_" + real + "(v); }\n";
        text += "fmaskv_t fmask_v(intv_t m) { return convert_" + fmask + "(m); }\n";
        text += "intv_t from_fmask_v(fmaskv_t m) { return convert_" + integer + "(m); }\n";
    } else {
        text += "floatv_t to_float_v(realv_t v) { return v; }\n";
        text += "realv_t from_float_v(floatv_t v) { return v; }\n";
        text += "fmaskv_t fmask_v(intv_t m) { return m; }\n";
        text += "intv_t from_fmask_v(fmaskv_t m) { return m; }\n";
    }
    text += "intv_t lane_index_v(void) { return (intv_t)(" + indices + "); }\n";
    text += "fmaskv_t to_index_v(floatv_t v) { return convert_" + fmask + "(v); }\n";
    text += "void store_index_v(fmaskv_t v, int * p) { vstore" + n + "(v, 0, p); }\n";
    text += "realv_t blend_v(realv_t a, realv_t b, intv_t m) {\n    return as_" + real + "((as_" +
            integer + "(a) & ~m) | (as_" + integer + "(b) & m));\n}\n";
    text += "intv_t blend_int_v(intv_t a, intv_t b, intv_t m) { return (a & ~m) | (b & m); }\n";
    text += "floatv_t blendf_v(floatv_t a, floatv_t b, fmaskv_t m) {\n    return as_" + floats +
            "((as_" + fmask + "(a) & ~m) | (as_" + fmask + "(b) & m));\n}\n";
    text += "void store_real_v(realv_t v, real_t * p) { vstore" + n + "(v, 0, p); }\n";
    text += "realv_t load_real_v(const real_t * p) { return vload" + n + "(0, p); }\n";
    text += "void store_float_v(floatv_t v, float * p) { vstore" + n + "(v, 0, p); }\n";
    text += "floatv_t load_float_v(const float * p) { return vload" + n + "(0, p); }\n";
    return text;
}

}  // namespace

std::string wide_prelude_source(bool double_precision, int lanes,
                                const std::vector<std::string>& blend_functions) {
    // Lane-exact vector builtins on the CPU devices we render on, measured
    // by the test of this library; sin, cos and tan of float vectors take a
    // slower path for all lanes once any lane's argument is large, and that
    // path rounds differently from the scalar builtin.
    std::string lane_library;
    for (const char* name :
         {"asinh", "acosh", "atanh", "sqrt", "log", "fabs", "floor", "ceil", "trunc", "round"}) {
        lane_library += lane_builtin(name, 1, true);
    }
    for (const char* name : {"sin", "cos", "tan"}) {
        lane_library += lane_builtin(name, 1, double_precision, "", "65536.0f");
    }
    for (const char* name : {"exp", "sinh", "cosh", "tanh", "asin", "acos", "atan"}) {
        lane_library += lane_builtin(name, 1, false);
    }
    for (const char* name : {"pow", "atan2", "fmod"}) lane_library += lane_builtin(name, 2, false);
    // the length of a real, which cabs of a real calls
    lane_library += lane_builtin("length", 1, false, "length_real_v");
    lane_library += kWideComplex;
    lane_library += kWideArrays;
    lane_library += kWideColor;
    for (const std::string& blend : blend_functions) {
        if (blend == "blend_normal") {
            lane_library += kWideBlendNormal;
            continue;
        }
        lane_library += "float4v_t " + blend +
                        "_v(float4v_t dst, float4v_t src, float opacity) {\n"
                        "    float4 d[LANES], s[LANES];\n"
                        "    split_rgba_v(dst, d);\n    split_rgba_v(src, s);\n"
                        "    for (int l = 0; l < LANES; l++) d[l] = " +
                        blend + "(d[l], s[l], opacity);\n    return join_rgba_v(d);\n}\n";
    }
    replace_all(lane_library, "LANES", std::to_string(lanes));
    // Squares in this range neither overflowed nor underflowed.
    replace_all(lane_library, "LENGTH_LOW", double_precision ? "1e-300" : "1e-30f");
    replace_all(lane_library, "LENGTH_HIGH", double_precision ? "1e300" : "1e30f");
    return prelude_source(double_precision) + lane_types(double_precision, lanes) + lane_library;
}

}  // namespace spirelle
