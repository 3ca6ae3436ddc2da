// The library of the wide form of a program, which follows the canonical
// prelude: the lane types, and for every prelude function that translated
// formulas and layer functions call, a lane-wise counterpart with the same
// name and "_v" appended.
#pragma once

#include <string>
#include <vector>

namespace spirelle {

// Everything a wide program holds before its tables and layers: the whole
// canonical prelude, whose scalar functions the lane-wise ones call lane by
// lane where a vector form would round differently, then the lane types for
// `lanes` pixels per work item and the lane-wise library. `blend_functions`
// names the blend functions (blend_normal, ...) the program composites with;
// each gets a lane-wise form.
std::string wide_prelude_source(bool double_precision, int lanes,
                                const std::vector<std::string>& blend_functions);

}  // namespace spirelle
