// Parameter files: named blocks, parameter-set bodies, key=value pairs and
// the keyframe notation of animated values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scene/model.h"
#include "scene/text.h"

namespace spirelle {

// One block of a parameter or formula file: a name followed by a body in
// braces. The text is the body after decompression and preprocessing.
struct NamedBlock {
    std::string name;
    std::string text;
};

// Reads a parameter file into its Scenes, in file order, each resolved
// against its formulas. Throws std::runtime_error with one message.
std::vector<Scene> load_parameter_file(const std::string& path);

// Removes a backslash at a line end together with that line end and the
// blanks that start the next line.
std::string join_continued_lines(const std::string& text);

// Splits a text into its named blocks; every body is decompressed and
// preprocessed.
std::vector<NamedBlock> split_blocks(const std::string& text);

// Fills a Scene from one parameter-set body.
void read_parameter_set(const NamedBlock& block, Scene& scene);

// The key=value pairs of one section; a later key replaces an earlier one.
std::map<std::string, std::string> parse_pairs(const std::string& text);

struct KeyframeValue {
    std::string static_value;
    KeyframeTrack track;
};

// Splits an animated value into its static text and its keyframes.
KeyframeValue parse_keyframes(const std::string& text);

// Number readers: skip blanks and one double quote, cut at "@#", then convert
// with the C library. They throw "invalid sto* argument" or
// "sto* argument out of range".
int32_t read_int(const std::string& text);
uint32_t read_uint(const std::string& text);
double read_double(const std::string& text);

// Plain strtol conversion in the 32-bit range, without the preparation above.
int32_t read_plain_int(const std::string& text);

}  // namespace spirelle
