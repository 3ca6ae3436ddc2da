// Samples each layer's gradient into the table the kernels read. Control
// points sit on a ring of 400 positions; slot 10 * i of the 4000 holds
// position i, and the last slot is followed by the first.
#include "kernelgen/gradient_table.h"

#include <algorithm>
#include <cstddef>

namespace spirelle {
namespace {

constexpr int kSlots = kGradientLutEntries;
constexpr int kSlotsPerIndex = kGradientLutEntries / kGradientRing;

// Keeps every slot index inside the table even for positions that an edited
// scene may have left outside the ring.
int ring_slot(int32_t index) {
    int wrapped = ((index % kGradientRing) + kGradientRing) % kGradientRing;
    return wrapped * kSlotsPerIndex;
}

void interpolate_linear(const std::vector<int>& p, const std::vector<double>& v,
                        std::vector<double>& out) {
    const int m = static_cast<int>(p.size());
    for (int i = 0; i < kSlots; ++i) {
        int a = m - 1;
        for (int k = 0; k < m; ++k) {
            if (p[k] <= i) a = k;
        }
        int b = 0;
        for (int k = 0; k < m; ++k) {
            if (p[k] > i) {
                b = k;
                break;
            }
        }
        int span = p[b] - p[a];
        if (span <= 0) span += kSlots;
        int offset = i - p[a];
        if (offset < 0) offset += kSlots;
        out[i] = static_cast<double>(offset) / span * (v[b] - v[a]) + v[a];
    }
}

// Cyclic monotone cubic Hermite spline through the points.
void interpolate_smooth(const std::vector<int>& p, const std::vector<double>& v,
                        std::vector<double>& out) {
    const int m = static_cast<int>(p.size());
    std::vector<double> secant(m), tangent(m);
    for (int k = 0; k < m; ++k) {
        int j = (k + 1) % m;
        int gap = p[j] - p[k];
        if (gap == 0) continue;
        secant[k] = (v[j] - v[k]) / (gap + (gap <= 0 ? kSlots : 0));
    }
    for (int k = 0; k < m; ++k) {
        double before = secant[(k - 1 + m) % m];
        double after = secant[k];
        tangent[k] = before * after <= 0 ? 0.0 : 3.0 * before * after / (before + after);
    }
    const bool all_equal = std::all_of(p.begin(), p.end(), [&](int x) { return x == p[0]; });
    for (int k = 0; k < m; ++k) {
        int j = (k + 1) % m;
        int length = p[j] - p[k];
        if (all_equal) {
            if (k != m - 1) continue;
            length = kSlots;
        } else if (length == 0) {
            continue;
        } else if (length < 1) {
            length += kSlots;
        }
        for (int d = 0; d < length; ++d) {
            double u = static_cast<double>(d) / length;
            double u2 = u * u, u3 = u2 * u;
            int slot = ((p[k] + d) % kSlots + kSlots) % kSlots;
            out[slot] = length * tangent[k] * (u3 - 2 * u2 + u) + (2 * u3 - 3 * u2 + 1) * v[k] +
                        (3 * u2 - 2 * u3) * v[j] + length * tangent[j] * (u3 - u2);
        }
    }
}

template <typename Point>
std::vector<Point> sorted_on_ring(const std::vector<Point>& points) {
    std::vector<Point> sorted = points;
    for (Point& point : sorted) point.index = ring_slot(point.index) / kSlotsPerIndex;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Point& a, const Point& b) { return a.index < b.index; });
    return sorted;
}

}  // namespace

std::vector<double> interpolate_channel(const std::vector<int>& positions,
                                        const std::vector<double>& values, bool smooth) {
    std::vector<double> out(kSlots, 0.0);
    const size_t m = std::min(positions.size(), values.size());
    if (m == 0) return out;
    std::vector<int> p(m);
    for (size_t k = 0; k < m; ++k) p[k] = ring_slot(positions[k]);
    std::vector<double> v(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(m));
    if (smooth && m > 1) {
        interpolate_smooth(p, v, out);
    } else {
        interpolate_linear(p, v, out);
    }
    return out;
}

std::vector<float> build_gradient_slice(const Gradient& gradient) {
    std::vector<float> rgb[3] = {std::vector<float>(kSlots, 0.0f), std::vector<float>(kSlots, 0.0f),
                                 std::vector<float>(kSlots, 0.0f)};
    if (!gradient.color_points.empty()) {
        std::vector<GradientPoint> points = sorted_on_ring(gradient.color_points);
        std::vector<int> positions;
        std::vector<double> channels[3];
        for (const GradientPoint& point : points) {
            positions.push_back(point.index);
            channels[0].push_back(point.red);
            channels[1].push_back(point.green);
            channels[2].push_back(point.blue);
        }
        for (int c = 0; c < 3; ++c) {
            std::vector<double> x =
                interpolate_channel(positions, channels[c], gradient.color_smooth);
            for (int i = 0; i < kSlots; ++i) {
                rgb[c][i] = static_cast<float>(std::clamp(x[i], 0.0, 255.0)) / 255.0f;
            }
        }
    }
    std::vector<float> alpha(kSlots, 1.0f);
    if (!gradient.opacity_points.empty()) {
        std::vector<OpacityPoint> points = sorted_on_ring(gradient.opacity_points);
        std::vector<int> positions;
        std::vector<double> values;
        for (const OpacityPoint& point : points) {
            positions.push_back(point.index);
            values.push_back(point.opacity);
        }
        std::vector<double> x = interpolate_channel(positions, values, gradient.opacity_smooth);
        for (int i = 0; i < kSlots; ++i) {
            alpha[i] = static_cast<float>(std::clamp(x[i] / 255.0, 0.0, 1.0));
        }
    }
    std::vector<float> slice;
    slice.reserve(kGradientLutFloats);
    for (int i = 0; i < kSlots; ++i) {
        slice.insert(slice.end(), {rgb[0][i], rgb[1][i], rgb[2][i], alpha[i]});
    }
    return slice;
}

std::vector<float> build_gradient_table(const Scene& scene) {
    std::vector<float> table;
    table.reserve(scene.layers.size() * kGradientLutFloats);
    for (const Layer& layer : scene.layers) {
        std::vector<float> slice = build_gradient_slice(layer.gradient);
        table.insert(table.end(), slice.begin(), slice.end());
    }
    return table;
}

}  // namespace spirelle
