// File naming works on the path as text, treating "/" and "\" alike, so a
// scene path typed on one platform names its images the same way on another.
#include "app/export.h"

#include <fcntl.h>
#include <stb_image_write.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

namespace spirelle {

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool is_bare_drive(const std::string& s) {
    return s.size() == 2 && s[1] == ':' &&
           ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

size_t last_separator(const std::string& path) { return path.find_last_of("/\\"); }

// On this platform the slash separates directories; a backslash would
// become part of the file name.
constexpr char kSeparator = '/';

}  // namespace

std::string path_stem(const std::string& path) {
    size_t sep = last_separator(path);
    std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    if (name == "." || name == "..") return name;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

std::string output_directory(const std::string& path) {
    size_t sep = last_separator(path);
    if (sep == std::string::npos) return {};
    size_t end = sep;
    while (end > 0 && is_separator(path[end - 1])) --end;
    // "/scene.upr" lives in the root, not in the working directory.
    if (end == 0) return path.substr(0, 1);
    return path.substr(0, end);
}

std::string join_output_path(const std::string& directory, const std::string& file_name) {
    if (directory.empty() || is_bare_drive(directory) || is_separator(directory.back())) {
        return directory + file_name;
    }
    return directory + kSeparator + file_name;
}

std::string set_suffix(size_t set_count, size_t set_index, const std::string& set_name) {
    if (set_count < 2) return {};
    if (set_name.empty()) return "_set" + std::to_string(set_index);
    // The name comes from the scene file; a separator in it would send the
    // image into another directory (or "../" out of the scene's).
    std::string suffix = "_" + set_name;
    std::replace_if(suffix.begin(), suffix.end(), is_separator, '_');
    return suffix;
}

std::string frame_suffix(bool animated, int frame) {
    return animated ? "_f" + std::to_string(frame) : "_rendered";
}

std::string saved_image_path(const std::string& scene_path, size_t set_count, size_t set_index,
                             const std::string& set_name, bool animated, int frame) {
    std::string name = path_stem(scene_path) + set_suffix(set_count, set_index, set_name) +
                       frame_suffix(animated, frame) + ".png";
    return join_output_path(output_directory(scene_path), name);
}

std::string sequence_frame_path(const std::string& directory, const std::string& stem, int frame) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "_f%04d.png", frame);
    return join_output_path(directory, stem + suffix);
}

std::vector<uint8_t> encode_png(int width, int height, const std::vector<uint8_t>& rgba) {
    if (width < 1 || height < 1 || rgba.size() != static_cast<size_t>(width) * height * 4)
        return {};
    std::vector<uint8_t> png;
    auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        auto* bytes = static_cast<const uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + size);
    };
    if (stbi_write_png_to_func(append, &png, width, height, 4, rgba.data(), width * 4) == 0)
        return {};
    return png;
}

bool write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    // The bytes go to a new file beside the target, which is renamed over it
    // only when complete: whatever stops the process, a file with the final
    // name is a whole image. The temporary name never ends in ".png".
    static std::atomic<unsigned> serial{0};
    std::string temporary;
    int fd = -1;
    while (fd < 0) {
        temporary = path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    bool written = true;
    for (size_t done = 0; written && done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            written = false;
        }
    }
    // A full disk may only show when the data is flushed.
    written = fsync(fd) == 0 && written;
    written = close(fd) == 0 && written;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    unlink(temporary.c_str());
    return false;
}

bool write_png_file(const std::string& path, int width, int height,
                    const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> png = encode_png(width, height, rgba);
    return !png.empty() && write_file_bytes(path, png);
}

}  // namespace spirelle
