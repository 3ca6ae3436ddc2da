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

}  // namespace spirelle
