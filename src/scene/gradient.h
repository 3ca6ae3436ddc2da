// The "gradient" and "opacity" sections of a layer.
#pragma once

#include <string>

#include "scene/model.h"

namespace spirelle {

// Fills the colour half of the layer's gradient from a section text.
void read_gradient_section(const std::string& text, Layer& layer);

// Fills the opacity half of the layer's gradient from a section text.
void read_opacity_section(const std::string& text, Layer& layer);

// Unpacks a colour with red in the lowest byte.
GradientPoint unpack_color(int32_t index, uint32_t packed);

}  // namespace spirelle
