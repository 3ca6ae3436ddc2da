// Line splitting shared by the formula readers.
#pragma once

#include <string>
#include <vector>

namespace spirelle {

// Splits at line feeds. A last line without a line feed is still a line, and
// a text that ends with a line feed has no empty line after it.
inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

inline bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

inline bool ends_with(const std::string& text, char c) { return !text.empty() && text.back() == c; }

}  // namespace spirelle
