// The fixed library at the head of every KernelSource: complex arithmetic and
// elementary functions, the formula colour functions with the gradient
// lookup, and HSL conversion with the layer blend modes. The texts rely on
// real_t, real2_t and real4_t from the precision block, and the colour block
// on GRADIENT_LUT_RES, which the KernelSource defines between the blocks.
#pragma once

#include <string>
#include <string_view>

namespace spirelle {

extern const std::string_view kPreludeComplex;
extern const std::string_view kPreludeColor;
extern const std::string_view kPreludeBlend;

// Everything a KernelSource holds before its tables and layers: the precision
// block, the three prelude blocks with GRADIENT_LUT_RES between the first two,
// and MAX_FORMULA_LOOP_ITERS.
std::string prelude_source(bool double_precision);

}  // namespace spirelle
