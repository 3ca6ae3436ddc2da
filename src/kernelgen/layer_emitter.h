// The evaluation function of one layer: it maps a sample to the plane, runs
// the transforms, iterates the formula, colors the result through the
// layer's gradient and returns straight RGBA.
#pragma once

#include <ostream>
#include <string>

#include "kernelgen/coloring.h"
#include "kernelgen/instantiate.h"
#include "kernelgen/layer_view.h"
#include "scene/model.h"

namespace spirelle {

// Writes the user functions and eval_layer_<n> of one layer. The stream is
// expected in default floating notation with 17 significant digits. With
// ViewValues::buffer the function takes one more argument, the layer's
// slots of the layer_view buffer, and reads its view values from there.
class LayerEmitter {
  public:
    LayerEmitter(std::ostream& out, const Scene& scene, const Layer& layer, int index,
                 std::string prefix, ViewValues view_values = ViewValues::literals);
    void emit();

  private:
    ColoringInstance colored_instance(const FormulaEntry& coloring, const std::string& counter,
                                      const std::string& prefix) const;
    void emit_user_functions();
    void emit_header_and_mapping();
    void emit_transforms();
    void emit_init_and_iterate();
    void emit_coloring();

    std::ostream& out_;
    const Scene& scene_;
    const Layer& layer_;
    int index_;
    std::string prefix_;
    ViewValues view_values_;
    long gradient_offset_;
    FormulaInstance formula_;
    bool inside_present_ = false;
    bool outside_present_ = false;
    ColoringInstance inside_;  // gradient calls already rewritten
    ColoringInstance outside_;
};

// "_sr op r; _sg op g; _sb op b;" with the packed color's channels (red in
// the lowest byte) in fixed notation with 8 decimals.
void emit_solid_color(std::ostream& out, uint32_t packed, const std::string& op);

// Reads the gradient at color_index through density and transfer function,
// wrapped (repeat) or clamped, and adds the color to the accumulators.
void emit_gradient_lookup(std::ostream& out, const std::string& transfer, double density,
                          bool repeat, long offset);

// Turns fl_gradient(x) into fl_gradient_lookup(x, gradient_lut, offset);
// the wide form names its own pair of functions.
std::string rewrite_gradient_calls(const std::string& text, long offset,
                                   const std::string& call = "fl_gradient(",
                                   const std::string& lookup = "fl_gradient_lookup(");

// The transfer expression of a transfer-function name, in terms of __sp_y.
std::string transfer_expression(const std::string& name);

// From the gradient position __sp_y to the blended entry float4 __c, each
// line starting with `indent`.
void emit_gradient_entry(std::ostream& out, const std::string& transfer, bool repeat, long offset,
                         const std::string& indent);

// The layer function's constants center_re ... _layer_angle, as literals or
// read from its slots of the layer_view buffer.
void emit_view_constants(std::ostream& out, const Scene& scene, const Layer& layer,
                         ViewValues view_values);

// dx, dy and the sample's plane position re, im; per lane in the wide form,
// whose gx is an intv_t.
void emit_plane_mapping(std::ostream& out, const Scene& scene, const Layer& layer,
                        ViewValues view_values, bool wide);

bool coloring_present(const FormulaEntry& coloring);

}  // namespace spirelle
