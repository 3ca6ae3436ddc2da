// The formulas and the coloring that Spirelle supplies without any file.
#pragma once

#include <string>

#include "scene/model.h"

namespace spirelle {

// An entry whose "builtin" section names type 1 (the Mandelbrot iteration
// started at @start) or type 2 (the Julia iteration with constant @seed) is
// replaced by that formula's text followed by the entry's default section;
// any other text is returned unchanged.
std::string expand_builtin(const std::string& text);

// Gives an outside coloring named exactly "ExponentialSmoothing" or "Smooth"
// that no entry supplied the built-in exponential-smoothing texts.
void apply_builtin_outside_coloring(FormulaEntry& outside);

}  // namespace spirelle
