// The "gradient" and "opacity" sections. Points are read from the raw text as
// "index=" followed by "color=" (or "opacity="), in file order; the ring
// position wraps into 0..399.
#include "scene/gradient.h"

#include <stdexcept>

#include "scene/reader.h"

namespace spirelle {

GradientPoint unpack_color(int32_t index, uint32_t packed) {
    return {index, static_cast<uint8_t>(packed & 0xFF), static_cast<uint8_t>((packed >> 8) & 0xFF),
            static_cast<uint8_t>((packed >> 16) & 0xFF)};
}

namespace {

int32_t wrap_ring(int32_t index) {
    return ((index % kGradientRing) + kGradientRing) % kGradientRing;
}

// The text that a number reader can consume at pos: leading white space and
// the first run of other characters. Keeps point reading linear in the
// section length.
std::string number_window(const std::string& text, size_t pos) {
    const char* ws = " \t\n\v\f\r";
    size_t start = text.find_first_not_of(ws, pos);
    if (start == std::string::npos) return {};
    size_t end = text.find_first_of(ws, start);
    return text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

bool read_smooth(const std::string& text, bool current) {
    auto pairs = parse_pairs(text);
    auto it = pairs.find("smooth");
    return it == pairs.end() ? current : it->second == "yes";
}

// Calls point(index, value_text) for every "index=" that a value key
// follows; stops at the first index without one.
template <typename PointFn>
void for_each_point(const std::string& text, const std::string& value_key, PointFn point) {
    static const std::string kIndex = "index=";
    size_t pos = 0;
    for (;;) {
        size_t at = text.find(kIndex, pos);
        if (at == std::string::npos) return;
        int32_t index = read_int(number_window(text, at + kIndex.size()));
        size_t value_at = text.find(value_key, at + kIndex.size());
        if (value_at == std::string::npos) return;
        pos = value_at + value_key.size();
        point(wrap_ring(index), number_window(text, pos));
    }
}

}  // namespace

void read_gradient_section(const std::string& text, Layer& layer) {
    Gradient& g = layer.gradient;
    g.color_smooth = read_smooth(text, g.color_smooth);
    for_each_point(text, "color=", [&](int32_t index, const std::string& value) {
        g.color_points.push_back(unpack_color(index, read_uint(value)));
    });
}

void read_opacity_section(const std::string& text, Layer& layer) {
    Gradient& g = layer.gradient;
    g.opacity_smooth = read_smooth(text, g.opacity_smooth);
    for_each_point(text, "opacity=", [&](int32_t index, const std::string& value) {
        uint8_t opacity = 255;
        try {
            opacity = static_cast<uint8_t>(read_uint(value) & 0xFF);
        } catch (const std::runtime_error&) {
            // an unreadable opacity counts as opaque
        }
        g.opacity_points.push_back({index, opacity});
    });
}

}  // namespace spirelle
