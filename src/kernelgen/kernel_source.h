// The whole OpenCL program of a Scene: the precision block, the prelude, the
// optional blue-noise tables, one evaluation function per layer and the
// render_scene and imaging kernels.
#pragma once

#include <string>

#include "scene/model.h"

namespace spirelle {

// The KernelSource of the scene. Double precision when the scene's precision
// is 1; blue-noise tables when its sampling level is above 0.
std::string build_kernel_source(const Scene& scene);

}  // namespace spirelle
