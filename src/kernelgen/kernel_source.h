// The whole OpenCL program of a Scene: the precision block, the prelude, the
// optional blue-noise tables, one evaluation function per layer and the
// render_scene and imaging kernels.
#pragma once

#include <string>

#include "kernelgen/layer_view.h"
#include "scene/model.h"

namespace spirelle {

// The KernelSource of the scene. Double precision when the scene's precision
// is 1; blue-noise tables when its sampling level is above 0.
//
// With ViewValues::buffer, render_scene takes a seventh argument,
// "__constant real_t * layer_view", filled with layer_view_buffer(scene),
// and hands each layer function its slots; the text then no longer depends
// on the layers' centre, magnification, angle, stretch, skew, maximum
// iterations or on the image size, and renders the same pixels.
std::string build_kernel_source(const Scene& scene, ViewValues view_values = ViewValues::literals);

// A program and the number of horizontally adjacent pixels each work item
// of its render_scene renders: 1 for the canonical form.
struct ProgramSource {
    std::string text;
    int lanes = 1;
    // Why a wide program was asked for and the canonical one came back: the
    // construct the wide form cannot express. Empty otherwise.
    std::string scalar_reason;
};

// The wide form of the scene's program, for devices that run work items one
// at a time (CPU devices): every value of a layer function holds `lanes`
// pixels of one row, one per lane of an OpenCL vector, and the formula's
// control flow becomes masks. render_scene takes the same arguments as in
// the canonical form; work item (i, y) renders pixels lanes * i ... lanes *
// i + lanes - 1 of row y, those past the right edge only in masked-off
// lanes. It renders the pixels of the canonical form (double precision bit
// for bit). `lanes` is 2, 4, 8 or 16; a scene with a construct the wide form
// cannot express gets the canonical program and the construct.
ProgramSource build_wide_kernel_source(const Scene& scene, ViewValues view_values, int lanes);

}  // namespace spirelle
