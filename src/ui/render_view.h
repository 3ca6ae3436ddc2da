// The Render view: the last rendered image, magnified by powers of two about
// the cursor and panned by dragging, and the fractal steered with the mouse
// (Ctrl + wheel zooms it about the cursor, the right button drags the plane,
// a double-click centres the clicked point).
#pragma once

#include "app/ui_state.h"

namespace spirelle {

// The OpenGL texture that holds the image; 0 x 0 before the first upload.
struct RenderTexture {
    unsigned int id = 0;
    int width = 0;
    int height = 0;
};

// Draws the "Render" window. Returns true when navigation edited the
// selected set, which the main loop then hands over like any other edit.
bool draw_render_view(UiState& state, const RenderTexture& texture);

}  // namespace spirelle
