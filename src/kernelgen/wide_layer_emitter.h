// The evaluation function of one layer in the wide form: the layer function
// of layer_emitter.h computed for a run of adjacent pixels at once, one per
// lane, with the formula's control flow as masks.
#pragma once

#include <ostream>
#include <string>

#include "kernelgen/coloring.h"
#include "kernelgen/instantiate.h"
#include "kernelgen/layer_view.h"
#include "scene/model.h"

namespace spirelle {

// Writes the user functions and eval_layer_<n> of one layer in the wide
// form. The function takes the pixels' columns as an intv_t and their row
// as an int, and returns straight RGBA per lane (float4v_t). The stream is
// expected in default floating notation with 17 significant digits.
class WideLayerEmitter {
  public:
    WideLayerEmitter(std::ostream& out, const Scene& scene, const Layer& layer, int index,
                     std::string prefix, ViewValues view_values, int lanes);

    // Translates the layer's formula, colorings and transforms; returns the
    // first construct the wide form cannot express, or "" when there is
    // none. Writes nothing.
    std::string prepare();
    // Writes the layer; call after prepare found nothing in the way.
    void emit();

  private:
    void emit_header_and_mapping();
    void emit_transforms();
    void emit_init_and_iterate();
    void emit_coloring();
    void emit_gradient_lookup(const std::string& transfer, double density, bool repeat);
    void emit_solid_color(uint32_t packed, bool add);

    std::ostream& out_;
    const Scene& scene_;
    const Layer& layer_;
    int index_;
    std::string prefix_;
    ViewValues view_values_;
    int lanes_;
    long gradient_offset_;
    FormulaInstance formula_;
    bool inside_present_ = false;
    bool outside_present_ = false;
    ColoringInstance inside_;  // gradient calls already rewritten
    ColoringInstance outside_;
    std::vector<TransformInstance> transforms_;
    std::vector<std::string> transform_names_;
    bool reads_z_old_ = true;
};

}  // namespace spirelle
