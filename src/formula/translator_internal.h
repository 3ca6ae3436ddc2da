// Helpers shared by the translator's stages (not part of its interface).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "formula/translator.h"

namespace spirelle {

// Letters, digits and "_": the characters that continue a keyword or word.
inline bool is_word_char(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_';
}

// True when `text` begins with `word` and the word ends there (end of text or
// a character that cannot continue it), so "if(" and "if x" match "if" but
// "iffy" does not.
inline bool starts_with_word(std::string_view text, std::string_view word) {
    return text.substr(0, word.size()) == word &&
           (text.size() == word.size() || !is_word_char(text[word.size()]));
}

// An "=" that assigns: not part of "==", "<=", ">=" or "!=".
inline bool is_plain_assignment_sign(std::string_view text, std::size_t pos) {
    if (text[pos] != '=') return false;
    if (pos > 0 && std::string_view("<>!=").find(text[pos - 1]) != std::string_view::npos) {
        return false;
    }
    return pos + 1 == text.size() || text[pos + 1] != '=';
}

// Position of the first assigning "=", or npos. With `outside_quotes`, signs
// between double quotes do not count.
inline std::size_t find_plain_assignment(std::string_view text, bool outside_quotes = false) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"' && outside_quotes) quoted = !quoted;
        if (!quoted && is_plain_assignment_sign(text, i)) return i;
    }
    return std::string_view::npos;
}

// A function of the math table (sin, conj, isinf, ...), by lower-case name.
bool is_math_function(std::string_view name);

inline bool is_complex(const TypedText& value) { return value.type == ValueType::complex; }

// A real value as a complex one with zero imaginary part.
inline std::string promote(const std::string& text) { return "(real2_t)(" + text + ", 0.0)"; }

}  // namespace spirelle
