// All edits reduce to one rule: a plane point P shown at position q before
// the edit must be shown at q' after it. With the forward mapping
// P = center + M * (q - image centre) * pixel_size, where M is the 2 x 2
// matrix of angle, stretch and skew, that fixes the new centre:
// center' = P - M * (q' - image centre) * pixel_size'.
#include "ui/navigation.h"

#include <cmath>

namespace spirelle {
namespace {

constexpr double kPi = 3.141592653589793;

// The kernel coordinate of a position (see the header).
struct Offset {
    double u, v;  // in plane units, before angle, stretch and skew
};

Offset offset_from_centre(const PlaneMapping& m, ImagePoint p) {
    return {(p.x - 0.5 - m.width * 0.5) * m.pixel_size,
            (p.y - 0.5 - m.height * 0.5) * m.pixel_size};
}

Complex rotate(const PlaneMapping& m, Offset o) {
    return {m.a * o.u - m.b * o.v, m.c * o.u - m.d * o.v};
}

bool finite(Complex z) { return std::isfinite(z.re) && std::isfinite(z.im); }

// The centre that shows plane point `z` at `at` under mapping `m` (whose own
// centre is ignored).
Complex centre_showing(const PlaneMapping& m, Complex z, ImagePoint at) {
    Complex r = rotate(m, offset_from_centre(m, at));
    return {z.re - r.re, z.im - r.im};
}

// Applies a new magnification and centre to a layer, each unless a track
// drives it. Returns true when the layer changed.
bool store_view(Layer& layer, double magn, Complex centre) {
    if (!std::isfinite(magn) || magn == 0.0 || !finite(centre)) return false;
    bool changed = false;
    if (!layer.tracks.count("magn") && magn != layer.magn) {
        layer.magn = magn;
        changed = true;
    }
    if (!layer.tracks.count("center") &&
        (centre.re != layer.center.re || centre.im != layer.center.im)) {
        layer.center = centre;
        changed = true;
    }
    return changed;
}

}  // namespace

// The same expressions, in the same order, as the kernel generator's.
PlaneMapping plane_mapping(const Scene& scene, const Layer& layer) {
    PlaneMapping m;
    m.center = layer.center;
    m.width = scene.width;
    m.height = scene.height;
    double aspect = static_cast<double>(scene.width) / static_cast<double>(scene.height);
    m.pixel_size = aspect > 1.3333333333333333 ? 3.0 / (layer.magn * scene.height)
                                               : 4.0 / (layer.magn * scene.width);
    double angle = layer.angle * kPi / 180.0;
    double k = std::tan(layer.skew * kPi / 180.0);
    double s = 1.0 / layer.stretch;
    m.a = s * std::cos(angle);
    m.b = -std::cos(angle) * k * s - std::sin(angle);
    m.c = s * std::sin(angle);
    m.d = std::cos(angle) - k * std::sin(angle) * s;
    return m;
}

Complex image_to_plane(const PlaneMapping& m, ImagePoint p) {
    Complex r = rotate(m, offset_from_centre(m, p));
    return {m.center.re + r.re, m.center.im + r.im};
}

// Inverts [re - centre.re, im - centre.im] = [[a, -b], [c, -d]] * [u, v].
std::optional<ImagePoint> plane_to_image(const PlaneMapping& m, Complex z) {
    double det = m.b * m.c - m.a * m.d;
    if (!std::isfinite(det) || det == 0.0 || !std::isfinite(m.pixel_size) || m.pixel_size == 0.0) {
        return std::nullopt;
    }
    double dre = z.re - m.center.re;
    double dim = z.im - m.center.im;
    double u = (-m.d * dre + m.b * dim) / det;
    double v = (-m.c * dre + m.a * dim) / det;
    ImagePoint p{u / m.pixel_size + m.width * 0.5 + 0.5, v / m.pixel_size + m.height * 0.5 + 0.5};
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    return p;
}

Scene shown_set(const Scene& set, bool animated, int frame) {
    Scene shown = set;
    if (animated) evaluate_tracks(shown, frame_time(frame));
    return shown;
}

bool zoom_fractal(Scene& set, const Scene& shown, ImagePoint at, double factor) {
    bool changed = false;
    for (size_t i = 0; i < set.layers.size() && i < shown.layers.size(); ++i) {
        if (set.layers[i].tracks.count("magn")) continue;
        const Layer& before = shown.layers[i];
        Layer after = before;
        after.magn = before.magn * factor;
        Complex z = image_to_plane(plane_mapping(shown, before), at);
        Complex centre = centre_showing(plane_mapping(shown, after), z, at);
        changed |= store_view(set.layers[i], after.magn, centre);
    }
    return changed;
}

bool move_fractal(Scene& set, const Scene& shown, double dx, double dy) {
    bool changed = false;
    for (size_t i = 0; i < set.layers.size() && i < shown.layers.size(); ++i) {
        PlaneMapping m = plane_mapping(shown, shown.layers[i]);
        // With q' = q + (dx, dy) the rule reduces to
        // center' = center - M * (dx, dy) * pixel_size.
        Complex r = rotate(m, {dx * m.pixel_size, dy * m.pixel_size});
        Complex centre{m.center.re - r.re, m.center.im - r.im};
        changed |= store_view(set.layers[i], shown.layers[i].magn, centre);
    }
    return changed;
}

bool center_fractal(Scene& set, const Scene& shown, ImagePoint at) {
    bool changed = false;
    for (size_t i = 0; i < set.layers.size() && i < shown.layers.size(); ++i) {
        Complex z = image_to_plane(plane_mapping(shown, shown.layers[i]), at);
        changed |= store_view(set.layers[i], shown.layers[i].magn, z);
    }
    return changed;
}

}  // namespace spirelle
