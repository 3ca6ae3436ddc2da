// The prelude is OpenCL C kept as three raw strings. Functions appear before
// their first use because OpenCL C has no implicit declarations.
#include "kernelgen/prelude.h"

#include "kernelgen/gradient_table.h"

namespace spirelle {

const std::string_view kPreludeComplex = R"CL(
// ----- complex numbers: real2_t is (re, im) -----
real2_t cmul(real2_t a, real2_t b) { return (real2_t)(a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x); }
real2_t cdiv(real2_t a, real2_t b) {
    real_t d = dot(b, b);
    return (real2_t)(a.x * b.x + a.y * b.y, a.y * b.x - a.x * b.y) / d;
}
real2_t csin(real2_t z) { return (real2_t)(sin(z.x) * cosh(z.y), cos(z.x) * sinh(z.y)); }
real2_t ccos(real2_t z) { return (real2_t)(cos(z.x) * cosh(z.y), -sin(z.x) * sinh(z.y)); }
real2_t csinh(real2_t z) { return (real2_t)(sinh(z.x) * cos(z.y), cosh(z.x) * sin(z.y)); }
real2_t ccosh(real2_t z) { return (real2_t)(cosh(z.x) * cos(z.y), sinh(z.x) * sin(z.y)); }
real2_t cexp(real2_t z) { return exp(z.x) * (real2_t)(cos(z.y), sin(z.y)); }
real2_t clog(real2_t z) { return (real2_t)(log(length(z)), atan2(z.y, z.x)); }
// Principal root; a -0.0 imaginary part counts as the upper half-plane.
real2_t csqrt(real2_t z) {
    real_t r = length(z);
    real_t s = z.y >= (real_t)0 ? (real_t)1 : (real_t)-1;
    return (real2_t)(sqrt((real_t)0.5 * (r + z.x)), s * sqrt((real_t)0.5 * (r - z.x)));
}
// Whole exponents 0..64 multiply repeatedly so that a real base stays exactly
// real; the logarithm path would add imaginary noise that grows per iteration.
real2_t cpow(real2_t z, real2_t w) {
    if (dot(z, z) == (real_t)0) return (real2_t)(0, 0);
    if (w.y == (real_t)0 && floor(w.x) == w.x && w.x >= (real_t)0 && w.x <= (real_t)64) {
        int n = (int)w.x;
        real2_t result = (real2_t)(1, 0);
        real2_t base = z;
        while (n > 0) {
            if (n & 1) result = cmul(result, base);
            base = cmul(base, base);
            n >>= 1;
        }
        return result;
    }
    return cexp(cmul(w, clog(z)));
}
real2_t ctan(real2_t z) { return cdiv(csin(z), ccos(z)); }
real2_t ctanh(real2_t z) { return cdiv(csinh(z), ccosh(z)); }
real2_t ccotan(real2_t z) { return cdiv(ccos(z), csin(z)); }
real2_t ccotanh(real2_t z) { return cdiv(ccosh(z), csinh(z)); }
// asin z = -i log(iz + sqrt(1 - z^2))
real2_t casin(real2_t z) {
    real2_t iz = (real2_t)(-z.y, z.x);
    real2_t s = csqrt((real2_t)(1, 0) - cmul(z, z));
    real2_t l = clog(iz + s);
    return (real2_t)(l.y, -l.x);
}
// acos z = -i log(z + sqrt(z^2 - 1))
real2_t cacos(real2_t z) {
    real2_t s = csqrt(cmul(z, z) - (real2_t)(1, 0));
    real2_t l = clog(z + s);
    return (real2_t)(l.y, -l.x);
}
// atan z = (i / 2) log((i + z) / (i - z))
real2_t catan(real2_t z) {
    real2_t i = (real2_t)(0, 1);
    real2_t l = clog(cdiv(i + z, i - z));
    return (real2_t)((real_t)-0.5 * l.y, (real_t)0.5 * l.x);
}
real2_t casinh(real2_t z) { return clog(z + csqrt(cmul(z, z) + (real2_t)(1, 0))); }
real2_t cacosh(real2_t z) { return clog(z + csqrt(cmul(z, z) - (real2_t)(1, 0))); }
real2_t catanh(real2_t z) {
    return (real_t)0.5 * clog(cdiv((real2_t)(1, 0) + z, (real2_t)(1, 0) - z));
}
real2_t csqr(real2_t z) { return (real2_t)(z.x * z.x - z.y * z.y, (real_t)2 * z.x * z.y); }
real2_t cabs_fl(real2_t z) { return fabs(z); }
real2_t ccabs_fl(real2_t z) { return (real2_t)(length(z), 0); }
real2_t cconj(real2_t z) { return (real2_t)(z.x, -z.y); }
real2_t cflip(real2_t z) { return (real2_t)(z.y, z.x); }
real2_t cident(real2_t z) { return z; }
real2_t crecip(real2_t z) { return cdiv((real2_t)(1, 0), z); }
real2_t cceil(real2_t z) { return ceil(z); }
real2_t cfloor(real2_t z) { return floor(z); }
real2_t ctrunc(real2_t z) { return trunc(z); }
real2_t cround(real2_t z) { return round(z); }
real_t rzero(real_t z) { return (real_t)0; }
real2_t czero(real2_t z) { return (real2_t)(0, 0); }
)CL";

const std::string_view kPreludeColor = R"CL(
// ----- colours: real4_t is straight (r, g, b, a) in 0..1 -----
real4_t fl_rgb(real_t r, real_t g, real_t b) { return (real4_t)(r, g, b, 1); }
real4_t fl_rgba(real_t r, real_t g, real_t b, real_t a) { return (real4_t)(r, g, b, a); }
real_t fl_red(real4_t c) { return c.x; }
real_t fl_green(real4_t c) { return c.y; }
real_t fl_blue(real4_t c) { return c.z; }
real_t fl_alpha(real4_t c) { return c.w; }
// Formula files pack colours as 32-bit ARGB with red in the lowest byte.
real4_t fl_unpack_color(real_t v) {
    uint u = (uint)v;
    return (real4_t)(u & 0xFFu, (u >> 8) & 0xFFu, (u >> 16) & 0xFFu, (u >> 24) & 0xFFu) *
           ((real_t)1 / (real_t)255);
}
// Reads the layer's slice of the gradient table at a wrapped position. A
// non-finite position reads entry 0 so the read never leaves the slice.
real4_t fl_gradient_lookup(real_t i, __global const float * gradient_lut, int grad_offset) {
    real_t t = i - floor(i);
    if (!isfinite(t)) t = (real_t)0;
    real_t fidx = t * (real_t)GRADIENT_LUT_RES;
    int idx0 = ((int)fidx) % GRADIENT_LUT_RES;
    if (idx0 < 0) idx0 += GRADIENT_LUT_RES;
    int idx1 = (idx0 + 1) % GRADIENT_LUT_RES;
    real_t frac = fidx - floor(fidx);
    __global const float * e0 = gradient_lut + grad_offset + 4 * idx0;
    __global const float * e1 = gradient_lut + grad_offset + 4 * idx1;
    real4_t c0 = (real4_t)(e0[0], e0[1], e0[2], e0[3]);
    real4_t c1 = (real4_t)(e1[0], e1[1], e1[2], e1[3]);
    // Neighbours this far apart straddle a hard step, which must stay hard.
    if (fabs(c1.x - c0.x) > (real_t)0.5 || fabs(c1.y - c0.y) > (real_t)0.5 ||
        fabs(c1.z - c0.z) > (real_t)0.5)
        return c0;
    return c0 * ((real_t)1 - frac) + c1 * frac;
}
// src over dst on straight colours.
real4_t fl_compose(real4_t dst, real4_t src, real_t opacity) {
    real_t a = src.w * opacity;
    real_t out_a = a + dst.w * ((real_t)1 - a);
    if (out_a < (real_t)1e-6) return (real4_t)(0, 0, 0, 0);
    real4_t c = (src * a + dst * dst.w * ((real_t)1 - a)) / out_a;
    c.w = out_a;
    return c;
}
real4_t fl_blend(real4_t a, real4_t b, real_t t) { return a * ((real_t)1 - t) + b * t; }
real4_t fl_normal(real4_t a, real4_t b) { return b; }
// The formula language's pseudo-random step: one linear congruential step
// with 32-bit wrap-around.
real2_t random(real2_t x) {
    int v = (int)x.x;
    v = (int)((uint)v * 1103515245u + 12345u);
    return (real2_t)((real_t)(v & 0x7fffffff), (real_t)((v >> 15) & 0x7fffffff));
}
)CL";

const std::string_view kPreludeBlend = R"CL(
// ----- HSL and layer blending, always in float -----
float3 rgb_to_hsl3(float r, float g, float b) {
    float mx = max(r, max(g, b));
    float mn = min(r, min(g, b));
    float l = 0.5f * (mx + mn);
    float d = mx - mn;
    float h = 0.0f, s = 0.0f;
    if (d > 1e-6f) {
        s = l < 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
        if (mx == r)
            h = (g - b) / d + (g < b ? 6.0f : 0.0f);
        else if (mx == g)
            h = (b - r) / d + 2.0f;
        else
            h = (r - g) / d + 4.0f;
        h /= 6.0f;
    }
    return (float3)(h, s, l);
}
float _hsl_chan(float n, float h, float s, float l) {
    float k = fmod(n + 12.0f * h, 12.0f);
    float a = s * min(l, 1.0f - l);
    return l - a * max(-1.0f, min(min(k - 3.0f, 9.0f - k), 1.0f));
}
float3 hsl_to_rgb3(float h, float s, float l) {
    return (float3)(_hsl_chan(0.0f, h, s, l), _hsl_chan(8.0f, h, s, l), _hsl_chan(4.0f, h, s, l));
}
real_t fl_hue(real4_t c) { return rgb_to_hsl3((float)c.x, (float)c.y, (float)c.z).x; }
real_t fl_sat(real4_t c) { return rgb_to_hsl3((float)c.x, (float)c.y, (float)c.z).y; }
real_t fl_lum(real4_t c) { return rgb_to_hsl3((float)c.x, (float)c.y, (float)c.z).z; }
real4_t fl_hsl(real_t h, real_t s, real_t l) {
    float3 c = hsl_to_rgb3((float)h, (float)s, (float)l);
    return (real4_t)(c.x, c.y, c.z, 1);
}
real4_t fl_hsla(real_t h, real_t s, real_t l, real_t a) {
    float3 c = hsl_to_rgb3((float)h, (float)s, (float)l);
    return (real4_t)(c.x, c.y, c.z, a);
}
// Compositing of straight colours: where the canvas is transparent the blend
// collapses to the source, so the bottom layer's mode does not matter. The
// opacity test comes first so a faded-out layer holding NaN stays invisible.
float4 _finalize(float3 dst_rgb, float3 src_rgb, float3 blended_rgb, float src_alpha,
                 float opacity, float dst_alpha) {
    if (opacity <= 0.0f) return (float4)(dst_rgb, dst_alpha);
    float a = src_alpha * opacity;
    float out_a = a + dst_alpha * (1.0f - a);
    if (out_a < 1e-6f) return (float4)(0.0f, 0.0f, 0.0f, 0.0f);
    float3 eff = mix(src_rgb, clamp(blended_rgb, 0.0f, 1.0f), dst_alpha);
    float3 out_rgb = (a * eff + dst_alpha * (1.0f - a) * dst_rgb) / out_a;
    return (float4)(clamp(out_rgb, 0.0f, 1.0f), out_a);
}
float4 blend_normal(float4 dst, float4 src, float opacity) {
    if (opacity <= 0.0f) return dst;
    float a = src.w * opacity;
    float out_a = a + dst.w * (1.0f - a);
    if (out_a < 1e-6f) return (float4)(0.0f, 0.0f, 0.0f, 0.0f);
    float3 rgb = (src.xyz * a + dst.xyz * dst.w * (1.0f - a)) / out_a;
    return (float4)(rgb, out_a);
}
#define BLEND_FN(name, expr) \
float4 blend_##name(float4 dst, float4 src, float opacity) { \
    float3 d = dst.xyz; \
    float3 s = src.xyz; \
    return _finalize(d, s, (expr), src.w, opacity, dst.w); \
}
BLEND_FN(multiply, d * s)
BLEND_FN(screen, 1.0f - (1.0f - d) * (1.0f - s))
BLEND_FN(darken, min(d, s))
BLEND_FN(lighten, max(d, s))
BLEND_FN(subtraction, d - s)
BLEND_FN(addition, d + s)
BLEND_FN(difference, fabs(d - s))
float _overlay_chan(float b, float s) { return b < 0.5f ? 2.0f * b * s : 1.0f - 2.0f * (1.0f - b) * (1.0f - s); }
float _hardlight_chan(float b, float s) { return _overlay_chan(s, b); }
float _softlight_chan(float b, float s) {
    if (s <= 0.5f) return b - (1.0f - 2.0f * s) * b * (1.0f - b);
    float d = b <= 0.25f ? ((16.0f * b - 12.0f) * b + 4.0f) * b : sqrt(b);
    return b + (2.0f * s - 1.0f) * (d - b);
}
#define BLEND_PERCHAN(name, chan_fn) \
float4 blend_##name(float4 dst, float4 src, float opacity) { \
    float3 b = (float3)(chan_fn(dst.x, src.x), chan_fn(dst.y, src.y), chan_fn(dst.z, src.z)); \
    return _finalize(dst.xyz, src.xyz, b, src.w, opacity, dst.w); \
}
BLEND_PERCHAN(overlay, _overlay_chan)
BLEND_PERCHAN(hardlight, _hardlight_chan)
BLEND_PERCHAN(softlight, _softlight_chan)
// Hue, saturation and lightness each from src (flag 1) or dst (flag 0).
float4 _blend_hsl_pick(float4 dst, float4 src, float opacity, int hs, int ss_pick, int ls) {
    float3 hd = rgb_to_hsl3(dst.x, dst.y, dst.z);
    float3 hsrc = rgb_to_hsl3(src.x, src.y, src.z);
    float3 b = hsl_to_rgb3(hs ? hsrc.x : hd.x, ss_pick ? hsrc.y : hd.y, ls ? hsrc.z : hd.z);
    return _finalize(dst.xyz, src.xyz, b, src.w, opacity, dst.w);
}
float4 blend_hue(float4 dst, float4 src, float opacity) { return _blend_hsl_pick(dst, src, opacity, 1, 0, 0); }
float4 blend_color(float4 dst, float4 src, float opacity) { return _blend_hsl_pick(dst, src, opacity, 1, 1, 0); }
float4 blend_luminance(float4 dst, float4 src, float opacity) { return _blend_hsl_pick(dst, src, opacity, 0, 0, 1); }
float4 blend_saturation(float4 dst, float4 src, float opacity) { return _blend_hsl_pick(dst, src, opacity, 0, 1, 0); }
float4 blend_hsladd(float4 dst, float4 src, float opacity) {
    float3 hd = rgb_to_hsl3(dst.x, dst.y, dst.z);
    float3 hsrc = rgb_to_hsl3(src.x, src.y, src.z);
    float3 b = hsl_to_rgb3(fmod(hd.x + hsrc.x, 1.0f), clamp(hd.y + hsrc.y - 0.5f, 0.0f, 1.0f),
                           clamp(hd.z + hsrc.z - 0.5f, 0.0f, 1.0f));
    return _finalize(dst.xyz, src.xyz, b, src.w, opacity, dst.w);
}
float4 blend_red(float4 dst, float4 src, float opacity) {
    return _finalize(dst.xyz, src.xyz, (float3)(src.x, dst.y, dst.z), src.w, opacity, dst.w);
}
float4 blend_green(float4 dst, float4 src, float opacity) {
    return _finalize(dst.xyz, src.xyz, (float3)(dst.x, src.y, dst.z), src.w, opacity, dst.w);
}
float4 blend_blue(float4 dst, float4 src, float opacity) {
    return _finalize(dst.xyz, src.xyz, (float3)(dst.x, dst.y, src.z), src.w, opacity, dst.w);
}
#undef BLEND_FN
#undef BLEND_PERCHAN
)CL";

std::string prelude_source(bool double_precision) {
    std::string text;
    if (double_precision) {
        text +=
            "#pragma OPENCL EXTENSION cl_khr_fp64 : enable\n"
            "typedef double real_t;\ntypedef double2 real2_t;\ntypedef double4 real4_t;\n";
    } else {
        text += "typedef float real_t;\ntypedef float2 real2_t;\ntypedef float4 real4_t;\n";
    }
    text += kPreludeComplex;
    text += "#define GRADIENT_LUT_RES " + std::to_string(kGradientLutEntries) + "\n";
    text += kPreludeColor;
    text += kPreludeBlend;
    text += "\n";
    text +=
        "// Maximum iterations for formula-internal while/repeat loops\n"
        "#define MAX_FORMULA_LOOP_ITERS 10000\n\n";
    return text;
}

}  // namespace spirelle
