// The layer function is a fixed frame with the translated formula, transform
// and coloring texts spliced in. Its locals (_pixel, _c_writable, _solid,
// _color_override, z, iter, color_index, ...) are what the translated code
// refers to.
#include "kernelgen/layer_emitter.h"

#include <iomanip>
#include <utility>

#include "kernelgen/coloring.h"
#include "kernelgen/gradient_table.h"
#include "kernelgen/instantiate.h"
#include "kernelgen/safe_text.h"

namespace spirelle {

bool coloring_present(const FormulaEntry& coloring) {
    return !coloring.loop.empty() || !coloring.final.empty();
}

namespace {

// Fixed notation with 8 decimals for colors and opacities, restored after.
class FixedEight {
  public:
    explicit FixedEight(std::ostream& out) : out_(out) {
        out_ << std::fixed << std::setprecision(8);
    }
    ~FixedEight() { out_ << std::defaultfloat << std::setprecision(17); }
    FixedEight(const FixedEight&) = delete;
    FixedEight& operator=(const FixedEight&) = delete;

  private:
    std::ostream& out_;
};

// One view value as the layer function reads it: a literal, or its slot of
// the layer's part of the layer_view buffer.
struct ViewOperand {
    ViewValues form;
    LayerViewSlot slot;
    double value;
};

std::ostream& operator<<(std::ostream& out, const ViewOperand& operand) {
    if (operand.form == ViewValues::buffer) return out << "_layer_view[" << operand.slot << "]";
    return out << "(real_t)" << operand.value;
}

}  // namespace

void emit_solid_color(std::ostream& out, uint32_t packed, const std::string& op) {
    FixedEight fixed(out);
    float r = static_cast<float>(packed & 0xFF) / 255.0f;
    float g = static_cast<float>((packed >> 8) & 0xFF) / 255.0f;
    float b = static_cast<float>((packed >> 16) & 0xFF) / 255.0f;
    out << "_sr " << op << " " << r << "f; _sg " << op << " " << g << "f; _sb " << op << " " << b
        << "f;";
}

std::string transfer_expression(const std::string& name) {
    static const std::pair<const char*, const char*> kTransfers[] = {
        {"sqrt", "sqrt(fabs(__sp_y)) * 0.5f"},
        {"sqr", "2.0f * __sp_y * __sp_y"},
        {"cube", "3.0f * __sp_y * __sp_y * __sp_y"},
        {"cuberoot", "cbrt(__sp_y) * 0.33f"},
        {"log", "log(1.0f + __sp_y)"},
        {"exp", "exp(__sp_y) - 1.0f"},
        {"sin", "fabs(sin(__sp_y))"},
        {"arctan", "atan(__sp_y)"},
    };
    for (const auto& [transfer, expression] : kTransfers) {
        if (name == transfer) return expression;
    }
    return "__sp_y";
}

void emit_gradient_lookup(std::ostream& out, const std::string& transfer, double density,
                          bool repeat, long offset) {
    out << "        float __sp_y = (float)(color_index * (real_t)" << density << ");\n";
    emit_gradient_entry(out, transfer, repeat, offset, "        ");
    out << "        _sr += __c.x; _sg += __c.y; _sb += __c.z; _sa = __c.w;\n";
}

void emit_gradient_entry(std::ostream& out, const std::string& transfer, bool repeat, long offset,
                         const std::string& indent) {
    const int res = kGradientLutEntries;
    out << indent << "float __sp_t = " << transfer_expression(transfer) << ";\n";
    out << indent
        << (repeat ? "__sp_t = __sp_t - floor(__sp_t);\n"
                   : "__sp_t = clamp(__sp_t, 0.0f, 1.0f);\n");
    // A non-finite position would make (int)fidx undefined and the read could
    // leave the layer's slice; it reads the first entry instead.
    out << indent << "if (!isfinite(__sp_t)) __sp_t = 0.0f;\n";
    out << indent << "float fidx = __sp_t * " << res << ";\n"
        << indent << "int idx0 = ((int)fidx) % " << res << ";\n"
        << indent << "int idx1 = (idx0 + 1) % " << res << ";\n"
        << indent << "float frac = fidx - floor(fidx);\n"
        << indent << "float4 __c0 = vload4(idx0, gradient_lut + " << offset << ");\n"
        << indent << "float4 __c1 = vload4(idx1, gradient_lut + " << offset << ");\n"
        << indent
        << "float4 __c = (fabs(__c1.x-__c0.x) > 0.5f || fabs(__c1.y-__c0.y) > 0.5f || "
           "fabs(__c1.z-__c0.z) > 0.5f) ? __c0 : mix(__c0, __c1, frac);\n";
}

std::string rewrite_gradient_calls(const std::string& text, long offset, const std::string& call,
                                   const std::string& lookup) {
    const std::string tail = ", gradient_lut, " + std::to_string(offset) + ")";
    std::string out = text;
    size_t at = out.find(call);
    while (at != std::string::npos) {
        size_t open = at + call.size() - 1;
        size_t close = std::string::npos;
        int depth = 0;
        for (size_t i = open; i < out.size(); ++i) {
            if (out[i] == '(') ++depth;
            if (out[i] == ')' && --depth == 0) {
                close = i;
                break;
            }
        }
        if (close == std::string::npos) break;
        out.replace(close, 1, tail);
        out.replace(at, call.size(), lookup);
        at = out.find(call, close + tail.size() + lookup.size() - call.size());
    }
    return out;
}

LayerEmitter::LayerEmitter(std::ostream& out, const Scene& scene, const Layer& layer, int index,
                           std::string prefix, ViewValues view_values)
    : out_(out),
      scene_(scene),
      layer_(layer),
      index_(index),
      prefix_(std::move(prefix)),
      view_values_(view_values),
      gradient_offset_(static_cast<long>(index) * kGradientLutFloats) {}

void LayerEmitter::emit() {
    formula_ = instantiate_formula(layer_, prefix_);
    inside_present_ = coloring_present(layer_.inside);
    outside_present_ = coloring_present(layer_.outside);
    inside_ = outside_ = ColoringInstance{};
    if (inside_present_) inside_ = colored_instance(layer_.inside, "_ic_iter", "_ic_");
    if (outside_present_) outside_ = colored_instance(layer_.outside, "_oc_iter", "_oc_");
    emit_user_functions();
    emit_header_and_mapping();
    emit_transforms();
    emit_init_and_iterate();
    emit_coloring();
}

ColoringInstance LayerEmitter::colored_instance(const FormulaEntry& coloring,
                                                const std::string& counter,
                                                const std::string& prefix) const {
    ColoringInstance instance = instantiate_coloring(coloring, counter, prefix);
    for (std::string* code : {&instance.init_code, &instance.loop_code, &instance.final_code}) {
        *code = rewrite_gradient_calls(*code, gradient_offset_);
    }
    return instance;
}

void LayerEmitter::emit_user_functions() {
    const FormulaInstance& formula = formula_;
    for (const std::string& prototype : formula.prototypes) out_ << prototype << ";\n";
    if (!formula.prototypes.empty()) out_ << "\n";
    for (size_t i = 0; i < formula.prototypes.size(); ++i) {
        out_ << formula.prototypes[i] << " {\n" << formula.bodies[i] << "}\n\n";
    }
}

void emit_view_constants(std::ostream& out, const Scene& scene, const Layer& layer,
                         ViewValues view_values) {
    const LayerView v = layer_view(scene, layer);
    const bool lifted = view_values == ViewValues::buffer;
    auto value = [&](LayerViewSlot slot, double literal) {
        return ViewOperand{view_values, slot, literal};
    };
    out << "    const real_t center_re = " << value(kViewCenterRe, v.center_re) << ";\n"
        << "    const real_t center_im = " << value(kViewCenterIm, v.center_im) << ";\n"
        << "    const real_t pixel_size = " << value(kViewPixelSize, v.pixel_size) << ";\n"
        << "    const int maxiter = ";
    if (!lifted) {
        out << v.maxiter;
    } else if (scene.precision == 1) {
        out << "(int)as_long(_layer_view[" << kViewMaxiter << "])";
    } else {
        out << "as_int(_layer_view[" << kViewMaxiter << "])";
    }
    out << ";\n"
        << "    const real_t _layer_magn = " << value(kViewMagn, v.magn) << ";\n"
        << "    const real_t _layer_angle = " << value(kViewAngle, v.angle) << ";\n";
}

void emit_plane_mapping(std::ostream& out, const Scene& scene, const Layer& layer,
                        ViewValues view_values, bool wide) {
    const LayerView v = layer_view(scene, layer);
    auto value = [&](LayerViewSlot slot, double literal) {
        return ViewOperand{view_values, slot, literal};
    };
    const char* type = wide ? "realv_t" : "real_t";
    out << "    " << type << " dx = (" << (wide ? "to_real_v(gx)" : "(real_t)gx")
        << " + ox - (real_t)width * (real_t)0.5) * pixel_size;\n"
        << "    " << type
        << " dy = ((real_t)gy + oy - (real_t)height * (real_t)0.5) * pixel_size;\n"
        << "    " << type << " re = center_re + " << value(kViewA, v.a) << " * dx - ("
        << value(kViewB, v.b) << ") * dy;\n"
        << "    " << type << " im = center_im + " << value(kViewC, v.c) << " * dx - ("
        << value(kViewD, v.d) << ") * dy;\n";
}

void LayerEmitter::emit_header_and_mapping() {
    const bool lifted = view_values_ == ViewValues::buffer;
    out_ << "// ----- Layer " << index_ + 1 << " -----\n"
         << "float4 eval_layer_" << index_
         << "(int gx, int gy, int width, int height, real_t ox, real_t oy, __global const float * "
            "gradient_lut"
         << (lifted ? ", __constant real_t * _layer_view" : "") << ") {\n";
    emit_view_constants(out_, scene_, layer_, view_values_);
    emit_plane_mapping(out_, scene_, layer_, view_values_, false);
    out_ << "    real2_t _pixel = (real2_t)(re, im);\n"
         << "    real2_t _c_writable = _pixel;\n"
         << "    int _solid = 0;\n"
         << "    real4_t _color_override = (real4_t)(0, 0, 0, 0);\n"
         << "    float _sr = 0.0f, _sg = 0.0f, _sb = 0.0f;\n"
         << "    float _sa = 1.0f;\n\n";
}

void LayerEmitter::emit_transforms() {
    bool any = false;
    for (const FormulaEntry& transform : layer_.transforms) {
        if (!transform.enabled || transform.transform.empty()) continue;
        TransformInstance instance = instantiate_transform(transform);
        out_ << "    // transform: " << comment_text(transform.entry) << "\n    {\n"
             << "    real2_t z = _pixel;\n"
             << instance.global_code << instance.transform_code << "    }\n";
        any = true;
    }
    if (any) out_ << "\n";
}

void LayerEmitter::emit_init_and_iterate() {
    const FormulaInstance& formula = formula_;
    const bool inside = inside_present_;
    const bool outside = outside_present_;
    out_ << "    // init\n"
         << "    real2_t z = (real2_t)(0.0, 0.0);\n"
         << "    real2_t z_old = (real2_t)(0.0, 0.0);\n"
         << "    int iter = 0;\n"
         << formula.init_code << "    z_old = z;\n";
    if (inside) {
        out_ << "\n    // inside coloring init\n" << inside_.init_code;
    }
    if (outside) {
        out_ << "\n    // outside coloring init\n" << outside_.init_code;
    }
    out_ << "\n    // iterate\n"
         << "    while (iter < maxiter) {\n"
         << "    real2_t z_save = z;\n"
         << formula.loop_code << "    z_old = z_save;\n"
         << "        if (!(" << formula.bailout << ")) break;\n";
    if (inside) {
        out_ << "\n        // inside coloring accumulate\n" << inside_.loop_code;
    }
    if (outside) {
        out_ << "\n        // outside coloring accumulate\n" << outside_.loop_code;
    }
    out_ << "    iter++;\n    }\n\n";
}

void LayerEmitter::emit_coloring() {
    const bool transparent = layer_.transparent;
    const bool inside_present = inside_present_;
    const bool outside_present = outside_present_;
    const bool inside_valid = inside_present && layer_.inside_transfer != "none";
    const bool outside_valid = outside_present && layer_.outside_transfer != "none";

    out_ << "    // coloring\n"
         << "    if (iter >= maxiter) {\n";
    if (inside_valid) {
        out_ << "        real_t color_index = 0.0;\n" << inside_.final_code;
        emit_gradient_lookup(out_, layer_.inside_transfer, layer_.inside_density, true,
                             gradient_offset_);
    } else if (layer_.inside_solid != 0) {
        out_ << "        ";
        emit_solid_color(out_, layer_.inside_solid, "+=");
        out_ << (transparent ? " _sa = 0.0f;" : "") << "\n";
    } else if (transparent) {
        out_ << "        _sa = 0.0f;\n";
    }
    out_ << "    } else {\n";
    if (outside_valid) {
        out_ << "        real_t color_index = 0.0;\n"
             << outside_.final_code
             << "        if (!isfinite((float)color_index)) color_index = 0.0;\n";
        emit_gradient_lookup(out_, layer_.outside_transfer, layer_.outside_density,
                             layer_.outside_repeat, gradient_offset_);
    } else if (!outside_present) {
        out_
            << "        real_t __sp_lz = log(max((real_t)dot(z,z), (real_t)1e-10)) * (real_t)0.5;\n"
            << "        real_t __sp_smooth = (real_t)iter + (real_t)1.0 - log2(max(__sp_lz, "
               "(real_t)1e-10));\n"
            << "        real_t color_index = (real_t)0.01 * __sp_smooth;\n";
        emit_gradient_lookup(out_, layer_.outside_transfer, layer_.outside_density,
                             layer_.outside_repeat, gradient_offset_);
    } else if (layer_.outside_solid != 0) {
        out_ << "        ";
        emit_solid_color(out_, layer_.outside_solid, "+=");
        out_ << "\n";
    } else if (transparent) {
        out_ << "        _sa = 0.0f;\n";
    }
    out_ << "    }\n";

    out_ << "    if (_solid) { ";
    if (transparent) {
        out_ << "_sa = 0.0f;";
    } else {
        emit_solid_color(out_, layer_.inside_solid, "=");
        out_ << " _sa = 1.0f;";
    }
    out_ << " }\n";
    out_ << "    if (_color_override.w > 0.0f) {\n"
         << "        _sr = _color_override.x;\n"
         << "        _sg = _color_override.y;\n"
         << "        _sb = _color_override.z;\n"
         << "        _sa = _color_override.w;\n"
         << "    }\n";
    if (transparent) out_ << "    if (_color_override.w < 0.0f) { _sa = 0.0f; }\n";
    out_ << "    return (float4)(_sr, _sg, _sb, _sa);\n"
         << "}\n\n";
}

}  // namespace spirelle
