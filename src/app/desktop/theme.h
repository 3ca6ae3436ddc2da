// The look of the desktop program: the UI scale from the display's DPI, the
// dark theme and the font, all three scaled together.
#pragma once

#include <SDL.h>

namespace spirelle {

// DPI / 96 of the window's display, within 0.75..4; 1 when the display does
// not say or reports an implausible DPI.
float ui_scale_for(SDL_Window* window);

// ImGui's default dark style with our sizes and colours, scaled.
void apply_dark_theme(float scale);

// Width of the separator between the two panes at this scale.
float pane_separator_width(float scale);

// Clears the font atlas and loads the first system font that exists (the
// built-in font when none does) at max(17 * scale, 10) pixels.
void load_font(float scale);

}  // namespace spirelle
