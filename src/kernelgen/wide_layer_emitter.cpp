// The wide layer function follows the canonical one step by step; what
// differs is that each step assigns only in the lanes it applies to. The
// iteration runs while any lane still iterates: _running loses a lane when
// its iteration count reaches maxiter or its bailout test fails, and the
// formula and colorings see the running lanes as their mask _m0. Inside and
// outside colorings then run for their own lanes, and the gradient lookup
// reads the table lane by lane with the canonical text.
#include "kernelgen/wide_layer_emitter.h"

#include <cctype>
#include <iomanip>
#include <utility>

#include "kernelgen/gradient_table.h"
#include "kernelgen/layer_emitter.h"
#include "kernelgen/safe_text.h"

namespace spirelle {
namespace {

// True when `name` stands in the text as an identifier of its own.
bool names(const std::string& text, const std::string& name) {
    auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        bool starts = at == 0 || !word(text[at - 1]);
        bool ends = at + name.size() == text.size() || !word(text[at + name.size()]);
        if (starts && ends) return true;
    }
    return false;
}

std::string blend_function(const std::string& type) {
    if (type == "real2v_t") return "blend2_v";
    if (type == "real4v_t") return "blend4_v";
    if (type == "intv_t") return "blend_int_v";
    return "blend_v";
}

}  // namespace

WideLayerEmitter::WideLayerEmitter(std::ostream& out, const Scene& scene, const Layer& layer,
                                   int index, std::string prefix, ViewValues view_values, int lanes)
    : out_(out),
      scene_(scene),
      layer_(layer),
      index_(index),
      prefix_(std::move(prefix)),
      view_values_(view_values),
      lanes_(lanes),
      gradient_offset_(static_cast<long>(index) * kGradientLutFloats) {}

std::string WideLayerEmitter::prepare() {
    formula_ = instantiate_formula(layer_, prefix_, true);
    inside_present_ = coloring_present(layer_.inside);
    outside_present_ = coloring_present(layer_.outside);
    inside_ = outside_ = ColoringInstance{};
    auto colored = [&](const FormulaEntry& coloring, const char* counter, const char* prefix) {
        ColoringInstance instance = instantiate_coloring(coloring, counter, prefix, true);
        for (std::string* code : {&instance.init_code, &instance.loop_code, &instance.final_code}) {
            *code = rewrite_gradient_calls(*code, gradient_offset_, "fl_gradient_v(",
                                           "fl_gradient_lookup_v(");
        }
        return instance;
    };
    if (inside_present_) inside_ = colored(layer_.inside, "_ic_iter", "_ic_");
    if (outside_present_) outside_ = colored(layer_.outside, "_oc_iter", "_oc_");
    transforms_.clear();
    transform_names_.clear();
    for (const FormulaEntry& transform : layer_.transforms) {
        if (!transform.enabled || transform.transform.empty()) continue;
        transforms_.push_back(instantiate_transform(transform, true));
        transform_names_.push_back(comment_text(transform.entry));
    }
    // Without a reader of z_old the loop need not carry it.
    reads_z_old_ = false;
    std::vector<const std::string*> texts = {
        &formula_.init_code, &formula_.loop_code, &formula_.bailout_setup, &formula_.bailout,
        &inside_.init_code,  &inside_.loop_code,  &inside_.final_code,     &outside_.init_code,
        &outside_.loop_code, &outside_.final_code};
    for (const std::string& body : formula_.bodies) texts.push_back(&body);
    for (const std::string* text : texts) reads_z_old_ = reads_z_old_ || names(*text, "z_old");
    std::string blocker = formula_.wide_blocker;
    for (const std::string* other : {&inside_.wide_blocker, &outside_.wide_blocker}) {
        if (blocker.empty()) blocker = *other;
    }
    for (const TransformInstance& transform : transforms_) {
        if (blocker.empty()) blocker = transform.wide_blocker;
    }
    return blocker;
}

void WideLayerEmitter::emit() {
    for (const std::string& prototype : formula_.prototypes) out_ << prototype << ";\n";
    if (!formula_.prototypes.empty()) out_ << "\n";
    for (size_t i = 0; i < formula_.prototypes.size(); ++i) {
        out_ << formula_.prototypes[i] << " {\n" << formula_.bodies[i] << "}\n\n";
    }
    emit_header_and_mapping();
    emit_transforms();
    emit_init_and_iterate();
    emit_coloring();
}

void WideLayerEmitter::emit_header_and_mapping() {
    const bool lifted = view_values_ == ViewValues::buffer;
    out_ << "// ----- Layer " << index_ + 1 << " -----\n"
         << "float4v_t eval_layer_" << index_
         << "(intv_t gx, int gy, int width, int height, realv_t ox, realv_t oy, "
            "__global const float * gradient_lut"
         << (lifted ? ", __constant real_t * _layer_view" : "") << ") {\n";
    emit_view_constants(out_, scene_, layer_, view_values_);
    emit_plane_mapping(out_, scene_, layer_, view_values_, true);
    out_ << "    real2v_t _pixel = cplx_v(re, im);\n"
         << "    real2v_t _c_writable = _pixel;\n"
         << "    intv_t _solid = (intv_t)0;\n"
         << "    real4v_t _color_override = color_v(0, 0, 0, 0);\n"
         << "    floatv_t _sr = (floatv_t)(0.0f), _sg = (floatv_t)(0.0f), _sb = (floatv_t)(0.0f);\n"
         << "    floatv_t _sa = (floatv_t)(1.0f);\n"
         << "    // lanes of pixels inside the image; the mask of the code below\n"
         << "    const intv_t _live = gx < (intv_t)width;\n"
         << "    intv_t _m0 = _live;\n\n";
}

void WideLayerEmitter::emit_transforms() {
    for (size_t i = 0; i < transforms_.size(); ++i) {
        out_ << "    // transform: " << transform_names_[i] << "\n    {\n"
             << "    real2v_t z = _pixel;\n"
             << transforms_[i].global_code << transforms_[i].transform_code << "    }\n";
    }
    if (!transforms_.empty()) out_ << "\n";
}

void WideLayerEmitter::emit_init_and_iterate() {
    out_ << "    // init\n"
         << "    real2v_t z = cplx_v(0.0, 0.0);\n"
         << "    real2v_t z_old = cplx_v(0.0, 0.0);\n"
         << "    intv_t iter = (intv_t)0;\n"
         << formula_.init_code << "    z_old = z;\n";
    if (inside_present_) out_ << "\n    // inside coloring init\n" << inside_.init_code;
    if (outside_present_) out_ << "\n    // outside coloring init\n" << outside_.init_code;
    // The loop code assigns its variables in every lane, ahead of the mask,
    // so that the mask stays out of the chain from one iteration to the
    // next; _kept_ copies hold each lane's values as its iterations end:
    // at the top of an iteration for the lanes that went on, after the loop
    // code for the lanes that bail out.
    auto keep = [&](const char* mask) {
        for (const auto& [name, type] : formula_.kept) {
            out_ << "    _kept_" << name << " = " << blend_function(type) << "(_kept_" << name
                 << ", " << name << ", " << mask << ");\n";
        }
    };
    out_ << "\n    // iterate while any lane does\n"
         << "    intv_t _running = _live;\n";
    for (const auto& [name, type] : formula_.kept) {
        out_ << "    " << type << " _kept_" << name << " = " << name << ";\n";
    }
    out_ << "    while (1) {\n";
    keep("_running");
    out_ << "    _m0 = _running & (iter < (intv_t)maxiter);\n";
    if (reads_z_old_) out_ << "    real2v_t z_save = z;\n";
    out_ << formula_.loop_code;
    if (reads_z_old_) out_ << "    z_old = blend2_v(z_old, z_save, _m0);\n";
    out_ << formula_.bailout_setup << "        _running = _m0 & " << formula_.bailout << ";\n";
    if (!formula_.kept.empty()) {
        out_ << "    {\n    const intv_t _done = _m0 & ~_running;\n";
        keep("_done");
        out_ << "    }\n";
    }
    out_ << "        if (!any(_running)) break;\n"
         << "        _m0 = _running;\n";
    if (inside_present_) {
        out_ << "\n        // inside coloring accumulate\n" << inside_.loop_code;
    }
    if (outside_present_) {
        out_ << "\n        // outside coloring accumulate\n" << outside_.loop_code;
    }
    out_ << "    iter = iter - _m0;  // -1 in the lanes that go on\n    }\n";
    for (const auto& [name, type] : formula_.kept)
        out_ << "    " << name << " = _kept_" << name << ";\n";
    out_ << "\n";
}

// _sr op r, ... in the lanes of _m0, with the packed colour's channels.
void WideLayerEmitter::emit_solid_color(uint32_t packed, bool add) {
    const float channels[3] = {static_cast<float>(packed & 0xFF) / 255.0f,
                               static_cast<float>((packed >> 8) & 0xFF) / 255.0f,
                               static_cast<float>((packed >> 16) & 0xFF) / 255.0f};
    const char* names[3] = {"_sr", "_sg", "_sb"};
    out_ << std::fixed << std::setprecision(8);
    for (int i = 0; i < 3; ++i) {
        out_ << "        " << names[i] << " = blendf_v(" << names[i] << ", ";
        if (add) {
            out_ << names[i] << " + " << channels[i] << "f";
        } else {
            out_ << "(floatv_t)(" << channels[i] << "f)";
        }
        out_ << ", fmask_v(_m0));\n";
    }
    out_ << std::defaultfloat << std::setprecision(17);
}

// The canonical lookup over lanes: the position and its two table indices
// as vectors, the table's entries read lane by lane, the discontinuity test
// and the blend as vectors again; the lanes of _m0 take the colour. Transfer
// functions whose vector builtins round differently (or depend on the other
// lanes) run lane by lane.
void WideLayerEmitter::emit_gradient_lookup(const std::string& transfer, double density,
                                            bool repeat) {
    const std::string n = std::to_string(lanes_);
    const int res = kGradientLutEntries;
    const bool vector_transfer =
        transfer != "cuberoot" && transfer != "exp" && transfer != "sin" && transfer != "arctan";
    out_ << "        floatv_t __sp_y = to_float_v(color_index * (real_t)" << density << ");\n";
    if (vector_transfer) {
        out_ << "        floatv_t __sp_t = " << transfer_expression(transfer) << ";\n";
    } else {
        out_ << "        float __ys[" << n << "], __ts[" << n << "];\n"
             << "        store_float_v(__sp_y, __ys);\n"
             << "        for (int _l = 0; _l < " << n << "; _l++) {\n"
             << "            float __sp_y = __ys[_l];\n"
             << "            __ts[_l] = " << transfer_expression(transfer) << ";\n"
             << "        }\n"
             << "        floatv_t __sp_t = load_float_v(__ts);\n";
    }
    out_ << (repeat ? "        __sp_t = __sp_t - floor(__sp_t);\n"
                    : "        __sp_t = clamp(__sp_t, 0.0f, 1.0f);\n")
         << "        __sp_t = blendf_v(__sp_t, (floatv_t)(0.0f), ~isfinite(__sp_t));\n"
         << "        floatv_t fidx = __sp_t * " << res << ";\n"
         << "        fmaskv_t idx0 = to_index_v(fidx) % " << res << ";\n"
         << "        fmaskv_t idx1 = (idx0 + 1) % " << res << ";\n"
         << "        floatv_t frac = fidx - floor(fidx);\n"
         << "        int __i0[" << n << "], __i1[" << n << "];\n"
         << "        float __e0[4][" << n << "], __e1[4][" << n << "];\n"
         << "        store_index_v(idx0, __i0);\n"
         << "        store_index_v(idx1, __i1);\n"
         << "        for (int _l = 0; _l < " << n << "; _l++) {\n"
         << "            float4 __c0 = vload4(__i0[_l], gradient_lut + " << gradient_offset_
         << ");\n"
         << "            float4 __c1 = vload4(__i1[_l], gradient_lut + " << gradient_offset_
         << ");\n"
         << "            __e0[0][_l] = __c0.x; __e0[1][_l] = __c0.y; __e0[2][_l] = __c0.z; "
            "__e0[3][_l] = __c0.w;\n"
         << "            __e1[0][_l] = __c1.x; __e1[1][_l] = __c1.y; __e1[2][_l] = __c1.z; "
            "__e1[3][_l] = __c1.w;\n"
         << "        }\n"
         << "        floatv_t __r0 = load_float_v(__e0[0]), __r1 = load_float_v(__e1[0]);\n"
         << "        floatv_t __g0 = load_float_v(__e0[1]), __g1 = load_float_v(__e1[1]);\n"
         << "        floatv_t __b0 = load_float_v(__e0[2]), __b1 = load_float_v(__e1[2]);\n"
         << "        floatv_t __a0 = load_float_v(__e0[3]), __a1 = load_float_v(__e1[3]);\n"
         << "        fmaskv_t __hard = (fabs(__r1 - __r0) > 0.5f) | (fabs(__g1 - __g0) > 0.5f) | "
            "(fabs(__b1 - __b0) > 0.5f);\n"
         << "        fmaskv_t _fm = fmask_v(_m0);\n"
         << "        _sr = blendf_v(_sr, _sr + blendf_v(mix(__r0, __r1, frac), __r0, __hard), "
            "_fm);\n"
         << "        _sg = blendf_v(_sg, _sg + blendf_v(mix(__g0, __g1, frac), __g0, __hard), "
            "_fm);\n"
         << "        _sb = blendf_v(_sb, _sb + blendf_v(mix(__b0, __b1, frac), __b0, __hard), "
            "_fm);\n"
         << "        _sa = blendf_v(_sa, blendf_v(mix(__a0, __a1, frac), __a0, __hard), _fm);\n";
}

void WideLayerEmitter::emit_coloring() {
    const bool transparent = layer_.transparent;
    const bool inside_valid = inside_present_ && layer_.inside_transfer != "none";
    const bool outside_valid = outside_present_ && layer_.outside_transfer != "none";
    const char* transparent_lanes =
        "        _sa = blendf_v(_sa, (floatv_t)(0.0f), fmask_v(_m0));\n";

    out_ << "    // coloring: inside lanes, then outside lanes\n"
         << "    const intv_t _inside = _live & (iter >= (intv_t)maxiter);\n"
         << "    _m0 = _inside;\n"
         << "    if (any(_m0)) {\n";
    if (inside_valid) {
        out_ << "        realv_t color_index = (realv_t)0.0;\n" << inside_.final_code;
        emit_gradient_lookup(layer_.inside_transfer, layer_.inside_density, true);
    } else if (layer_.inside_solid != 0) {
        emit_solid_color(layer_.inside_solid, true);
        if (transparent) out_ << transparent_lanes;
    } else if (transparent) {
        out_ << transparent_lanes;
    }
    out_ << "    }\n"
         << "    _m0 = _live & ~_inside;\n"
         << "    if (any(_m0)) {\n";
    if (outside_valid) {
        out_ << "        realv_t color_index = (realv_t)0.0;\n"
             << outside_.final_code
             << "        color_index = blend_v(color_index, (realv_t)0.0, _m0 & "
                "from_fmask_v(!isfinite(to_float_v(color_index))));\n";
        emit_gradient_lookup(layer_.outside_transfer, layer_.outside_density,
                             layer_.outside_repeat);
    } else if (!outside_present_) {
        out_ << "        realv_t __sp_lz = log(max(norm2_v(z), (realv_t)1e-10)) * (real_t)0.5;\n"
             << "        realv_t __sp_smooth = to_real_v(iter) + (real_t)1.0 - log2(max(__sp_lz, "
                "(realv_t)1e-10));\n"
             << "        realv_t color_index = (real_t)0.01 * __sp_smooth;\n";
        emit_gradient_lookup(layer_.outside_transfer, layer_.outside_density,
                             layer_.outside_repeat);
    } else if (layer_.outside_solid != 0) {
        emit_solid_color(layer_.outside_solid, true);
    } else if (transparent) {
        out_ << transparent_lanes;
    }
    out_ << "    }\n";

    out_ << "    _m0 = _live & (_solid != (intv_t)0);\n"
         << "    if (any(_m0)) {\n";
    if (transparent) {
        out_ << transparent_lanes;
    } else {
        emit_solid_color(layer_.inside_solid, false);
        out_ << "        _sa = blendf_v(_sa, (floatv_t)(1.0f), fmask_v(_m0));\n";
    }
    out_ << "    }\n";
    out_ << "    {\n"
         << "    fmaskv_t _fm = fmask_v(_color_override.w > 0.0f);\n"
         << "    _sr = blendf_v(_sr, to_float_v(_color_override.x), _fm);\n"
         << "    _sg = blendf_v(_sg, to_float_v(_color_override.y), _fm);\n"
         << "    _sb = blendf_v(_sb, to_float_v(_color_override.z), _fm);\n"
         << "    _sa = blendf_v(_sa, to_float_v(_color_override.w), _fm);\n"
         << "    }\n";
    if (transparent) {
        out_ << "    _sa = blendf_v(_sa, (floatv_t)(0.0f), fmask_v(_color_override.w < 0.0f));\n";
    }
    out_ << "    float4v_t _rgba;\n"
         << "    _rgba.x = _sr; _rgba.y = _sg; _rgba.z = _sb; _rgba.w = _sa;\n"
         << "    return _rgba;\n"
         << "}\n\n";
}

}  // namespace spirelle
