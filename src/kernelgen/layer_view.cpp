// The plane mapping of a layer and the buffer that carries it into the
// program. A single-precision slot holds the double converted to float, the
// same value the compiler makes of the literal the other form writes.
#include "kernelgen/layer_view.h"

#include <cmath>
#include <cstring>

namespace spirelle {
namespace {

constexpr double kPi = 3.141592653589793;

template <typename Real, typename Bits>
void append_layer(std::vector<uint8_t>& out, const LayerView& v) {
    const Real values[kLayerViewSlots] = {
        static_cast<Real>(v.center_re),  static_cast<Real>(v.center_im),
        static_cast<Real>(v.pixel_size), 0,
        static_cast<Real>(v.magn),       static_cast<Real>(v.angle),
        static_cast<Real>(v.a),          static_cast<Real>(v.b),
        static_cast<Real>(v.c),          static_cast<Real>(v.d),
    };
    const size_t at = out.size();
    out.resize(at + sizeof values);
    std::memcpy(out.data() + at, values, sizeof values);
    const Bits maxiter = v.maxiter;
    std::memcpy(out.data() + at + kViewMaxiter * sizeof(Real), &maxiter, sizeof maxiter);
}

}  // namespace

// Image rows grow downwards and the imaginary axis upwards; at magnification
// 1 a 4 x 3 region of the plane fits the image.
LayerView layer_view(const Scene& scene, const Layer& layer) {
    LayerView v;
    v.center_re = layer.center.re;
    v.center_im = layer.center.im;
    double aspect = static_cast<double>(scene.width) / static_cast<double>(scene.height);
    v.pixel_size = aspect > 1.3333333333333333 ? 3.0 / (layer.magn * scene.height)
                                               : 4.0 / (layer.magn * scene.width);
    v.maxiter = layer.maxiter;
    v.magn = layer.magn;
    v.angle = layer.angle * kPi / 180.0;
    // (dx, dy) is sheared along x by tan(skew), its x scaled by 1 / stretch
    // and its y flipped, then the whole is rotated by the angle.
    double k = std::tan(layer.skew * kPi / 180.0);
    double s = 1.0 / layer.stretch;
    v.a = s * std::cos(v.angle);
    v.b = -std::cos(v.angle) * k * s - std::sin(v.angle);
    v.c = s * std::sin(v.angle);
    v.d = std::cos(v.angle) - k * std::sin(v.angle) * s;
    return v;
}

std::vector<uint8_t> layer_view_buffer(const Scene& scene) {
    std::vector<uint8_t> out;
    for (const Layer& layer : scene.layers) {
        if (scene.precision == 1) {
            append_layer<double, int64_t>(out, layer_view(scene, layer));
        } else {
            append_layer<float, int32_t>(out, layer_view(scene, layer));
        }
    }
    return out;
}

}  // namespace spirelle
