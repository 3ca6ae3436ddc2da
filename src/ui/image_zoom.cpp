#include "ui/image_zoom.h"

#include <algorithm>
#include <cstdio>

namespace spirelle {

float image_zoom_step(float zoom, float wheel) {
    if (wheel == 0.0f) return zoom;
    float next = wheel > 0.0f ? zoom * 2.0f : zoom * 0.5f;
    return std::clamp(next, kMinImageZoom, kMaxImageZoom);
}

std::string image_zoom_label(float zoom) {
    char text[16];
    if (zoom >= 1.0f) {
        std::snprintf(text, sizeof text, "%d:1", static_cast<int>(zoom + 0.5f));
    } else {
        std::snprintf(text, sizeof text, "1:%d", static_cast<int>(1.0f / zoom + 0.5f));
    }
    return text;
}

// The image point under the cursor sits at (scroll + cursor) / zoom; after
// zooming by r it must sit at the same cursor position:
// (scroll' + cursor) / (r * zoom) = (scroll + cursor) / zoom.
float scroll_for_zoom(float cursor, float scroll, float ratio) {
    return cursor * (ratio - 1.0f) + ratio * scroll;
}

}  // namespace spirelle
