// The parameter-file reader.
//
// A file is a sequence of named blocks ("name { body }"). A block whose name
// holds a colon is a formula entry carried in the file; every other block is
// a parameter set. A parameter-set body is a sequence of section headers
// ("name:") and content lines; only a "layer" header closes a layer, so every
// section seen since the previous one belongs to the layer being built. The
// content of a section is a list of key=value pairs, and animated values carry
// their keyframes after "@#" markers.
#include "scene/reader.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "formula/preprocess.h"
#include "scene/compressed.h"
#include "scene/gradient.h"
#include "scene/resolve.h"

namespace spirelle {

// [SECTION] Files and blocks

std::string join_continued_lines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t line_end = std::string::npos;
        if (text[i] == '\\') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                line_end = i + 2;
            } else if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
                line_end = i + 3;
            }
        }
        if (line_end == std::string::npos) {
            out += text[i++];
            continue;
        }
        i = line_end;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    }
    return out;
}

namespace {

// Finds the end of a block body that starts after its opening brace: the
// position of the closing brace, or the end of the text.
size_t find_block_end(const std::string& text, size_t pos) {
    int depth = 1;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            while (pos < text.size() && text[pos] != '"' && text[pos] != '\n') {
                if (text[pos] == '\\') ++pos;
                ++pos;
            }
            if (pos < text.size() && text[pos] == '"') ++pos;
            continue;
        }
        if (c == ';') {
            size_t nl = text.find('\n', pos);
            pos = nl == std::string::npos ? text.size() : nl;
            continue;
        }
        if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            return pos;
        }
        ++pos;
    }
    return text.size();
}

}  // namespace

std::vector<NamedBlock> split_blocks(const std::string& text) {
    std::vector<NamedBlock> blocks;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('{', pos);
        if (open == std::string::npos) break;
        std::string header = text.substr(pos, open - pos);
        size_t last_nl = header.rfind('\n');
        if (last_nl != std::string::npos) header = header.substr(last_nl + 1);

        size_t close = find_block_end(text, open + 1);
        std::string body = text.substr(open + 1, std::min(close, text.size()) - open - 1);
        blocks.push_back({trim(header), preprocess(decompress_block(body))});
        pos = close + 1;
    }
    return blocks;
}

std::vector<Scene> load_parameter_file(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw std::runtime_error("cannot open " + path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw std::runtime_error("cannot open " + path);

    FormulaLibrary library = split_blocks(join_continued_lines(content.str()));
    for (NamedBlock& block : library) {
        if (block.name.find(':') != std::string::npos) {
            size_t paren = block.name.find('(');
            if (paren != std::string::npos) block.name = trim(block.name.substr(0, paren));
        }
    }

    size_t sep = path.find_last_of("/\\");
    std::string scene_dir = sep == std::string::npos ? "." : path.substr(0, sep);

    std::vector<Scene> scenes;
    for (const NamedBlock& block : library) {
        if (block.name.find(':') != std::string::npos) continue;
        Scene scene;
        scene.name = block.name;
        read_parameter_set(block, scene);
        scenes.push_back(std::move(scene));
    }
    for (Scene& scene : scenes) resolve_scene(scene, library, scene_dir);
    return scenes;
}

// [SECTION] Pairs and keyframes

namespace {

bool is_key_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::map<std::string, std::string> parse_pairs(const std::string& text) {
    std::map<std::string, std::string> pairs;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && is_space(text[i])) ++i;
        if (i >= n) break;
        size_t key_begin = i;
        while (i < n && is_key_char(text[i])) ++i;
        if (i == key_begin) {
            ++i;
            continue;
        }
        std::string key = text.substr(key_begin, i - key_begin);
        if (i >= n || text[i] != '=') continue;
        ++i;
        std::string value;
        if (i < n && text[i] == '"') {
            size_t close = text.find('"', i + 1);
            if (close == std::string::npos) {
                value = text.substr(i + 1);
                i = n;
            } else {
                value = text.substr(i + 1, close - i - 1);
                i = close + 1;
            }
        } else {
            size_t value_begin = i;
            while (i < n && !is_space(text[i])) ++i;
            value = text.substr(value_begin, i - value_begin);
        }
        pairs[key] = value;
    }
    return pairs;
}

KeyframeValue parse_keyframes(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    std::string value = start == std::string::npos ? std::string() : text.substr(start);
    if (!value.empty() && value[0] == '"') value.erase(0, 1);
    size_t last_quote = value.rfind('"');
    if (last_quote != std::string::npos) value.resize(last_quote);

    KeyframeValue result;
    size_t marker = value.find("@#");
    if (value.size() < 2 || marker == std::string::npos) {
        result.static_value = value;
        return result;
    }
    result.static_value = value.substr(0, marker);
    std::string current = result.static_value;
    size_t pos = marker;
    for (;;) {
        pos += 2;
        size_t number_begin = pos;
        if (pos < value.size() && (value[pos] == '+' || value[pos] == '-')) ++pos;
        while (pos < value.size() &&
               (std::isdigit(static_cast<unsigned char>(value[pos])) || value[pos] == '.')) {
            ++pos;
        }
        double position =
            std::strtod(value.substr(number_begin, pos - number_begin).c_str(), nullptr);
        size_t flags_begin = pos;
        while (pos < value.size() && std::string("SELN").find(value[pos]) != std::string::npos)
            ++pos;
        result.track.push_back({position, current, value.substr(flags_begin, pos - flags_begin)});

        size_t next = value.find("@#", pos);
        if (next == std::string::npos) {
            std::string rest = value.substr(pos);
            size_t last = rest.find_last_not_of(" \t\r\n");
            rest = last == std::string::npos ? std::string() : rest.substr(0, last + 1);
            if (!rest.empty()) result.track.push_back({0.0, rest, ""});
            break;
        }
        current = value.substr(pos, next - pos);
        pos = next;
    }
    return result;
}

// [SECTION] Parameter sets

namespace {

using Pairs = std::map<std::string, std::string>;

// Records the keyframes of an animated value; a non-empty track replaces an
// earlier track of the same name.
void record_track(TrackMap& tracks, const std::string& name, const std::string& value) {
    KeyframeTrack track = parse_keyframes(value).track;
    if (!track.empty()) tracks[name] = std::move(track);
}

template <typename T, typename Reader>
void read_ignoring_failure(const Pairs& pairs, const char* key, T& field, Reader reader) {
    auto it = pairs.find(key);
    if (it == pairs.end()) return;
    try {
        field = reader(it->second);
    } catch (const std::runtime_error&) {
        // a value that does not parse leaves the field as it was
    }
}

void read_animated_double(const Pairs& pairs, const char* key, double& field, TrackMap& tracks) {
    read_ignoring_failure(pairs, key, field, read_double);
    auto it = pairs.find(key);
    if (it != pairs.end()) record_track(tracks, key, it->second);
}

void read_animated_int(const Pairs& pairs, const char* key, int32_t& field, TrackMap& tracks) {
    read_ignoring_failure(pairs, key, field, read_int);
    auto it = pairs.find(key);
    if (it != pairs.end()) record_track(tracks, key, it->second);
}

const std::string* find_value(const Pairs& pairs, const char* key) {
    auto it = pairs.find(key);
    return it == pairs.end() ? nullptr : &it->second;
}

// "p_" and "f_" keys: parameter values and function-parameter choices, with
// the keyframes of parameter values recorded in the given tracks.
void read_prefixed_keys(const Pairs& pairs, FormulaEntry& entry, TrackMap& tracks) {
    for (const auto& [key, value] : pairs) {
        if (key.size() <= 2 || key[1] != '_') continue;
        std::string name = to_lower(key.substr(2));
        if (key[0] == 'p' || key[0] == 'P') {
            entry.params[name] = value;
            record_track(tracks, "p_" + name, value);
        } else if (key[0] == 'f' || key[0] == 'F') {
            entry.funcs[name] = value;
        }
    }
}

void read_entry_names(const Pairs& pairs, FormulaEntry& entry) {
    if (auto v = find_value(pairs, "entry")) entry.entry = *v;
    if (auto v = find_value(pairs, "filename")) entry.filename = *v;
}

void read_layer_section(const Pairs& pairs, Layer& layer) {
    read_animated_int(pairs, "opacity", layer.opacity, layer.tracks);
    if (auto v = find_value(pairs, "mergemode")) {
        std::string mode = to_lower(*v);
        if (mode == "subtract") mode = "subtraction";
        if (mode == "add") mode = "addition";
        layer.mergemode = mode;
    }
    if (auto v = find_value(pairs, "transparent")) layer.transparent = *v == "yes";
    if (auto v = find_value(pairs, "visible")) layer.visible = *v != "no";
}

// "center" is a complex value written as real part, "/", imaginary part.
void read_center(const std::string& text, Complex& center) {
    size_t start = text.find_first_not_of(" \t");
    std::string value = start == std::string::npos ? std::string() : text.substr(start);
    if (!value.empty() && value[0] == '"') value.erase(0, 1);
    if (value.size() > 1) {
        size_t marker = value.find("@#");
        if (marker != std::string::npos) value.resize(marker);
    }
    size_t slash = value.find('/');
    auto convert = [](const std::string& part, double& field) {
        const char* begin = part.c_str();
        char* end = nullptr;
        double v = std::strtod(begin, &end);
        if (end != begin) field = v;
    };
    convert(value.substr(0, slash), center.re);
    if (slash != std::string::npos) convert(value.substr(slash + 1), center.im);
}

void read_mapping_section(const Pairs& pairs, Layer& layer) {
    if (auto v = find_value(pairs, "center")) {
        read_center(*v, layer.center);
        record_track(layer.tracks, "center", *v);
    }
    read_animated_double(pairs, "magn", layer.magn, layer.tracks);
    read_animated_double(pairs, "angle", layer.angle, layer.tracks);
    read_animated_double(pairs, "stretch", layer.stretch, layer.tracks);
    read_animated_double(pairs, "skew", layer.skew, layer.tracks);
}

void read_transform_section(const Pairs& pairs, Layer& layer) {
    FormulaEntry transform;
    read_entry_names(pairs, transform);
    if (auto v = find_value(pairs, "enabled")) transform.enabled = *v != "no";
    read_prefixed_keys(pairs, transform, transform.tracks);
    layer.transforms.push_back(std::move(transform));
}

void read_formula_section(const Pairs& pairs, Layer& layer) {
    read_animated_int(pairs, "maxiter", layer.maxiter, layer.tracks);
    read_entry_names(pairs, layer.formula);
    read_prefixed_keys(pairs, layer.formula, layer.tracks);
}

void read_coloring_section(const Pairs& pairs, FormulaEntry& coloring, std::string& transfer,
                           double& density, uint32_t& solid) {
    if (auto v = find_value(pairs, "transfer")) transfer = *v;
    read_entry_names(pairs, coloring);
    read_animated_double(pairs, "density", density, coloring.tracks);
    read_ignoring_failure(pairs, "solid", solid, read_uint);
    read_prefixed_keys(pairs, coloring, coloring.tracks);
}

// What is collected of one parameter-set body while it is read.
struct BodyState {
    std::string current;
    std::map<std::string, std::string> sections;
    std::vector<std::string> transforms;
    bool layer_pending = false;
};

std::string take_section(BodyState& state, const std::string& name) {
    auto it = state.sections.find(name);
    if (it == state.sections.end()) return {};
    std::string text = std::move(it->second);
    state.sections.erase(it);
    return text;
}

void build_layer(BodyState& state, Scene& scene) {
    Layer layer;
    read_layer_section(parse_pairs(take_section(state, "layer")), layer);
    read_mapping_section(parse_pairs(take_section(state, "mapping")), layer);
    for (const std::string& text : state.transforms)
        read_transform_section(parse_pairs(text), layer);
    read_formula_section(parse_pairs(take_section(state, "formula")), layer);
    read_coloring_section(parse_pairs(take_section(state, "inside")), layer.inside,
                          layer.inside_transfer, layer.inside_density, layer.inside_solid);
    Pairs outside = parse_pairs(take_section(state, "outside"));
    read_coloring_section(outside, layer.outside, layer.outside_transfer, layer.outside_density,
                          layer.outside_solid);
    if (auto v = find_value(outside, "repeat")) layer.outside_repeat = *v != "no";
    read_gradient_section(take_section(state, "gradient"), layer);
    read_opacity_section(take_section(state, "opacity"), layer);
    state.transforms.clear();
    if (layer.visible) scene.layers.push_back(std::move(layer));
}

void read_fractal_section(const Pairs& pairs, Scene& scene) {
    if (auto v = find_value(pairs, "width")) scene.width = read_plain_int(*v);
    if (auto v = find_value(pairs, "height")) scene.height = read_plain_int(*v);
    read_ignoring_failure(pairs, "frames", scene.frames, read_plain_int);
    read_ignoring_failure(pairs, "fps", scene.fps, read_plain_int);
    if (scene.width < 1 || scene.height < 1) {
        throw std::runtime_error("invalid image size " + std::to_string(scene.width) + "x" +
                                 std::to_string(scene.height));
    }
}

}  // namespace

void read_parameter_set(const NamedBlock& block, Scene& scene) {
    BodyState state;
    std::istringstream lines(block.text);
    std::string raw;
    while (std::getline(lines, raw)) {
        std::string line = trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line.back() == ':') {
            state.current = line.substr(0, line.size() - 1);
            if (state.current == "layer") {
                if (state.layer_pending) build_layer(state, scene);
                state.layer_pending = true;
            } else if (state.current == "transform") {
                state.transforms.emplace_back();
            }
            continue;
        }
        if (state.current == "transform") {
            state.transforms.back() += " " + line;
        } else {
            state.sections[state.current] += " " + line;
        }
    }
    if (state.layer_pending) build_layer(state, scene);
    auto fractal = state.sections.find("fractal");
    read_fractal_section(parse_pairs(fractal == state.sections.end() ? "" : fractal->second),
                         scene);
}

}  // namespace spirelle
