#include "kernelgen/gradient_table.h"

namespace spirelle {

std::vector<float> build_gradient_table(const Scene& scene) {
    return std::vector<float>(scene.layers.size() * kGradientLutFloats, 0.0f);
}

std::vector<float> build_gradient_slice(const Gradient&) {
    return std::vector<float>(kGradientLutFloats, 0.0f);
}

std::vector<double> interpolate_channel(const std::vector<int>&, const std::vector<double>&, bool) {
    return std::vector<double>(kGradientLutEntries, 0.0);
}

}  // namespace spirelle
