// Every reader trims the same four characters, so that a file written with
// carriage returns reads like one written without them.
#include "scene/text.h"

namespace spirelle {

std::string to_lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string trim(const std::string& text) {
    const char* ws = " \t\r\n";
    size_t begin = text.find_first_not_of(ws);
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(ws);
    return text.substr(begin, end - begin + 1);
}

}  // namespace spirelle
