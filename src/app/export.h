// Writing images to disk: the names that saved images and numbered
// sequences get, and PNG encoding. Used by the desktop program's save and
// range functions and by spirelle-cli render.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spirelle {

// The file name without its last extension. A name whose only "." is its
// first character, and the names "." and "..", are their own stem.
// Slashes and backslashes both separate directories.
std::string path_stem(const std::string& path);

// The path without its last component and the separators before it; empty
// when the path has no directory part. A file directly under the root keeps
// the root as its directory.
std::string output_directory(const std::string& path);

// Directory and file name with one separator between them, none when the
// directory is empty, a bare drive ("C:") or already ends in a separator.
std::string join_output_path(const std::string& directory, const std::string& file_name);

// "" for a file with one set; otherwise "_" + the set's name, or "_set" +
// its index when the set has no name. Slashes and backslashes in the name
// become "_", so that the image stays next to the scene file.
std::string set_suffix(size_t set_count, size_t set_index, const std::string& set_name);

// "_f" + frame for an animated set, "_rendered" otherwise.
std::string frame_suffix(bool animated, int frame);

// Where "Save PNG" writes the image of a set shown from a scene file.
std::string saved_image_path(const std::string& scene_path, size_t set_count, size_t set_index,
                             const std::string& set_name, bool animated, int frame);

// Where frame n of a sequence goes: stem + "_f%04d.png" in the directory.
std::string sequence_frame_path(const std::string& directory, const std::string& stem, int frame);

// PNG of width x height RGBA pixels, rows top to bottom; empty when the
// image cannot be encoded.
std::vector<uint8_t> encode_png(int width, int height, const std::vector<uint8_t>& rgba);

// Writes all bytes to a new file or in place of an existing one; false when
// it cannot. The file appears whole or not at all.
bool write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Encodes and writes in one step; false when either fails.
bool write_png_file(const std::string& path, int width, int height,
                    const std::vector<uint8_t>& rgba);

}  // namespace spirelle
