// The translator's front end: statements and tokens.
//
// normalize_statements brings a section into one statement per line, so that
// the statement translator never has to look past a line: comments are cut,
// chained assignments ("a = b = 0") become one assignment per target, and
// declaration lists ("float a = 1, b") one declaration per name.
//
// tokenize cuts one expression into tokens. It never fails: characters the
// language has no use for are dropped, and every identifier is lower-cased
// because formula names are case-insensitive.
#include <algorithm>
#include <array>
#include <string_view>

#include "formula/lines.h"
#include "formula/translator.h"
#include "formula/translator_internal.h"
#include "scene/text.h"

namespace spirelle {

namespace {

constexpr std::array<std::string_view, 6> kDeclarationKeywords = {"float ",   "double ", "int ",
                                                                  "complex ", "bool ",   "color "};

// Tracks the nesting of parentheses and brackets while a line is scanned.
// Stray closers never take the depth below zero.
struct BracketDepth {
    int depth = 0;

    void step(char ch) {
        if (ch == '(' || ch == '[') ++depth;
        if ((ch == ')' || ch == ']') && depth > 0) --depth;
    }
    bool top_level() const { return depth == 0; }
};

std::vector<std::size_t> top_level_commas(const std::string& line) {
    std::vector<std::size_t> commas;
    BracketDepth brackets;
    for (std::size_t i = 0; i < line.size(); ++i) {
        brackets.step(line[i]);
        if (line[i] == ',' && brackets.top_level()) commas.push_back(i);
    }
    return commas;
}

std::vector<std::size_t> top_level_assignment_signs(const std::string& line) {
    std::vector<std::size_t> signs;
    BracketDepth brackets;
    for (std::size_t i = 0; i < line.size(); ++i) {
        brackets.step(line[i]);
        if (brackets.top_level() && is_plain_assignment_sign(line, i)) signs.push_back(i);
    }
    return signs;
}

// 'a = b = 0' -> "a = 0", "b = 0"
void emit_chained_assignment(const std::string& line, const std::vector<std::size_t>& signs,
                             std::string& out) {
    std::string value = trim(line.substr(signs.back() + 1));
    std::size_t start = 0;
    for (std::size_t sign : signs) {
        std::string target = trim(line.substr(start, sign - start));
        if (!target.empty()) out += target + " = " + value + "\n";
        start = sign + 1;
    }
}

// 'float a = 1, b' -> "float a = 1", "float b"; false when the line is no
// declaration list.
bool emit_declaration_list(const std::string& line, const std::vector<std::size_t>& commas,
                           std::string& out) {
    std::string lower = to_lower(line);
    for (std::string_view keyword : kDeclarationKeywords) {
        if (lower.rfind(keyword, 0) != 0) continue;
        std::string prefix = line.substr(0, keyword.size());
        std::size_t start = 0;
        for (std::size_t i = 0; i <= commas.size(); ++i) {
            std::size_t end = i < commas.size() ? commas[i] : line.size();
            std::string piece = trim(line.substr(start, end - start));
            if (!piece.empty()) out += (i == 0 ? "" : prefix) + piece + "\n";
            start = end + 1;
        }
        return true;
    }
    return false;
}

void normalize_line(std::string line, std::string& out) {
    line = trim(line);
    std::size_t comment = line.find(';');
    if (comment != std::string::npos) line = trim(line.substr(0, comment));

    std::vector<std::size_t> commas = top_level_commas(line);
    if (commas.empty()) {
        std::vector<std::size_t> signs = top_level_assignment_signs(line);
        if (signs.size() >= 2) return emit_chained_assignment(line, signs, out);
    } else if (emit_declaration_list(line, commas, out)) {
        return;
    }
    out += line + "\n";
}

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }
bool is_letter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
bool is_identifier_char(char ch) {
    return is_letter(ch) || is_digit(ch) || ch == '_' || ch == '#' || ch == '@';
}

// number = digits with ".", "e", "E" and a sign right after an exponent
// letter, optionally followed by an imaginary "i"
std::size_t read_number(std::string_view text, std::size_t pos, std::vector<Token>& tokens) {
    std::size_t start = pos;
    while (pos < text.size()) {
        char ch = text[pos];
        bool sign_of_exponent =
            (ch == '+' || ch == '-') && (text[pos - 1] == 'e' || text[pos - 1] == 'E');
        if (!is_digit(ch) && ch != '.' && ch != 'e' && ch != 'E' && !sign_of_exponent) break;
        ++pos;
    }
    Token token{TokenKind::number, std::string(text.substr(start, pos - start))};
    if (pos < text.size() && text[pos] == 'i' &&
        (pos + 1 == text.size() || !is_word_char(text[pos + 1]))) {
        token.imaginary = true;
        ++pos;
    }
    tokens.push_back(std::move(token));
    return pos;
}

std::size_t read_identifier(std::string_view text, std::size_t pos, std::vector<Token>& tokens) {
    std::size_t start = pos;
    while (pos < text.size() && is_identifier_char(text[pos])) ++pos;
    std::string name = to_lower(std::string(text.substr(start, pos - start)));
    if (name == "continue") name = "_fl_continue";
    tokens.push_back({TokenKind::identifier, std::move(name)});
    return pos;
}

TokenKind single_char_kind(char ch) {
    switch (ch) {
        case '(':
            return TokenKind::lparen;
        case ')':
            return TokenKind::rparen;
        case '[':
            return TokenKind::lbracket;
        case ']':
            return TokenKind::rbracket;
        case '|':
            return TokenKind::bar;
        case ',':
            return TokenKind::comma;
        case '^':
            return TokenKind::caret;
        default:
            return TokenKind::end;  // not a token of its own
    }
}

}  // namespace

std::string normalize_statements(const std::string& section) {
    std::string out;
    for (const std::string& line : split_lines(section)) normalize_line(line, out);
    return out;
}

std::vector<Token> tokenize(std::string_view text) {
    constexpr std::array<std::string_view, 6> kTwoCharOperators = {
        "||", "&&", "==", "!=", "<=", ">="};
    constexpr std::string_view kOneCharOperators = "!%*+-/<=>";
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char ch = text[pos];
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') {
            ++pos;
        } else if (is_digit(ch) ||
                   (ch == '.' && pos + 1 < text.size() && is_digit(text[pos + 1]))) {
            pos = read_number(text, pos, tokens);
        } else if (is_letter(ch) || ch == '#' || ch == '@' || ch == '_') {
            pos = read_identifier(text, pos, tokens);
        } else if (std::string_view pair = text.substr(pos, 2);
                   pair.size() == 2 && std::find(kTwoCharOperators.begin(), kTwoCharOperators.end(),
                                                 pair) != kTwoCharOperators.end()) {
            tokens.push_back({TokenKind::op, std::string(pair)});
            pos += 2;
        } else if (kOneCharOperators.find(ch) != std::string_view::npos) {
            tokens.push_back({TokenKind::op, std::string(1, ch)});
            ++pos;
        } else {
            TokenKind kind = single_char_kind(ch);
            if (kind != TokenKind::end) tokens.push_back({kind, std::string(1, ch)});
            ++pos;
        }
    }
    tokens.push_back({TokenKind::end, ""});
    return tokens;
}

}  // namespace spirelle
