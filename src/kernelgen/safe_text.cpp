#include "kernelgen/safe_text.h"

#include <cctype>

namespace spirelle {
namespace {

bool is_identifier_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool is_plain_identifier(const std::string& text) {
    if (text.empty() || is_digit(text[0])) return false;
    for (char c : text) {
        if (!is_identifier_char(c)) return false;
    }
    return true;
}

// number = sign? (digits ("." digits?)? | "." digits) (("e" | "E") sign? digits)?
bool is_decimal_number(const std::string& text) {
    size_t i = 0;
    auto digits = [&] {
        size_t start = i;
        while (i < text.size() && is_digit(text[i])) ++i;
        return i > start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool whole = digits();
    bool fraction = false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        fraction = digits();
    }
    if (!whole && !fraction) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (!digits()) return false;
    }
    return i == text.size();
}

std::string comment_text(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c < 0x20 || c >= 0x7f || c == '\\') continue;
        // "??/" is a backslash where the compiler reads trigraphs.
        if (c == '?' && !out.empty() && out.back() == '?') continue;
        out += c;
    }
    return out;
}

}  // namespace spirelle
