// Assembles the KernelSource: precision block, prelude, optional blue-noise
// tables, one function per layer, then the render_scene kernel (samples,
// layer compositing, paper, accumulation) and the imaging kernel (exposure
// and contrast into RGBA8).
#include "kernelgen/kernel_source.h"

#include <iomanip>
#include <sstream>

#include "kernelgen/blue_noise.h"
#include "kernelgen/gradient_table.h"
#include "kernelgen/layer_emitter.h"
#include "kernelgen/prelude.h"

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

void emit_render_scene(std::ostream& out, const Scene& scene, bool blue_noise,
                       ViewValues view_values) {
    const bool lifted = view_values == ViewValues::buffer;
    out << "__kernel void render_scene(\n"
           "    __global float4 * accum_buf,\n"
           "    const int width, const int height,\n"
           "    const int sample_base,\n"
           "    __global const float * gradient_lut,\n"
           "    const int spp_count";
    if (lifted) out << ",\n    __constant real_t * layer_view";
    out << "\n"
           ") {\n"
           "    int gx = get_global_id(0), gy = get_global_id(1);\n"
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
           "        // Composite layers bottom-up in a register-local canvas.\n"
           "        // Canvas starts TRANSPARENT (matches the layered compositing model:\n"
           "        // blend modes operate on actual layer content, with no opaque\n"
           "        // backdrop biasing them). The implicit white paper is applied\n"
           "        // once at the end - so uncovered regions read as paper, but\n"
           "        // a low-opacity screen/multiply over the bottom layer blends\n"
           "        // against that layer rather than degenerating against white.\n"
           "        // 'Bottom layer mergemode is meaningless' emerges\n"
           "        // from the math: dst.w=0 makes _finalize collapse to src.\n"
           "        float4 canvas = (float4)(0.0f, 0.0f, 0.0f, 0.0f);\n"
           "        float4 src;\n";
    for (int i = static_cast<int>(scene.layers.size()) - 1; i >= 0; --i) {
        const Layer& layer = scene.layers[i];
        out << "        src = eval_layer_" << i << "(gx, gy, width, height, ox, oy, gradient_lut";
        if (lifted) out << ", layer_view + " << i * kLayerViewSlots;
        out << ");\n"
            << "        canvas = " << blend_function(layer.mergemode) << "(canvas, src, "
            << std::fixed << std::setprecision(8) << static_cast<float>(layer.opacity) / 100.0f
            << std::defaultfloat << std::setprecision(17) << "f);\n";
    }
    out << "\n        // Final composite onto the implicit white paper. With\n"
           "        // unpremultiplied canvas: out = w*rgb + (1-w)*paper_white.\n"
           "        // Reduces to canvas.xyz when fully opaque (no paper visible).\n"
           "        canvas.xyz = canvas.w * canvas.xyz + (1.0f - canvas.w);\n"
           "        canvas.w = 1.0f;\n"
           "        pass_accum += canvas;\n"
           "    }\n"
           "    accum_buf[pixel] += pass_accum;\n"
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

}  // namespace spirelle
