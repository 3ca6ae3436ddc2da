// Expression translation: a recursive descent over the token list in which
// every level emits its kernel text as soon as its operands are parsed.
//
// Each function is named after the grammar level it reads, with the rule
// above it. The type of an operand decides how the level combines it: the
// formula language mixes real and complex values freely, the kernel needs
// explicit promotion ("(real2_t)(x, 0.0)") and the complex helpers cmul,
// cdiv and cpow. Malformed input is never rejected: a missing operand is an
// empty text of unknown type, and surplus tokens are left unread.
#include <string>
#include <utility>

#include "formula/translator.h"
#include "formula/translator_internal.h"
#include "scene/text.h"

namespace spirelle {

namespace {

// Deeper nesting than this (parentheses, signs, powers, call arguments) is
// not read any further, so that hostile input cannot exhaust the stack.
constexpr int kMaxNesting = 200;

std::string real_part(const std::string& text) { return "(" + text + ").x"; }

// Makes a complex value of any operand that is not one.
TypedText as_complex(const TypedText& value) {
    return is_complex(value) ? value : TypedText{promote(value.text), ValueType::complex};
}

// Takes the real part of a complex operand; others pass unchanged.
std::string as_real(const TypedText& value) {
    return is_complex(value) ? real_part(value.text) : value.text;
}

TypedText real(std::string text) { return {std::move(text), ValueType::real}; }
TypedText complex(std::string text) { return {std::move(text), ValueType::complex}; }

// A packed ARGB color becomes a color value. fl_unpack_color takes a real_t,
// and in single precision a float keeps only 24 significant bits: an opaque
// color (0xFF000000 and above) loses its red byte to rounding. A literal that
// a float cannot hold exactly is therefore unpacked here, with the same
// arithmetic as fl_unpack_color.
std::string unpack_color(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    bool whole = digits > 0 && digits <= 10;
    if (whole && digits < text.size()) {
        whole = text[digits] == '.' && text.find_first_not_of('0', digits + 1) == std::string::npos;
    }
    if (whole) {
        const unsigned long long packed = std::stoull(text.substr(0, digits));
        const bool exact_in_float =
            static_cast<double>(static_cast<float>(packed)) == static_cast<double>(packed);
        if (packed <= 0xFFFFFFFFull && !exact_in_float) {
            return "(real4_t)(" + std::to_string(packed & 0xFF) + ", " +
                   std::to_string((packed >> 8) & 0xFF) + ", " +
                   std::to_string((packed >> 16) & 0xFF) + ", " +
                   std::to_string((packed >> 24) & 0xFF) + ") * ((real_t)1 / (real_t)255)";
        }
    }
    return "fl_unpack_color(" + text + ")";
}

// Color arithmetic without a complex operand stays a color (real4_t).
ValueType color_or_real(const TypedText& left, const TypedText& right) {
    bool color = left.type == ValueType::color || right.type == ValueType::color;
    return color ? ValueType::color : ValueType::real;
}

// Plain literal integers that do not fit an int are written as reals.
std::string number_text(const std::string& number) {
    if (number.size() > 10 && number.find_first_of(".eE") == std::string::npos) {
        return number + ".0";
    }
    return number;
}

// The type an assigned variable ends up with: the widest of what it had and
// what it receives, color over complex over real.
ValueType widen(const ValueType* previous, ValueType assigned) {
    auto rank = [](ValueType type) {
        switch (type) {
            case ValueType::color:
                return 3;
            case ValueType::complex:
                return 2;
            case ValueType::real:
                return 1;
            default:
                return 0;
        }
    };
    ValueType widest = assigned;
    if (previous && rank(*previous) > rank(widest)) widest = *previous;
    return rank(widest) == 0 ? ValueType::real : widest;
}

}  // namespace

void FormulaTranslator::set_tokens(std::vector<Token> tokens) {
    if (tokens.empty() || tokens.back().kind != TokenKind::end) tokens.push_back(Token{});
    tokens_ = std::move(tokens);
    position_ = 0;
}

const Token& FormulaTranslator::current() const { return tokens_[position_]; }

void FormulaTranslator::advance() {
    if (current().kind != TokenKind::end) ++position_;
}

bool FormulaTranslator::at_operator(std::string_view text) const {
    return current().kind == TokenKind::op && current().text == text;
}

TypedText FormulaTranslator::translate_expression() { return or_expr(); }

std::string FormulaTranslator::translate_condition(const std::string& text) {
    std::string condition = trim(text);
    if (condition.empty()) return "0";
    set_tokens(tokenize(condition));
    return or_expr().text;
}

std::string FormulaTranslator::translate_array_size(const std::string& text) {
    std::vector<Token> saved_tokens = std::move(tokens_);
    std::size_t saved_position = position_;
    set_tokens(tokenize(text));
    std::string size = additive().text;
    tokens_ = std::move(saved_tokens);
    position_ = saved_position;
    return size;
}

// assignment = or-expr [ "=" or-expr ]
TypedText FormulaTranslator::translate_assignment() {
    last_was_assignment = false;
    TypedText target = or_expr();
    if (!at_operator("=")) return target;
    last_was_assignment = true;
    advance();
    // A parameter written without "@" keeps its meaning on the right side: in
    // 'power = power + 1' only the target is the new variable.
    std::set<std::string> targets = std::exchange(assign_targets, {});
    TypedText value = or_expr();
    assign_targets = std::move(targets);

    bool typed = typed_decls.count(target.text) > 0;
    bool promoted = !typed && is_complex(target) && value.type == ValueType::real;
    bool unpacked = target.type == ValueType::color && value.type == ValueType::real;
    bool real_part_taken = typed && target.type == ValueType::real && is_complex(value);
    TypedText original = wide ? value : TypedText{};
    if (promoted) value.text = promote(value.text);
    if (unpacked) value.text = unpack_color(value.text);  // packed ARGB integer to color
    if (real_part_taken) value.text = real_part(value.text);
    if (wide) wide_assignment(target, original, value.text, promoted, unpacked, real_part_taken);

    ValueType type = target.type;
    if (!typed) {
        auto entry = var_types.find(target.text);
        type = widen(entry == var_types.end() ? nullptr : &entry->second, value.type);
        var_types[target.text] = type;
    }
    return {target.text + " = " + value.text, type};
}

// or-expr = and-expr { "||" and-expr }
TypedText FormulaTranslator::or_expr() {
    TypedText left = and_expr();
    while (at_operator("||")) {
        advance();
        TypedText right = and_expr();
        TypedText result = real(left.text + " || " + right.text);
        left = wide ? wide_logic(std::move(result), left, "||", right) : std::move(result);
    }
    return left;
}

// and-expr = comparison { "&&" comparison }
TypedText FormulaTranslator::and_expr() {
    TypedText left = comparison();
    while (at_operator("&&")) {
        advance();
        TypedText right = comparison();
        TypedText result = real(left.text + " && " + right.text);
        left = wide ? wide_logic(std::move(result), left, "&&", right) : std::move(result);
    }
    return left;
}

// comparison = additive [ ("==" | "!=" | "<=" | ">=" | "<" | ">") additive ]
//
// Complex operands compare all components for "==", any component for
// "!=", and their real parts for the orderings.
TypedText FormulaTranslator::comparison() {
    TypedText left = additive();
    std::string op;
    for (std::string_view candidate : {"==", "!=", "<=", ">=", "<", ">"}) {
        if (at_operator(candidate)) op = candidate;
    }
    if (op.empty()) return left;
    advance();
    TypedText right = additive();
    TypedText result;
    if (!is_complex(left) && !is_complex(right)) {
        result = real(left.text + " " + op + " " + right.text);
    } else if (op == "==" || op == "!=") {
        std::string vector_test = op == "==" ? "all(" : "any(";
        result = real(vector_test + as_complex(left).text + " " + op + " " +
                      as_complex(right).text + ")");
    } else {
        result = real(as_real(left) + " " + op + " " + as_real(right));
    }
    return wide ? wide_comparison(std::move(result), left, op, right) : result;
}

// additive = multiplicative { ("+" | "-") multiplicative }
//
//   real    op complex -> promote(L) op R       complex
//   complex op real    -> L op promote(R)       complex
//   complex op complex -> L op R                complex
//   color   op complex -> L op R                complex
//   color   op other   -> L op R                color
//   anything else      -> L op R                real
TypedText FormulaTranslator::additive() {
    TypedText left = multiplicative();
    while (at_operator("+") || at_operator("-")) {
        std::string op = current().text;
        advance();
        TypedText right = multiplicative();
        TypedText result;
        if (left.type == ValueType::real && is_complex(right)) {
            result = complex("(real2_t)(" + left.text + ", 0.0) " + op + " " + right.text);
        } else if (is_complex(left) && right.type == ValueType::real) {
            result = complex(left.text + " " + op + " (real2_t)(" + right.text + ", 0.0)");
        } else if (is_complex(right) && (is_complex(left) || left.type == ValueType::color)) {
            result = complex(left.text + " " + op + " " + right.text);
        } else {
            result = {left.text + " " + op + " " + right.text, color_or_real(left, right)};
        }
        left = wide ? wide_additive(std::move(result), left, op, right) : std::move(result);
    }
    return left;
}

// multiplicative = power { ("*" | "/" | "%") power }
//
//   complex * complex -> cmul(L, R)                      complex
//   complex * other   -> L * R,  other * complex -> R * L complex
//   complex / complex -> cdiv(L, R)                      complex
//   complex / other   -> L / R                           complex
//   other / complex   -> cdiv((real2_t)(L, 0.0), R)      complex
//   color op other    -> L op R                          color
//   other op other    -> L op R                          real
//   L % R             -> fmod of the real parts          real
TypedText FormulaTranslator::multiplicative() {
    TypedText left = power();
    while (at_operator("*") || at_operator("/") || at_operator("%")) {
        std::string op = current().text;
        advance();
        TypedText right = power();
        TypedText result;
        if (op == "%") {
            result =
                real("fmod((real_t)(" + as_real(left) + "), (real_t)(" + as_real(right) + "))");
        } else if (!is_complex(left) && !is_complex(right)) {
            result = {left.text + " " + op + " " + right.text, color_or_real(left, right)};
        } else if (op == "*") {
            if (is_complex(left) && is_complex(right)) {
                result = complex("cmul(" + left.text + ", " + right.text + ")");
            } else if (is_complex(left)) {
                result = complex(left.text + " * " + right.text);
            } else {
                result = complex(right.text + " * " + left.text);
            }
        } else if (is_complex(left) && is_complex(right)) {
            result = complex("cdiv(" + left.text + ", " + right.text + ")");
        } else if (is_complex(left)) {
            result = complex(left.text + " / " + right.text);
        } else {
            result = complex("cdiv((real2_t)(" + left.text + ", 0.0), " + right.text + ")");
        }
        left = wide ? wide_multiplicative(std::move(result), left, op, right) : std::move(result);
    }
    return left;
}

// power = unary [ "^" power ]
//
// A complex base or exponent takes the complex power; a real power of a real
// base stays real. Each exponent counts as one level of nesting: beyond the
// limit the "^" is left unread and the expression ends there.
TypedText FormulaTranslator::power() {
    TypedText base = unary();
    if (current().kind != TokenKind::caret || nesting_ >= kMaxNesting) return base;
    advance();
    ++nesting_;
    TypedText exponent = power();
    --nesting_;
    TypedText result;
    if (is_complex(base) || is_complex(exponent)) {
        result = complex("cpow(" + as_complex(base).text + ", " + as_complex(exponent).text + ")");
    } else {
        result = real("pow((real_t)(" + base.text + "), (real_t)(" + exponent.text + "))");
    }
    return wide ? wide_power(std::move(result), base, exponent) : result;
}

// unary = "-" unary | "!" unary | primary
TypedText FormulaTranslator::unary() {
    if (nesting_ >= kMaxNesting) {
        advance();
        return {};
    }
    ++nesting_;
    TypedText result;
    if (at_operator("-")) {
        advance();
        TypedText operand = unary();
        result = {"(- " + operand.text + ")", operand.type};
        if (wide) result = wide_unary(std::move(result), "-", operand);
    } else if (at_operator("!")) {
        advance();
        TypedText operand = unary();
        result = real("(!(" + operand.text + "))");
        if (wide) result = wide_unary(std::move(result), "!", operand);
    } else {
        result = primary();
    }
    --nesting_;
    return result;
}

// primary = "|" additive "|" | "(" or-expr [ "," or-expr ] ")" | number
//         | identifier "(" [ or-expr { "," or-expr } ] ")"
//         | identifier "[" or-expr "]" | identifier
TypedText FormulaTranslator::primary() {
    const Token& token = current();
    switch (token.kind) {
        case TokenKind::bar:
            return modulus();
        case TokenKind::lparen:
            return parenthesized();
        case TokenKind::number: {
            Token number = token;
            advance();
            TypedText result = number.imaginary ? complex("(real2_t)(0.0, " + number.text + ")")
                                                : real(number_text(number.text));
            return wide ? wide_number(std::move(result), number) : result;
        }
        case TokenKind::identifier: {
            std::string name = token.text;
            advance();
            if (current().kind == TokenKind::lparen) return call(name);
            return resolve_name(name);
        }
        default:
            advance();
            return {};
    }
}

// modulus = "|" additive "|"   (squared magnitude of a complex value)
TypedText FormulaTranslator::modulus() {
    advance();
    TypedText value = additive();
    if (current().kind == TokenKind::bar) advance();
    TypedText result;
    if (!is_complex(value)) {
        result = real("fabs(" + value.text + ")");
    } else if (!too_long_to_repeat(value)) {
        result = real("dot(" + value.text + ", " + value.text + ")");
    }
    return wide ? wide_modulus(std::move(result), value) : result;
}

// parenthesized = "(" or-expr [ "," or-expr ] ")"   (with a comma: a complex literal)
TypedText FormulaTranslator::parenthesized() {
    advance();
    TypedText first = or_expr();
    TypedText result{"(" + first.text + ")", first.type};
    std::optional<TypedText> second;
    if (current().kind == TokenKind::comma) {
        advance();
        second = or_expr();
        result = complex("(real2_t)(" + first.text + ", " + second->text + ")");
    }
    if (current().kind == TokenKind::rparen) advance();
    return wide ? wide_parenthesized(std::move(result), first, second ? &*second : nullptr)
                : result;
}

// call = identifier "(" [ or-expr { "," or-expr } ] ")"
TypedText FormulaTranslator::call(const std::string& name) {
    advance();
    std::vector<TypedText> args;
    if (current().kind != TokenKind::rparen) {
        args.push_back(or_expr());
        while (current().kind == TokenKind::comma) {
            advance();
            args.push_back(or_expr());
        }
    }
    if (current().kind == TokenKind::rparen) advance();
    return translate_call(name, args);
}

// Forms that write their operand twice ("dot(x, x)", "((x) * (x))") double
// the text at every nesting level; beyond this size they yield an empty text
// instead, which bounds the output of deliberately nested input.
bool FormulaTranslator::too_long_to_repeat(const TypedText& operand) {
    constexpr std::size_t kMaxRepeatedText = 1 << 16;
    return operand.text.size() > kMaxRepeatedText;
}

}  // namespace spirelle
