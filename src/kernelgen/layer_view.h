// Where a layer sits in the plane and how far it iterates: the values that
// pan, zoom, rotation, stretch, skew and the iteration limit change. The
// layer function either carries them as literals or reads them from the
// program's layer_view buffer; in the second form such edits leave the
// program text as it was, so the engine only refills the buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/model.h"

namespace spirelle {

// How the generated program gets each layer's view values.
enum class ViewValues {
    literals,  // written into the layer function: the text formula authors read
    buffer,    // read from the layer_view argument of render_scene
};

// re = center_re + a * dx - b * dy and im = center_im + c * dx - d * dy, where
// dx, dy are the sample's distances from the image centre in pixels times
// pixel_size.
struct LayerView {
    double center_re = 0;
    double center_im = 0;
    double pixel_size = 0;  // plane units per pixel before rotation
    int32_t maxiter = 0;
    double magn = 0;
    double angle = 0;  // radians
    double a = 0, b = 0, c = 0, d = 0;
};

// A layer's slots in the layer_view buffer, in the order of LayerView.
enum LayerViewSlot {
    kViewCenterRe,
    kViewCenterIm,
    kViewPixelSize,
    kViewMaxiter,
    kViewMagn,
    kViewAngle,
    kViewA,
    kViewB,
    kViewC,
    kViewD,
    kLayerViewSlots
};

LayerView layer_view(const Scene& scene, const Layer& layer);

// The bytes of the layer_view buffer: kLayerViewSlots real_t per layer in
// layer order, floats or doubles by the scene's precision. The maxiter slot
// carries the integer's bits (int32 in a float, int64 in a double), which
// the program reads back with as_int or as_long, so that no iteration limit
// is rounded the way a float would round it.
std::vector<uint8_t> layer_view_buffer(const Scene& scene);

}  // namespace spirelle
