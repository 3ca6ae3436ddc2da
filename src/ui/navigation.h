// Steering the fractal with the mouse: zoom about the cursor, drag the plane,
// centre a clicked point. Every edit goes through the same mapping from
// image pixels to the complex plane that the generated kernel uses, so the
// plane point under the cursor is the one the picture shows there.
//
// Positions are measured in image pixels from the image's top-left corner:
// pixel (i, j) covers [i, i + 1) x [j, j + 1). The kernel places the samples
// of pixel i around i, so a position x corresponds to kernel coordinate
// x - 0.5.
#pragma once

#include <optional>

#include "scene/model.h"

namespace spirelle {

struct ImagePoint {
    double x = 0.0;
    double y = 0.0;
};

// One layer's mapping, in the kernel's terms:
//   u = (x - width / 2) * pixel_size,  v = (y - height / 2) * pixel_size
//   re = center.re + a * u - b * v,    im = center.im + c * u - d * v
struct PlaneMapping {
    Complex center;
    double pixel_size = 0.0;
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0;
    double width = 0.0, height = 0.0;
};

PlaneMapping plane_mapping(const Scene& scene, const Layer& layer);

// The plane point shown at an image position.
Complex image_to_plane(const PlaneMapping& m, ImagePoint p);

// The image position that shows a plane point; none when the mapping is
// degenerate (a stretch or magnification of 0).
std::optional<ImagePoint> plane_to_image(const PlaneMapping& m, Complex z);

// The set as the Render view shows it: its tracks evaluated at the frame
// when it is animated.
Scene shown_set(const Scene& set, bool animated, int frame);

// The edits below change `center` and `magn` of every layer of `set` as
// seen in `shown` (shown_set of it). A value driven by an animation track
// is left alone, and a layer whose new values would not be finite keeps its
// old ones. Each returns true when it changed anything.

// Multiplies the magnification by `factor` keeping the plane point at `at`.
bool zoom_fractal(Scene& set, const Scene& shown, ImagePoint at, double factor);

// Moves the plane with the mouse: every plane point moves by (dx, dy) image
// pixels.
bool move_fractal(Scene& set, const Scene& shown, double dx, double dy);

// Makes the plane point at `at` the centre of the view.
bool center_fractal(Scene& set, const Scene& shown, ImagePoint at);

}  // namespace spirelle
