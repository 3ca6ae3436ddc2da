// The gradient lookup table: every layer's gradient sampled into 4000 RGBA
// entries, all layers in one float buffer that the kernels read by position.
#pragma once

#include <vector>

#include "scene/model.h"

namespace spirelle {

constexpr int kGradientLutEntries = 4000;
constexpr int kGradientLutFloats = 4 * kGradientLutEntries;

// Layer count x 16000 floats, layer n starting at float n x 16000; within a
// layer entry k is r, g, b, a at gradient position k / 4000.
std::vector<float> build_gradient_table(const Scene& scene);

// The 16000 floats of one gradient.
std::vector<float> build_gradient_slice(const Gradient& gradient);

// Spreads control values at ring positions 0..399 over 4000 slots, linearly
// or with a cyclic monotone cubic; positions must be sorted ascending.
std::vector<double> interpolate_channel(const std::vector<int>& positions,
                                        const std::vector<double>& values, bool smooth);

}  // namespace spirelle
