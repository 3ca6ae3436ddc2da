// Magnification of the finished image in the Render view: powers of two
// from 1:16 to 16:1, changed by the mouse wheel about the cursor.
#pragma once

#include <string>

namespace spirelle {

constexpr float kMinImageZoom = 0.0625f;
constexpr float kMaxImageZoom = 16.0f;

// The zoom after one wheel step: doubled for a positive wheel delta, halved
// for a negative one, kept within 1/16..16. A delta of 0 changes nothing.
float image_zoom_step(float zoom, float wheel);

// "4:1" at zoom 4, "1:8" at zoom 1/8.
std::string image_zoom_label(float zoom);

// The scroll offset that keeps the image point under the cursor in place
// when the zoom grows by `ratio`: `cursor` is the cursor's distance from the
// pane's visible edge and `scroll` the current scroll offset, on one axis.
float scroll_for_zoom(float cursor, float scroll, float ratio);

}  // namespace spirelle
