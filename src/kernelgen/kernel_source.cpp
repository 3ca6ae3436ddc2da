// Assembles the KernelSource: precision block, prelude, optional blue-noise
// tables, one function per layer, then the render_scene kernel (samples,
// layer compositing, paper, accumulation) and the imaging kernel (exposure
// and contrast into RGBA8).
#include "kernelgen/kernel_source.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "kernelgen/blue_noise.h"
#include "kernelgen/gradient_table.h"
#include "kernelgen/layer_emitter.h"
#include "kernelgen/prelude.h"
#include "kernelgen/wide_layer_emitter.h"
#include "kernelgen/wide_prelude.h"

namespace spirelle {
namespace {

void emit_blue_noise_table(std::ostream& out, const char* name, uint32_t seed) {
    const auto table = generate_blue_noise(seed);
    out << "__constant uchar " << name << "[" << kBlueNoiseCells << "] = {";
    for (int i = 0; i < kBlueNoiseCells; ++i) {
        if (i % 32 == 0) out << "\n    ";
        out << static_cast<int>(table[i]);
        if (i + 1 < kBlueNoiseCells) out << ",";
    }
    out << "\n};\n";
}

// Generating the two tables takes most of the time of a whole program's
// text, and they never change, so they are written once per process. An
// edit that keeps the program text then costs the engine well under a
// millisecond of generation.
const std::string& blue_noise_tables() {
    static const std::string text = [] {
        std::ostringstream out;
        emit_blue_noise_table(out, "blue_noise_0", kBlueNoiseSeed0);
        emit_blue_noise_table(out, "blue_noise_1", kBlueNoiseSeed1);
        out << "\n";
        return out.str();
    }();
    return text;
}

// The blend function of a merge mode; "passthrough" and unknown names blend
// like "normal".
std::string blend_function(const std::string& mergemode) {
    const int index = merge_mode_index(mergemode);
    const std::string& name = kMergeModeNames[index];
    return name == "passthrough" ? "blend_normal" : "blend_" + name;
}

const char* const kCompositeComment =
    "        // Composite layers bottom-up in a register-local canvas.\n"
    "        // Canvas starts TRANSPARENT (matches the layered compositing model:\n"
    "        // blend modes operate on actual layer content, with no opaque\n"
    "        // backdrop biasing them). The implicit white paper is applied\n"
    "        // once at the end - so uncovered regions read as paper, but\n"
    "        // a low-opacity screen/multiply over the bottom layer blends\n"
    "        // against that layer rather than degenerating against white.\n"
    "        // 'Bottom layer mergemode is meaningless' emerges\n"
    "        // from the math: dst.w=0 makes _finalize collapse to src.\n";

const char* const kPaperComment =
    "\n        // Final composite onto the implicit white paper. With\n"
    "        // unpremultiplied canvas: out = w*rgb + (1-w)*paper_white.\n"
    "        // Reduces to canvas.xyz when fully opaque (no paper visible).\n";

void emit_opacity(std::ostream& out, const Layer& layer) {
    out << std::fixed << std::setprecision(8) << static_cast<float>(layer.opacity) / 100.0f
        << std::defaultfloat << std::setprecision(17) << "f";
}

// Each layer's evaluation, bottom layer first, blended onto the canvas with
// its merge mode and opacity; `suffix` names the blend functions' form.
void emit_layer_composites(std::ostream& out, const Scene& scene, bool lifted,
                           const char* suffix) {
    for (int i = static_cast<int>(scene.layers.size()) - 1; i >= 0; --i) {
        const Layer& layer = scene.layers[i];
        out << "        src = eval_layer_" << i << "(gx, gy, width, height, ox, oy, gradient_lut";
        if (lifted) out << ", layer_view + " << i * kLayerViewSlots;
        out << ");\n"
            << "        canvas = " << blend_function(layer.mergemode) << suffix << "(canvas, src, ";
        emit_opacity(out, layer);
        out << ");\n";
    }
}

// The signature of render_scene, the same in both forms, up to its brace.
void emit_render_scene_signature(std::ostream& out, ViewValues view_values) {
    out << "__kernel void render_scene(\n"
           "    __global float4 * accum_buf,\n"
           "    const int width, const int height,\n"
           "    const int sample_base,\n"
           "    __global const float * gradient_lut,\n"
           "    const int spp_count";
    if (view_values == ViewValues::buffer) out << ",\n    __constant real_t * layer_view";
    out << "\n"
           ") {\n";
}

void emit_render_scene(std::ostream& out, const Scene& scene, bool blue_noise,
                       ViewValues view_values) {
    const bool lifted = view_values == ViewValues::buffer;
    emit_render_scene_signature(out, view_values);
    out << "    int gx = get_global_id(0), gy = get_global_id(1);\n"
           "    if (gx >= width || gy >= height) return;\n"
           "    int pixel = gy * width + gx;\n"
           "    float4 pass_accum = (float4)(0.0f, 0.0f, 0.0f, 0.0f);\n"
           "    for (int _si = 0; _si < spp_count; _si++) {\n"
           "        int _gsi = sample_base + _si;\n"
           "        // Roberts R2 quasi-random";
    if (blue_noise) out << " + blue noise Cranley-Patterson rotation";
    out << "\n"
           "        float r2x = 0.5f + _gsi * 0.7548776662466927f; r2x -= floor(r2x);\n"
           "        float r2y = 0.5f + _gsi * 0.5698402909980532f; r2y -= floor(r2y);\n";
    if (blue_noise) {
        out << "        r2x += blue_noise_0[(gy & 63) * 64 + (gx & 63)] * (1.0f / 255.0f); r2x "
               "-= floor(r2x);\n"
               "        r2y += blue_noise_1[(gy & 63) * 64 + (gx & 63)] * (1.0f / 255.0f); r2y "
               "-= floor(r2y);\n";
    }
    out << "        // Tent filter: [0,1] -> [-1,1] triangular distribution\n"
           "        float fox = r2x < 0.5f ? sqrt(2.0f * r2x) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * "
           "r2x);\n"
           "        float foy = r2y < 0.5f ? sqrt(2.0f * r2y) - 1.0f : 1.0f - sqrt(2.0f - 2.0f * "
           "r2y);\n"
           "        real_t ox = (real_t)fox, oy = (real_t)foy;\n\n"
        << kCompositeComment
        << "        float4 canvas = (float4)(0.0f, 0.0f, 0.0f, 0.0f);\n"
           "        float4 src;\n";
    emit_layer_composites(out, scene, lifted, "");
    out << kPaperComment
        << "        canvas.xyz = canvas.w * canvas.xyz + (1.0f - canvas.w);\n"
           "        canvas.w = 1.0f;\n"
           "        pass_accum += canvas;\n"
           "    }\n"
           "    accum_buf[pixel] += pass_accum;\n"
           "}\n\n";
}

// render_scene of the wide form: the canonical kernel with the sample
// placement, the layers, the compositing and the accumulation per lane.
// Without blue noise every lane of a sample has the same offset; with it,
// each lane reads its pixel's cell of the tables.
void emit_wide_render_scene(std::ostream& out, const Scene& scene, bool blue_noise,
                            ViewValues view_values, int lanes) {
    const bool lifted = view_values == ViewValues::buffer;
    const std::string n = std::to_string(lanes);
    emit_render_scene_signature(out, view_values);
    out << "    int gx0 = get_global_id(0) * "
        << n
        << ", gy = get_global_id(1);\n"
           "    if (gx0 >= width || gy >= height) return;\n"
           "    intv_t gx = (intv_t)(gx0) + lane_index_v();\n"
           "    int pixel = gy * width + gx0;\n"
           "    floatv_t pass_r = (floatv_t)(0.0f), pass_g = (floatv_t)(0.0f);\n"
           "    floatv_t pass_b = (floatv_t)(0.0f), pass_w = (floatv_t)(0.0f);\n"
           "    for (int _si = 0; _si < spp_count; _si++) {\n"
           "        int _gsi = sample_base + _si;\n"
           "        // Roberts R2 quasi-random";
    if (blue_noise) out << " + blue noise Cranley-Patterson rotation";
    out << "\n"
           "        float r2x = 0.5f + _gsi * 0.7548776662466927f; r2x -= floor(r2x);\n"
           "        float r2y = 0.5f + _gsi * 0.5698402909980532f; r2y -= floor(r2y);\n";
    if (blue_noise) {
        out << "        floatv_t r2xv = (floatv_t)(r2x), r2yv = (floatv_t)(r2y);\n"
               "        float __bn0["
            << n << "], __bn1[" << n
            << "];\n"
               "        for (int _l = 0; _l < "
            << n
            << "; _l++) {\n"
               "            int _cell = (gy & 63) * 64 + ((gx0 + _l) & 63);\n"
               "            __bn0[_l] = blue_noise_0[_cell];\n"
               "            __bn1[_l] = blue_noise_1[_cell];\n"
               "        }\n"
               "        r2xv += load_float_v(__bn0) * (1.0f / 255.0f); r2xv -= floor(r2xv);\n"
               "        r2yv += load_float_v(__bn1) * (1.0f / 255.0f); r2yv -= floor(r2yv);\n"
               "        // Tent filter: [0,1] -> [-1,1] triangular distribution\n"
               "        floatv_t fox = select(1.0f - sqrt(2.0f - 2.0f * r2xv), sqrt(2.0f * r2xv) - "
               "1.0f, r2xv < 0.5f);\n"
               "        floatv_t foy = select(1.0f - sqrt(2.0f - 2.0f * r2yv), sqrt(2.0f * r2yv) - "
               "1.0f, r2yv < 0.5f);\n"
               "        realv_t ox = from_float_v(fox), oy = from_float_v(foy);\n\n";
    } else {
        out << "        // Tent filter: [0,1] -> [-1,1] triangular distribution\n"
               "        float fox = r2x < 0.5f ? sqrt(2.0f * r2x) - 1.0f : 1.0f - sqrt(2.0f - "
               "2.0f * r2x);\n"
               "        float foy = r2y < 0.5f ? sqrt(2.0f * r2y) - 1.0f : 1.0f - sqrt(2.0f - "
               "2.0f * r2y);\n"
               "        realv_t ox = (realv_t)((real_t)fox), oy = (realv_t)((real_t)foy);\n\n";
    }
    out << kCompositeComment
        << "        float4v_t canvas;\n"
           "        canvas.x = canvas.y = canvas.z = canvas.w = (floatv_t)(0.0f);\n"
           "        float4v_t src;\n";
    emit_layer_composites(out, scene, lifted, "_v");
    out << kPaperComment
        << "        canvas.x = canvas.w * canvas.x + (1.0f - canvas.w);\n"
           "        canvas.y = canvas.w * canvas.y + (1.0f - canvas.w);\n"
           "        canvas.z = canvas.w * canvas.z + (1.0f - canvas.w);\n"
           "        canvas.w = (floatv_t)(1.0f);\n"
           "        pass_r += canvas.x; pass_g += canvas.y; pass_b += canvas.z; pass_w += "
           "canvas.w;\n"
           "    }\n"
           "    float r["
        << n << "], g[" << n << "], b[" << n << "], w[" << n
        << "];\n"
           "    store_float_v(pass_r, r); store_float_v(pass_g, g);\n"
           "    store_float_v(pass_b, b); store_float_v(pass_w, w);\n"
           "    for (int _l = 0; _l < "
        << n
        << " && gx0 + _l < width; _l++) {\n"
           "        accum_buf[pixel + _l] += (float4)(r[_l], g[_l], b[_l], w[_l]);\n"
           "    }\n"
           "}\n\n";
}

void emit_imaging(std::ostream& out) {
    out << "__kernel void imaging(\n"
           "    __global const float4 * accum_buf, __global uchar4 * output,\n"
           "    const int width, const int height, const float inv_samples,\n"
           "    const float exposure, const float contrast\n"
           ") {\n"
           "    int gx = get_global_id(0), gy = get_global_id(1);\n"
           "    if (gx >= width || gy >= height) return;\n"
           "    int pixel = gy * width + gx;\n"
           "    float3 c = accum_buf[pixel].xyz * (inv_samples * exposure);\n"
           "    c = (c - (float3)(0.18f)) * contrast + (float3)(0.18f);\n"
           "    output[pixel] = convert_uchar4_sat((float4)(c, 1.0f) * 255.0f);\n"
           "}\n";
}

}  // namespace

std::string build_kernel_source(const Scene& scene, ViewValues view_values) {
    const bool blue_noise = scene.sampling_level > 0;
    std::ostringstream out;
    out << std::setprecision(17);
    out << prelude_source(scene.precision == 1);
    if (blue_noise) out << blue_noise_tables();
    for (size_t i = 0; i < scene.layers.size(); ++i) {
        const int index = static_cast<int>(i);
        LayerEmitter(out, scene, scene.layers[i], index, "L" + std::to_string(index) + "_",
                     view_values)
            .emit();
    }
    emit_render_scene(out, scene, blue_noise, view_values);
    emit_imaging(out);
    return out.str();
}

ProgramSource build_wide_kernel_source(const Scene& scene, ViewValues view_values, int lanes) {
    auto scalar = [&](std::string reason) {
        return ProgramSource{build_kernel_source(scene, view_values), 1, std::move(reason)};
    };
    if (lanes != 2 && lanes != 4 && lanes != 8 && lanes != 16) {
        return scalar(std::to_string(lanes) + " lanes");
    }
    const bool blue_noise = scene.sampling_level > 0;
    std::ostringstream layers;
    layers << std::setprecision(17);
    for (size_t i = 0; i < scene.layers.size(); ++i) {
        const int index = static_cast<int>(i);
        WideLayerEmitter emitter(layers, scene, scene.layers[i], index,
                                 "L" + std::to_string(index) + "_", view_values, lanes);
        std::string blocker = emitter.prepare();
        if (!blocker.empty()) return scalar(blocker);
        emitter.emit();
    }
    std::vector<std::string> blends;
    for (const Layer& layer : scene.layers) {
        std::string blend = blend_function(layer.mergemode);
        if (std::find(blends.begin(), blends.end(), blend) == blends.end()) blends.push_back(blend);
    }
    std::ostringstream out;
    out << std::setprecision(17);
    out << wide_prelude_source(scene.precision == 1, lanes, blends);
    if (blue_noise) out << blue_noise_tables();
    out << layers.str();
    emit_wide_render_scene(out, scene, blue_noise, view_values, lanes);
    emit_imaging(out);
    return {out.str(), lanes, ""};
}

}  // namespace spirelle
