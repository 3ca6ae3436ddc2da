// Colorings and transforms: formula-language entries that run at other
// places of the layer function than the fractal formula. A coloring becomes
// three code texts with names private to it; a transform becomes a block
// that rewrites the pixel before the iteration.
#pragma once

#include <map>
#include <string>

#include "scene/model.h"

namespace spirelle {

struct ColoringInstance {
    std::string init_code;
    std::string loop_code;
    std::string final_code;
    std::string wide_blocker;  // the wide form: what it could not express
};

// What a coloring that needs class libraries, image sampling or grids
// becomes: it marks every pixel as solid.
extern const std::string kUnsupportedColoringStub;
extern const std::string kUnsupportedColoringWideStub;

bool is_unsupported_coloring(const FormulaEntry& coloring);

// `counter` is "_ic_iter" or "_oc_iter", `prefix` "_ic_" or "_oc_". With
// `wide`, the code of the wide form, whose statements assign only in the
// lanes of the mask _m0 that surrounds them.
ColoringInstance instantiate_coloring(const FormulaEntry& coloring, const std::string& counter,
                                      const std::string& prefix, bool wide = false);

// Replaces the calls of the few class objects a transform may use by plain
// formula text: Iterate by its class expression, IsSolid by 0; drops the
// lines that set objects up.
std::string rewrite_class_calls(const std::string& text,
                                const std::map<std::string, std::string>& params);

struct TransformInstance {
    std::string global_code;
    std::string transform_code;
    std::string wide_blocker;
};

TransformInstance instantiate_transform(const FormulaEntry& transform, bool wide = false);

}  // namespace spirelle
