// The wide form of the translation: every value of a layer function holds one
// lane per pixel of a run of adjacent pixels, and control flow becomes masks.
//
// Types of the wide program (written by the kernel generator):
//   realv_t   a real per lane (float16, double8, ...)
//   intv_t    an integer per lane, also a mask: -1 where true, 0 where false
//   real2v_t  a complex per lane: a structure of two realv_t (x, y)
//   real4v_t  a colour per lane: a structure of four realv_t (x, y, z, w)
// Constants keep the canonical scalar text (real_t, real2_t, real4_t).
//
// The wide form must compute in every lane exactly what the canonical form
// computes for that pixel, down to the last bit in double precision. The
// OpenCL compiler fuses a multiplication with an addition into one rounding
// (contraction) only where both stand in one expression, so the wide text
// keeps the canonical expression shape component by component: a complex sum
// "z * 2 + c" becomes "z.x * 2 + c.x" and "z.y * 2 + c.y". Where the
// canonical form puts a value into a vector first (a promotion such as
// (real2_t)(a * b, 0.0), a real part, a scalar spread over a colour), that
// value is not fused with what surrounds it, so the wide form binds it to a
// temporary first. Results of calls become temporaries too, so that their
// components can be read without repeating the call.
//
// Statements assign only in the lanes of the current mask (_m0 at the top of
// a section, _m1, _m2, ... in nested blocks). An if chain keeps the lanes no
// branch has taken yet in _e<depth>; a loop runs while any lane still runs it,
// with the canonical loop guard; a user function takes its caller's mask and
// gathers its result in _result, retiring lanes as they return.
//
// The formula's loop section runs ahead of its mask: outside loops its
// statements assign in every lane, so that no mask stands in the chain of
// values from one iteration to the next (a masked update there would make
// every iteration wait for the bailout test of the one before). The layer
// function keeps each lane's values of the variables that outlive the
// section (wide_kept) as the lane's iterations end.
//
// Real builtins are called by their name with "_v" appended; the wide
// prelude makes each the vector builtin where that gives every lane the
// scalar bits, and the scalar builtin lane by lane elsewhere.
#include <algorithm>
#include <array>
#include <utility>

#include "formula/lines.h"
#include "formula/translator.h"
#include "formula/translator_internal.h"
#include "scene/text.h"

namespace spirelle {

namespace {

enum class Block { if_block, if_after_else, while_block, repeat_block };

bool is_identifier(std::string_view text) {
    if (text.empty() || (text.front() >= '0' && text.front() <= '9')) return false;
    return std::all_of(text.begin(), text.end(), is_word_char);
}

// Names the wide program uses for itself; a formula variable of such a name
// would hide them.
bool is_wide_reserved(const std::string& name) {
    auto ends_with_text = [&](std::string_view tail) {
        return name.size() >= tail.size() &&
               name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (name == "_result" || name == "_done" || name == "_live" || name == "_running" ||
        name == "_inside" || name.rfind("_kept_", 0) == 0 || ends_with_text("_v") ||
        ends_with_text("v_t")) {
        return true;
    }
    // _m3, _e3, _w3, _wi3, ...: masks and temporaries.
    if (name.size() < 3 || name[0] != '_') return false;
    std::size_t digits = name.find_first_of("0123456789");
    if (digits == std::string::npos || digits < 2) return false;
    std::string stem = name.substr(1, digits - 1);
    bool numbered = name.find_first_not_of("0123456789", digits) == std::string::npos;
    return numbered && (stem == "m" || stem == "e" || stem[0] == 'w');
}

// A text that needs no parentheses and is no multiplication: a name, a
// member of one, a number, or a call or group that spans the whole text.
bool is_atom(const std::string& text) {
    if (text.empty()) return false;
    std::size_t i = 0;
    if (text[0] == '(' || is_word_char(text[0])) {
        while (i < text.size() && (is_word_char(text[i]) || text[i] == '.')) ++i;
        if (i < text.size() && text[i] == '(') {
            int depth = 0;
            for (; i < text.size(); ++i) {
                if (text[i] == '(') ++depth;
                if (text[i] == ')' && --depth == 0) break;
            }
            if (i == text.size()) return false;
            ++i;
            while (i < text.size() && (is_word_char(text[i]) || text[i] == '.')) ++i;
        }
    }
    return i == text.size();
}

bool is_uniform(const TypedText& v) {
    return v.lanes == Lanes::uniform || v.lanes == Lanes::uniform_int;
}

bool is_integral(const TypedText& v) {
    return v.lanes == Lanes::uniform_int || v.lanes == Lanes::integers || v.lanes == Lanes::mask;
}

// A decimal integer literal, as C reads it: an int.
bool is_integer_literal(const std::string& text) {
    std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.size() <= 10 &&
           text.find_first_not_of("0123456789", start) == std::string::npos;
}

TypedText varying(TypedText result, std::vector<std::string> parts) {
    result.lanes = Lanes::varying;
    result.parts = std::move(parts);
    return result;
}

TypedText lane_values(TypedText result, Lanes lanes, std::string text) {
    result.lanes = lanes;
    result.parts = {std::move(text)};
    return result;
}

TypedText uniform(TypedText result, bool integer) {
    result.lanes = integer ? Lanes::uniform_int : Lanes::uniform;
    result.parts.clear();
    return result;
}

// The lanes of a real-typed value where a realv_t operand is expected; a
// constant may stay scalar, since OpenCL spreads it over the other operand.
std::string real_lanes(const TypedText& v) {
    switch (v.lanes) {
        case Lanes::uniform:
        case Lanes::uniform_int:
            return v.text;
        case Lanes::integers:
            return "to_real_v(" + v.parts[0] + ")";
        case Lanes::mask:
            return "to_real_v(-(" + v.parts[0] + "))";
        case Lanes::varying:
            return v.parts[0];
    }
    return v.text;
}

// The same as a realv_t value in its own right (for select and builtins).
std::string real_vector(const TypedText& v) {
    return is_uniform(v) ? "(realv_t)(" + v.text + ")" : real_lanes(v);
}

// C converts a real to an integer by truncation, as convert_ does by default.
std::string int_lanes(const TypedText& v) {
    switch (v.lanes) {
        case Lanes::uniform_int:
            return v.text;
        case Lanes::uniform:
            return "(intv_t)(" + v.text + ")";
        case Lanes::integers:
            return v.parts[0];
        case Lanes::mask:
            return "(-(" + v.parts[0] + "))";
        case Lanes::varying:
            return "to_int_v(" + v.parts[0] + ")";
    }
    return v.text;
}

std::string int_vector(const TypedText& v) {
    return v.lanes == Lanes::uniform_int ? "(intv_t)(" + v.text + ")" : int_lanes(v);
}

// The components of a complex or colour value; a constant's are scalars.
std::vector<std::string> components(const TypedText& v, std::size_t count) {
    if (!is_uniform(v)) return v.parts;
    static const char* const kMembers[] = {".x", ".y", ".z", ".w"};
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < count; ++i) parts.push_back("(" + v.text + ")" + kMembers[i]);
    return parts;
}

// "w" when the parts are w.x, w.y (and w.z, w.w), else "".
std::string whole_name(const std::vector<std::string>& parts) {
    static const char* const kMembers[] = {".x", ".y", ".z", ".w"};
    if (parts.empty() || parts[0].size() < 3) return "";
    std::string name = parts[0].substr(0, parts[0].size() - 2);
    if (!is_identifier(name)) return "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] != name + kMembers[i]) return "";
    }
    return name;
}

// A complex value as one real2v_t expression; a real counts as complex
// with a zero imaginary part.
std::string complex_struct(const TypedText& v) {
    if (v.type == ValueType::real) return "cplx_v(" + real_lanes(v) + ", 0.0)";
    if (is_uniform(v)) return "widen2_v(" + v.text + ")";
    std::string name = whole_name(v.parts);
    return name.empty() ? "cplx_v(" + v.parts[0] + ", " + v.parts[1] + ")" : name;
}

std::string color_struct(const TypedText& v) {
    if (is_uniform(v)) return "widen4_v(" + v.text + ")";
    std::string name = whole_name(v.parts);
    if (!name.empty()) return name;
    return "color_v(" + v.parts[0] + ", " + v.parts[1] + ", " + v.parts[2] + ", " + v.parts[3] +
           ")";
}

std::string join(const std::vector<std::string>& parts) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? ", " : "") + parts[i];
    return joined;
}

// The lane-wise form of a real builtin: the builtin's name with "_v". The
// wide prelude decides whether it calls the vector builtin or the scalar one
// lane by lane, whichever gives every lane the scalar bits.
std::string wide_real_function(std::string_view name) {
    static const std::array<std::string_view, 20> kBuiltins = {
        "sin",   "cos",   "tan",  "sinh", "cosh", "tanh", "asin",  "acos", "atan",  "asinh",
        "acosh", "atanh", "sqrt", "log",  "exp",  "fabs", "floor", "ceil", "trunc", "round"};
    for (std::string_view builtin : kBuiltins) {
        if (builtin == name) return std::string(name) + "_v";
    }
    return "";
}

// The wide form of a predefined symbol, by its canonical text.
TypedText wide_symbol(TypedText result) {
    const std::string& text = result.text;
    if (text == "_pixel" || text == "z" || text == "_c_writable" || text == "z_old") {
        return varying(std::move(result), {text + ".x", text + ".y"});
    }
    if (text == "_color_override") {
        return varying(std::move(result), {text + ".x", text + ".y", text + ".z", text + ".w"});
    }
    if (text == "color_index") return varying(std::move(result), {text});
    if (text == "iter" || text == "_solid")
        return lane_values(std::move(result), Lanes::integers, text);
    if (text == "maxiter" || text == "width" || text == "height") {
        return lane_values(std::move(result), Lanes::integers, "(intv_t)(" + text + ")");
    }
    if (text == "_layer_angle" || text == "_layer_magn" || text == "(real_t)gy" ||
        text == "(real_t)width" || text == "(real_t)height") {
        return varying(std::move(result), {"(realv_t)(" + text + ")"});
    }
    if (text == "(real_t)gx") return varying(std::move(result), {"to_real_v(gx)"});
    if (text == "(real2_t)((real_t)gx, (real_t)gy)") {
        return varying(std::move(result), {"to_real_v(gx)", "(realv_t)((real_t)gy)"});
    }
    if (text == "(real2_t)(center_re, center_im)") {
        return varying(std::move(result), {"(realv_t)(center_re)", "(realv_t)(center_im)"});
    }
    return uniform(std::move(result), false);  // pi, e, #i, #random, #randomrange
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Temporaries, masks and blockers

void FormulaTranslator::block_wide(const std::string& construct) {
    if (wide_blocker.empty()) wide_blocker = construct;
}

std::string FormulaTranslator::wide_temp(const std::string& type, const std::string& value) {
    std::string name = wide_temp_prefix + std::to_string(++wide_temp_counter);
    wide_setup_ += "    " + type + " " + name + " = " + value + ";\n";
    return name;
}

std::string FormulaTranslator::take_wide_setup() { return std::exchange(wide_setup_, {}); }

std::string FormulaTranslator::current_mask() const { return "_m" + std::to_string(wide_depth_); }

namespace {

// Every operand must have a type the canonical form knows.
bool typed(std::initializer_list<const TypedText*> operands) {
    return std::all_of(operands.begin(), operands.end(),
                       [](const TypedText* v) { return v->type != ValueType::unknown; });
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Expressions, level by level

// or-expr, and-expr: truth values per lane combine bit by bit.
TypedText FormulaTranslator::wide_logic(TypedText result, const TypedText& left,
                                        const std::string& op, const TypedText& right) {
    if (!typed({&left, &right})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (is_uniform(left) && is_uniform(right)) return uniform(std::move(result), true);
    if (left.type != ValueType::real || right.type != ValueType::real) {
        block_wide("a complex or colour truth value");
        return result;
    }
    auto mask_of = [](const TypedText& v) {
        if (is_uniform(v)) return "((" + v.text + ") ? (intv_t)(-1) : (intv_t)(0))";
        if (v.lanes == Lanes::mask) return v.parts[0];
        return "(" + v.parts[0] + " != 0)";
    };
    std::string bitwise = op == "||" ? " | " : " & ";
    return lane_values(std::move(result), Lanes::mask,
                       "(" + mask_of(left) + bitwise + mask_of(right) + ")");
}

TypedText FormulaTranslator::wide_comparison(TypedText result, const TypedText& left,
                                             const std::string& op, const TypedText& right) {
    if (!typed({&left, &right})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (is_uniform(left) && is_uniform(right)) return uniform(std::move(result), true);
    if (left.type == ValueType::color || right.type == ValueType::color) {
        block_wide("a colour comparison");
        return result;
    }
    auto real_of = [](const TypedText& v) {
        return v.type == ValueType::complex ? components(v, 2)[0] : real_lanes(v);
    };
    if (!is_complex(left) && !is_complex(right)) {
        bool integers = is_integral(left) && is_integral(right);
        std::string a = integers ? int_lanes(left) : real_lanes(left);
        std::string b = integers ? int_lanes(right) : real_lanes(right);
        return lane_values(std::move(result), Lanes::mask, "(" + a + " " + op + " " + b + ")");
    }
    if (op == "==" || op == "!=") {
        auto parts = [](const TypedText& v) {
            if (is_complex(v)) return components(v, 2);
            return std::vector<std::string>{real_lanes(v), "0.0"};
        };
        std::vector<std::string> a = parts(left), b = parts(right);
        std::string join_op = op == "==" ? " & " : " | ";
        return lane_values(std::move(result), Lanes::mask,
                           "((" + a[0] + " " + op + " " + b[0] + ")" + join_op + "(" + a[1] + " " +
                               op + " " + b[1] + "))");
    }
    return lane_values(std::move(result), Lanes::mask,
                       "(" + real_of(left) + " " + op + " " + real_of(right) + ")");
}

// The lanes of two real operands combined by an arithmetic operator, as C
// combines them: integers stay integers, anything else is real. Integer
// division goes through idiv_v, which never divides by zero, since a lane
// that the canonical form would not even compute must not stop the device.
static TypedText combine_reals(TypedText result, const TypedText& left, const std::string& op,
                               const TypedText& right) {
    if (is_integral(left) && is_integral(right)) {
        if (op == "/") {
            return lane_values(std::move(result), Lanes::integers,
                               "idiv_v(" + int_vector(left) + ", " + int_vector(right) + ")");
        }
        return lane_values(std::move(result), Lanes::integers,
                           int_lanes(left) + " " + op + " " + int_lanes(right));
    }
    return varying(std::move(result), {real_lanes(left) + " " + op + " " + real_lanes(right)});
}

TypedText FormulaTranslator::wide_additive(TypedText result, const TypedText& left,
                                           const std::string& op, const TypedText& right) {
    if (!typed({&left, &right})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (is_uniform(left) && is_uniform(right)) {
        return uniform(std::move(result),
                       left.lanes == Lanes::uniform_int && right.lanes == Lanes::uniform_int);
    }
    auto barrier = [&](const TypedText& v, const std::string& text) {
        return is_uniform(v) || is_atom(text) ? text : wide_temp("realv_t", text);
    };
    const bool left_complex = is_complex(left), right_complex = is_complex(right);
    if (left.type == ValueType::real && right_complex) {
        std::vector<std::string> r = components(right, 2);
        return varying(std::move(result), {barrier(left, real_lanes(left)) + " " + op + " " + r[0],
                                           "0.0 " + op + " " + r[1]});
    }
    if (left_complex && right.type == ValueType::real) {
        std::vector<std::string> l = components(left, 2);
        return varying(
            std::move(result),
            {l[0] + " " + op + " " + barrier(right, real_lanes(right)), l[1] + " " + op + " 0.0"});
    }
    if (right_complex || left_complex) {
        if (!left_complex || !right_complex) {
            block_wide("colour and complex arithmetic");
            return result;
        }
        std::vector<std::string> l = components(left, 2), r = components(right, 2);
        return varying(std::move(result),
                       {l[0] + " " + op + " " + r[0], l[1] + " " + op + " " + r[1]});
    }
    const bool left_color = left.type == ValueType::color,
               right_color = right.type == ValueType::color;
    if (!left_color && !right_color) return combine_reals(std::move(result), left, op, right);
    // A real beside a colour is spread over its four components.
    std::vector<std::string> l = left_color
                                     ? components(left, 4)
                                     : std::vector<std::string>(4, barrier(left, real_lanes(left)));
    std::vector<std::string> r =
        right_color ? components(right, 4)
                    : std::vector<std::string>(4, barrier(right, real_lanes(right)));
    std::vector<std::string> parts;
    for (int i = 0; i < 4; ++i) parts.push_back(l[i] + " " + op + " " + r[i]);
    return varying(std::move(result), std::move(parts));
}

TypedText FormulaTranslator::wide_multiplicative(TypedText result, const TypedText& left,
                                                 const std::string& op, const TypedText& right) {
    if (!typed({&left, &right})) {
        block_wide("an expression of unknown type");
        return result;
    }
    const bool left_complex = is_complex(left), right_complex = is_complex(right);
    const bool left_color = left.type == ValueType::color,
               right_color = right.type == ValueType::color;
    if (op == "%") {
        if (left_color || right_color) {
            block_wide("a colour remainder");
            return result;
        }
        if (is_uniform(left) && is_uniform(right)) {
            return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
        }
        auto real_of = [](const TypedText& v) {
            return is_complex(v) ? "(realv_t)(" + components(v, 2)[0] + ")" : real_vector(v);
        };
        // Lane by lane: the vector fmod of some devices does not return for
        // some mixes of lanes (those of retired pixels included).
        return varying(std::move(result),
                       {"fmod_v(" + real_of(left) + ", " + real_of(right) + ")"});
    }
    if ((left_complex && right_color) || (left_color && right_complex)) {
        block_wide("colour and complex arithmetic");
        return result;
    }
    if (is_uniform(left) && is_uniform(right)) {
        // cmul and cdiv are calls: their result is spread over the lanes.
        if (left_complex && right_complex) {
            std::string t = wide_temp("real2v_t", "widen2_v(" + result.text + ")");
            return varying(std::move(result), {t + ".x", t + ".y"});
        }
        if (right_complex) {
            std::string t = wide_temp("real2v_t", "widen2_v(" + result.text + ")");
            return varying(std::move(result), {t + ".x", t + ".y"});
        }
        return uniform(std::move(result),
                       left.lanes == Lanes::uniform_int && right.lanes == Lanes::uniform_int);
    }
    if (!left_complex && !right_complex) {
        if (!left_color && !right_color) return combine_reals(std::move(result), left, op, right);
        std::vector<std::string> l =
            left_color ? components(left, 4) : std::vector<std::string>(4, real_lanes(left));
        std::vector<std::string> r =
            right_color ? components(right, 4) : std::vector<std::string>(4, real_lanes(right));
        std::vector<std::string> parts;
        for (int i = 0; i < 4; ++i) parts.push_back(l[i] + " " + op + " " + r[i]);
        return varying(std::move(result), std::move(parts));
    }
    auto call = [&](const std::string& text) {
        std::string t = wide_temp("real2v_t", text);
        return std::vector<std::string>{t + ".x", t + ".y"};
    };
    if (left_complex && right_complex) {
        std::string function = op == "*" ? "cmul_v(" : "cdiv_v(";
        return varying(std::move(result),
                       call(function + complex_struct(left) + ", " + complex_struct(right) + ")"));
    }
    if (left_complex) {
        std::vector<std::string> l = components(left, 2);
        std::string r = real_lanes(right);
        return varying(std::move(result), {l[0] + " " + op + " " + r, l[1] + " " + op + " " + r});
    }
    if (op == "*") {  // the complex operand first, as the canonical text has it
        std::vector<std::string> r = components(right, 2);
        std::string l = real_lanes(left);
        return varying(std::move(result), {r[0] + " * " + l, r[1] + " * " + l});
    }
    return varying(std::move(result),
                   call("cdiv_v(" + complex_struct(left) + ", " + complex_struct(right) + ")"));
}

TypedText FormulaTranslator::wide_power(TypedText result, const TypedText& base,
                                        const TypedText& exponent) {
    if (!typed({&base, &exponent})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (base.type == ValueType::color || exponent.type == ValueType::color) {
        block_wide("a colour power");
        return result;
    }
    if (is_complex(result)) {
        std::string call;
        if (is_uniform(base) && is_uniform(exponent)) {
            call = "widen2_v(" + result.text + ")";
        } else if (is_uniform(exponent)) {
            std::string w = is_complex(exponent) ? exponent.text : promote(exponent.text);
            call = "cpow_uv(" + complex_struct(base) + ", " + w + ")";
        } else {
            call = "cpow_v(" + complex_struct(base) + ", " + complex_struct(exponent) + ")";
        }
        std::string t = wide_temp("real2v_t", call);
        return varying(std::move(result), {t + ".x", t + ".y"});
    }
    if (is_uniform(base) && is_uniform(exponent)) {
        return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
    }
    return varying(std::move(result),
                   {"pow_v(" + real_lanes(base) + ", " + real_lanes(exponent) + ")"});
}

TypedText FormulaTranslator::wide_unary(TypedText result, const std::string& op,
                                        const TypedText& operand) {
    if (!typed({&operand})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (op == "!") {
        if (is_uniform(operand)) return uniform(std::move(result), true);
        if (operand.type != ValueType::real) {
            block_wide("a complex or colour truth value");
            return result;
        }
        std::string mask =
            operand.lanes == Lanes::mask ? operand.parts[0] : "(" + operand.parts[0] + " != 0)";
        return lane_values(std::move(result), Lanes::mask, "(!(" + mask + "))");
    }
    if (is_uniform(operand)) return uniform(std::move(result), operand.lanes == Lanes::uniform_int);
    if (operand.lanes == Lanes::mask) {
        return lane_values(std::move(result), Lanes::integers, "(- " + int_lanes(operand) + ")");
    }
    TypedText negated = std::move(result);
    negated.lanes = operand.lanes;
    negated.parts.clear();
    for (const std::string& part : operand.parts) negated.parts.push_back("(- " + part + ")");
    return negated;
}

TypedText FormulaTranslator::wide_number(TypedText result, const Token& number) {
    return uniform(std::move(result), !number.imaginary && is_integer_literal(result.text));
}

TypedText FormulaTranslator::wide_modulus(TypedText result, const TypedText& operand) {
    if (!typed({&operand, &result})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (operand.type == ValueType::color) {
        block_wide("the modulus of a colour");
        return result;
    }
    if (is_uniform(operand)) return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
    if (is_complex(operand))
        return varying(std::move(result), {"norm2_v(" + complex_struct(operand) + ")"});
    return varying(std::move(result), {"fabs(" + real_vector(operand) + ")"});
}

TypedText FormulaTranslator::wide_parenthesized(TypedText result, const TypedText& first,
                                                const TypedText* second) {
    if (!second) {
        if (is_uniform(first)) return uniform(std::move(result), first.lanes == Lanes::uniform_int);
        TypedText grouped = std::move(result);
        grouped.lanes = first.lanes;
        grouped.parts.clear();
        for (const std::string& part : first.parts) grouped.parts.push_back("(" + part + ")");
        return grouped;
    }
    if (!typed({&first, second})) {
        block_wide("an expression of unknown type");
        return result;
    }
    if (first.type != ValueType::real || second->type != ValueType::real) {
        block_wide("a complex literal of complex parts");
        return result;
    }
    if (is_uniform(first) && is_uniform(*second)) return uniform(std::move(result), false);
    // Each part lands in a vector in the canonical form.
    auto part = [&](const TypedText& v) {
        std::string text = real_lanes(v);
        return is_uniform(v) || is_atom(text) ? text : wide_temp("realv_t", text);
    };
    return varying(std::move(result), {part(first), part(*second)});
}

TypedText FormulaTranslator::wide_name(TypedText result, const std::string& name,
                                       const TypedText* index) {
    if (index) return wide_element(std::move(result), name, *index);
    if (result.type == ValueType::unknown) {
        block_wide("an unknown name");
        return result;
    }
    if (name == "true" || name == "false") return uniform(std::move(result), true);
    const bool variable = result.text == name && (declared_vars.count(name) ||
                                                  typed_decls.count(name) || var_types.count(name));
    if (!variable) {
        const PredefinedSymbol* symbol = lookup_predefined(name);
        if (symbol && result.text == symbol->text) return wide_symbol(std::move(result));
        // A parameter: a checked literal.
        return uniform(std::move(result), is_integer_literal(result.text));
    }
    if (!is_identifier(name) || is_wide_reserved(name)) {
        block_wide("a variable name the wide program uses itself");
        return result;
    }
    if (integer_vars.count(name)) return lane_values(std::move(result), Lanes::integers, name);
    if (result.type == ValueType::complex)
        return varying(std::move(result), {name + ".x", name + ".y"});
    if (result.type == ValueType::color) {
        return varying(std::move(result), {name + ".x", name + ".y", name + ".z", name + ".w"});
    }
    return varying(std::move(result), {name});
}

// An array holds a vector per element; an element whose index differs by
// lane is gathered lane by lane (and scattered the same way when stored).
// An index outside the array reads a zero and stores nothing.
TypedText FormulaTranslator::wide_element(TypedText result, const std::string& name,
                                          const TypedText& index) {
    auto array = array_vars.find(name);
    if (array == array_vars.end() || !typed({&index}) || index.type != ValueType::real) {
        block_wide("an element of something other than an array");
        return result;
    }
    const bool integer = integer_vars.count(name) > 0;
    const ValueType element = array->second;
    auto parts = [&](const std::string& text) {
        if (element == ValueType::complex)
            return std::vector<std::string>{text + ".x", text + ".y"};
        if (element == ValueType::color) {
            return std::vector<std::string>{text + ".x", text + ".y", text + ".z", text + ".w"};
        }
        return std::vector<std::string>{text};
    };
    if (is_uniform(index)) {
        wide_elements_[result.text] = {name, "", true};
        std::string text = result.text;
        if (integer) return lane_values(std::move(result), Lanes::integers, text);
        return varying(std::move(result), parts(text));
    }
    std::string lanes = int_vector(index);
    wide_elements_[result.text] = {name, lanes, false};
    const char* gather = integer                         ? "gather_int_v("
                         : element == ValueType::complex ? "gather2_v("
                         : element == ValueType::color   ? "gather4_v("
                                                         : "gather_v(";
    std::string call =
        gather + name + ", (int)(sizeof(" + name + ") / sizeof(" + name + "[0])), " + lanes + ")";
    if (integer) return lane_values(std::move(result), Lanes::integers, call);
    if (element == ValueType::real) return varying(std::move(result), {call});
    return varying(std::move(result),
                   parts(wide_temp(element == ValueType::complex ? "real2v_t" : "real4v_t", call)));
}

std::string FormulaTranslator::wide_array_declaration(const std::string& kernel_type,
                                                      const std::string& name,
                                                      const std::string& size) {
    if (!is_identifier(name) || is_wide_reserved(name)) {
        block_wide("a variable name the wide program uses itself");
        return "";
    }
    if (size.find_first_not_of("0123456789.eE+-*/() ") != std::string::npos) {
        block_wide("an array sized at run time");
        return "";
    }
    std::string type = kernel_type == "int "       ? "intv_t"
                       : kernel_type == "real2_t " ? "real2v_t"
                       : kernel_type == "real4_t " ? "real4v_t"
                                                   : "realv_t";
    return "    " + type + " " + name + "[(int)(" + size + ")];\n";
}

// ---------------------------------------------------------------------------
// [SECTION] Calls

TypedText FormulaTranslator::wide_math_call(TypedText result, const std::string& function,
                                            const std::vector<TypedText>& args) {
    if (args.empty()) return uniform(std::move(result), false);
    const TypedText& a = args[0];
    for (const TypedText& arg : args) {
        if (!typed({&arg})) {
            block_wide("an expression of unknown type");
            return result;
        }
    }
    auto complex_call = [&](const std::string& text) {
        std::string t = wide_temp("real2v_t", text);
        return varying(std::move(result), {t + ".x", t + ".y"});
    };
    if (args.size() == 2 && a.type == ValueType::color && args[1].type == ValueType::color) {
        std::string t = wide_temp(
            "real4v_t", "fl_normal_v(" + color_struct(a) + ", " + color_struct(args[1]) + ")");
        return varying(std::move(result), {t + ".x", t + ".y", t + ".z", t + ".w"});
    }
    const std::string name = to_lower(function);
    const bool test = name == "isinf" || name == "isnan";
    if (!is_math_function(name)) {
        block_wide("an unknown function");
        return result;
    }
    if (a.type == ValueType::color) {
        block_wide("a math function of a colour");
        return result;
    }
    if (test) {
        if (is_uniform(a)) return uniform(std::move(result), true);
        if (is_complex(a)) {
            std::vector<std::string> p = components(a, 2);
            return lane_values(std::move(result), Lanes::mask,
                               "(" + name + "(" + p[0] + ") | " + name + "(" + p[1] + "))");
        }
        return lane_values(std::move(result), Lanes::mask, name + "(" + real_vector(a) + ")");
    }
    if (is_complex(result)) {
        // The complex form, of a complex argument or of a promoted real.
        std::string form = result.text.substr(0, result.text.find('('));
        if (is_uniform(a)) return complex_call("widen2_v(" + result.text + ")");
        return complex_call(form + "_v(" + complex_struct(a) + ")");
    }
    if (is_uniform(a)) return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
    if (name == "zero") return varying(std::move(result), {"(realv_t)(0.0)"});
    std::string wide_name = wide_real_function(name == "abs" ? "fabs" : name);
    if (wide_name.empty()) {
        block_wide("an unknown function");
        return result;
    }
    return varying(std::move(result), {wide_name + "(" + real_vector(a) + ")"});
}

TypedText FormulaTranslator::wide_special_form(TypedText result, const std::string& name,
                                               const std::vector<TypedText>& args) {
    const TypedText& a = args[0];
    if (!typed({&a}) || (name == "sqr" && result.type == ValueType::unknown)) {
        block_wide("an expression of unknown type");
        return result;
    }
    auto bind = [&](const std::string& text) {
        return is_atom(text) ? text : wide_temp("realv_t", text);
    };
    auto complex_call = [&](const std::string& text) {
        std::string t = wide_temp("real2v_t", text);
        return varying(std::move(result), {t + ".x", t + ".y"});
    };
    if (name == "real" || name == "imag") {
        if (!is_complex(a)) {
            if (name == "imag") return uniform(std::move(result), false);
            TypedText same = a;
            same.text = result.text;
            return same;
        }
        if (is_uniform(a)) return uniform(std::move(result), false);
        return varying(std::move(result), {bind(a.parts[name == "real" ? 0 : 1])});
    }
    if (name == "sqr") {
        if (is_complex(a)) {
            if (is_uniform(a)) return complex_call("widen2_v(" + result.text + ")");
            return complex_call("csqr_v(" + complex_struct(a) + ")");
        }
        if (is_uniform(a)) return uniform(std::move(result), a.lanes == Lanes::uniform_int);
        if (a.lanes == Lanes::integers || a.lanes == Lanes::mask) {
            std::string i = int_lanes(a);
            return lane_values(std::move(result), Lanes::integers, "((" + i + ") * (" + i + "))");
        }
        TypedText squared = std::move(result);
        squared.lanes = Lanes::varying;
        squared.parts.clear();
        for (const std::string& part : a.parts)
            squared.parts.push_back("((" + part + ") * (" + part + "))");
        return squared;
    }
    if (name == "cabs") {
        if (a.type == ValueType::color) {
            block_wide("the length of a colour");
            return result;
        }
        if (is_uniform(a)) return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
        if (is_complex(a))
            return varying(std::move(result), {"length_v(" + complex_struct(a) + ")"});
        return varying(std::move(result), {"length_real_v(" + real_vector(a) + ")"});
    }
    if (name == "atan2") {
        const TypedText* b = args.size() >= 2 ? &args[1] : nullptr;
        if ((b && (!typed({b}) || b->type != ValueType::real || a.type != ValueType::real)) ||
            a.type == ValueType::color) {
            block_wide("atan2 of complex or colour values");
            return result;
        }
        if (is_uniform(a) && (!b || is_uniform(*b))) {
            return varying(std::move(result), {"(realv_t)(" + result.text + ")"});
        }
        if (b)
            return varying(std::move(result),
                           {"atan2_v(" + real_lanes(a) + ", " + real_lanes(*b) + ")"});
        if (!is_complex(a))
            return varying(std::move(result), {"atan2_v(" + real_lanes(a) + ", 0.0)"});
        return varying(std::move(result), {"atan2_v(" + a.parts[1] + ", " + a.parts[0] + ")"});
    }
    return wide_symbol(std::move(result));  // oldz: the orbit value
}

TypedText FormulaTranslator::wide_color_call(TypedText result, const std::string& function,
                                             const std::vector<TypedText>& args) {
    static const std::array<std::pair<std::string_view, std::string_view>, 8> kSignatures = {{
        {"rgb", "sss"},
        {"rgba", "ssss"},
        {"hsl", "sss"},
        {"hsla", "ssss"},
        {"gradient", "s"},
        {"compose", "ccs"},
        {"blend", "ccs"},
        {"normal", "cc"},
    }};
    std::string_view signature = "c";  // a colour component: red, hue, ...
    for (const auto& [name, types] : kSignatures) {
        if (name == function) signature = types;
    }
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const TypedText& arg = args[i];
        bool color = signature[i] == 'c';
        if (!typed({&arg}) || (arg.type == ValueType::color) != color) {
            block_wide("a colour function with arguments of other types");
            return result;
        }
        texts.push_back(color             ? color_struct(arg)
                        : is_complex(arg) ? components(arg, 2)[0]
                                          : real_lanes(arg));
    }
    std::string call = "fl_" + function + "_v(" + join(texts) + ")";
    if (result.type == ValueType::real) return varying(std::move(result), {call});
    std::string t = wide_temp("real4v_t", call);
    return varying(std::move(result), {t + ".x", t + ".y", t + ".z", t + ".w"});
}

TypedText FormulaTranslator::wide_user_call(TypedText result, const std::string& name,
                                            const std::vector<TypedText>& args) {
    for (const TypedText& arg : args) {
        if (!typed({&arg})) {
            block_wide("an expression of unknown type");
            return result;
        }
    }
    auto registered = user_funcs.find(name);
    if (registered == user_funcs.end()) {
        // The prelude's pseudo-random step, which the canonical text calls
        // like a user function.
        if (name == "random" && args.size() == 1 && args[0].type != ValueType::color) {
            std::string t = wide_temp("real2v_t", "random_v(" + complex_struct(args[0]) + ")");
            return varying(std::move(result), {t + ".x", t + ".y"});
        }
        block_wide("an unknown function");
        return result;
    }
    const UserFunctionSignature& signature = registered->second;
    if (args.size() != signature.param_types.size()) {
        block_wide("a user function called with another number of arguments");
        return result;
    }
    std::vector<std::string> texts{current_mask()};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const TypedText& arg = args[i];
        ValueType param = signature.param_types[i];
        bool integer = i < signature.integer_params.size() && signature.integer_params[i];
        if (param == ValueType::complex) {
            if (arg.type == ValueType::color) {
                block_wide("a user function called with another type");
                return result;
            }
            texts.push_back(complex_struct(arg));
        } else if ((param == ValueType::color) != (arg.type == ValueType::color) ||
                   is_complex(arg)) {
            block_wide("a user function called with another type");
            return result;
        } else if (param == ValueType::color) {
            texts.push_back(color_struct(arg));
        } else {
            texts.push_back(integer ? int_vector(arg) : real_lanes(arg));
        }
    }
    std::string call = signature.kernel_name + "(" + join(texts) + ")";
    if (signature.integer_result) return lane_values(std::move(result), Lanes::integers, call);
    if (result.type == ValueType::real) return varying(std::move(result), {call});
    if (result.type == ValueType::complex) {
        std::string t = wide_temp("real2v_t", call);
        return varying(std::move(result), {t + ".x", t + ".y"});
    }
    std::string t = wide_temp("real4v_t", call);
    return varying(std::move(result), {t + ".x", t + ".y", t + ".z", t + ".w"});
}

// ---------------------------------------------------------------------------
// [SECTION] Statements

// The value an assignment stores, converted as the canonical form converts
// it (promotion to complex, packed colour, real part of a complex).
// A constant keeps the canonical conversion (`converted`), which unpacks a
// packed colour literal exactly even where a float cannot hold it.
void FormulaTranslator::wide_assignment(const TypedText& target, TypedText value,
                                        const std::string& converted, bool promoted, bool unpacked,
                                        bool real_part) {
    wide_target_ = target;
    if (!typed({&value})) {
        block_wide("an expression of unknown type");
    } else if ((promoted || unpacked || real_part) && is_uniform(value)) {
        ValueType type = promoted   ? ValueType::complex
                         : unpacked ? ValueType::color
                                    : ValueType::real;
        value = uniform({converted, type}, false);
    } else if (promoted) {
        value = varying({"", ValueType::complex}, {real_lanes(value), "0.0"});
    } else if (unpacked) {
        std::string t = wide_temp("real4v_t", "fl_unpack_color_v(" + real_vector(value) + ")");
        value = varying({"", ValueType::color}, {t + ".x", t + ".y", t + ".z", t + ".w"});
    } else if (real_part) {
        value = varying({"", ValueType::real}, {value.parts[0]});
    }
    wide_value_ = std::move(value);
}

std::string FormulaTranslator::wide_declaration(const std::string& kernel_type,
                                                const std::string& name) {
    if (!is_identifier(name) || is_wide_reserved(name)) {
        block_wide("a variable name the wide program uses itself");
        return "";
    }
    if (kernel_type == "int ") return "    intv_t " + name + " = (intv_t)0;\n";
    if (kernel_type == "real2_t ") return "    real2v_t " + name + " = cplx_v(0.0, 0.0);\n";
    if (kernel_type == "real4_t ")
        return "    real4v_t " + name + " = color_v(0.0, 0.0, 0.0, 0.0);\n";
    return "    realv_t " + name + " = (realv_t)0.0;\n";
}

// target = value in the lanes of `mask`; in every lane at the top level of
// a speculative section.
std::string FormulaTranslator::wide_masked_store(const TypedText& target, const TypedText& value,
                                                 const std::string& mask) {
    if (!typed({&value}) || target.lanes == Lanes::uniform || target.lanes == Lanes::uniform_int ||
        target.lanes == Lanes::mask || target.parts.empty()) {
        block_wide("an assignment to something other than a variable");
        return "";
    }
    std::string name, type, blend, stored;
    auto element = wide_elements_.find(target.text);
    if (element != wide_elements_.end())
        return wide_element_store(element->second, target, value, mask);
    if (target.type == ValueType::complex || target.type == ValueType::color) {
        name = whole_name(target.parts);
        bool complex = target.type == ValueType::complex;
        if (name.empty() || value.type == (complex ? ValueType::color : ValueType::complex)) {
            block_wide("an assignment to something other than a variable");
            return "";
        }
        if (value.type == ValueType::real) {
            // A real spreads over every component, as in the canonical form.
            std::string lanes = real_vector(value);
            stored = complex
                         ? "cplx_v(" + lanes + ", " + lanes + ")"
                         : "color_v(" + lanes + ", " + lanes + ", " + lanes + ", " + lanes + ")";
        } else {
            stored = complex ? complex_struct(value) : color_struct(value);
        }
        type = complex ? "real2v_t" : "real4v_t";
        blend = complex ? "blend2_v(" : "blend4_v(";
    } else {
        name = target.parts[0];
        if (!is_identifier(name) || value.type != ValueType::real) {
            block_wide("an assignment to something other than a variable");
            return "";
        }
        bool integer = target.lanes == Lanes::integers;
        stored = integer ? int_vector(value) : real_vector(value);
        type = integer ? "intv_t" : "realv_t";
        blend = integer ? "blend_int_v(" : "blend_v(";
    }
    if (wide_speculative) {
        // Kept lane by lane when it outlives the section.
        if (wide_declared_before_.count(name) || !declared_vars.count(name)) wide_kept[name] = type;
        if (mask == "_m0") return "    " + name + " = " + stored + ";\n";
    }
    return "    " + name + " = " + blend + name + ", " + stored + ", " + mask + ");\n";
}

// An array element stores in the lanes of the mask, also at the top level
// of a speculative section: the array then needs no kept copy.
std::string FormulaTranslator::wide_element_store(const WideElement& element,
                                                  const TypedText& target, const TypedText& value,
                                                  const std::string& mask) {
    std::string stored, suffix;
    if (target.type == ValueType::complex || target.type == ValueType::color) {
        bool complex = target.type == ValueType::complex;
        if (value.type != ValueType::real && value.type != target.type) {
            block_wide("an assignment of another type");
            return "";
        }
        std::string lanes = value.type == ValueType::real ? real_vector(value) : "";
        stored =
            complex
                ? (lanes.empty() ? complex_struct(value) : "cplx_v(" + lanes + ", " + lanes + ")")
                : (lanes.empty()
                       ? color_struct(value)
                       : "color_v(" + lanes + ", " + lanes + ", " + lanes + ", " + lanes + ")");
        suffix = complex ? "2_v(" : "4_v(";
    } else if (value.type != ValueType::real) {
        block_wide("an assignment of another type");
        return "";
    } else if (target.lanes == Lanes::integers) {
        stored = int_vector(value);
        suffix = "_int_v(";
    } else {
        stored = real_vector(value);
        suffix = "_v(";
    }
    if (element.uniform) {
        return "    " + target.text + " = blend" + suffix + target.text + ", " + stored + ", " +
               mask + ");\n";
    }
    const std::string& a = element.array;
    return "    scatter" + suffix + a + ", (int)(sizeof(" + a + ") / sizeof(" + a + "[0])), " +
           element.index + ", " + stored + ", " + mask + ");\n";
}

std::string FormulaTranslator::wide_simple_statement(const std::string& kernel_type,
                                                     const std::string& target,
                                                     const TypedText& statement,
                                                     const std::string& snapshot) {
    std::string out = take_wide_setup();
    auto variable = [this](const std::string& name) {
        bool saved = wide;
        TypedText v = wide_name({name, variable_type(name)}, name, nullptr);
        wide = saved;
        return v;
    };
    if (!kernel_type.empty()) {
        out += wide_declaration(kernel_type, target);
        if (last_was_assignment)
            out += wide_masked_store(variable(target), wide_value_, current_mask());
    } else if (last_was_assignment) {
        out += wide_masked_store(wide_target_, wide_value_, current_mask());
        std::string source = color_override_snapshot(statement.text);
        if (!source.empty()) {
            out += "    _color_override.w = blend_v(_color_override.w, (realv_t)(-1.0f), " +
                   current_mask() + " & equal4_v(_color_override, " + source + "_init));\n";
        }
    }
    if (!snapshot.empty()) {
        out += wide_declaration("real4_t ", snapshot + "_init");
        out += wide_masked_store(
            {snapshot + "_init",
             ValueType::color,
             Lanes::varying,
             {snapshot + "_init.x", snapshot + "_init.y", snapshot + "_init.z",
              snapshot + "_init.w"}},
            {snapshot,
             ValueType::color,
             Lanes::varying,
             {snapshot + ".x", snapshot + ".y", snapshot + ".z", snapshot + ".w"}},
            current_mask());
    }
    return out;
}

FormulaTranslator::WideCondition FormulaTranslator::translate_wide_condition(
    const std::string& text) {
    std::string condition = trim(text);
    wide_setup_.clear();
    if (condition.empty()) return {"", "(intv_t)(0)"};
    set_tokens(tokenize(condition));
    TypedText value = or_expr();
    WideCondition result;
    if (!typed({&value}) || value.type != ValueType::real) {
        block_wide(value.type == ValueType::unknown ? "an expression of unknown type"
                                                    : "a complex or colour truth value");
        result.mask = "(intv_t)(0)";
    } else if (is_uniform(value)) {
        result.mask = "((" + value.text + ") ? (intv_t)(-1) : (intv_t)(0))";
    } else if (value.lanes == Lanes::mask) {
        result.mask = value.parts[0];
    } else {
        result.mask = "(" + value.parts[0] + " != 0)";
    }
    result.setup = take_wide_setup();
    return result;
}

std::string FormulaTranslator::wide_statements(const std::string& normalized) {
    std::vector<std::string> lines = split_lines(normalized);
    std::vector<Block> blocks;
    std::vector<std::string> guards;  // per open block: its loop guard, if any
    std::string out;
    const int base_depth = wide_depth_;
    auto mask = [&](std::size_t depth) { return "_m" + std::to_string(base_depth + depth); };
    // The mask a new block starts from. Ahead of its mask, a speculative
    // section's branches take every lane in the image (whose values it
    // keeps apart), its loops only the lanes still iterating.
    auto parent = [&](std::size_t depth, bool loop) {
        if (!wide_speculative) return mask(depth);
        if (depth == 0) return loop ? mask(0) : std::string("_live");
        return loop ? mask(depth) + " & " + mask(0) : mask(depth);
    };
    auto rest = [&](std::size_t depth) { return "_e" + std::to_string(base_depth + depth); };
    // Condition at the given depth: its temporaries and its mask.
    auto condition = [&](const std::string& text, std::size_t depth) {
        wide_depth_ = base_depth + static_cast<int>(depth);
        WideCondition c = translate_wide_condition(text);
        return c;
    };
    auto top_is = [&](std::initializer_list<Block> kinds) {
        return !blocks.empty() &&
               std::find(kinds.begin(), kinds.end(), blocks.back()) != kinds.end();
    };
    auto unbalanced = [&] { block_wide("unbalanced blocks"); };

    for (std::size_t index = 0; index < lines.size();) {
        std::string first = trim(lines[index]);
        if (first.empty() || first.front() == ';') {
            ++index;
            continue;
        }
        std::string line = trim(lines[index++]);
        while (!line.empty() && line.back() == '\\') {
            line = trim(line.substr(0, line.size() - 1));
            if (index < lines.size()) line += " " + trim(lines[index++]);
        }
        line = trim(line.substr(0, line.find(';')));
        std::string lower = to_lower(line);
        std::replace(lower.begin(), lower.end(), '\t', ' ');
        const std::size_t depth = blocks.size();
        wide_depth_ = base_depth + static_cast<int>(depth);

        if (starts_with_word(lower, "print")) {
            continue;
        } else if (starts_with_word(lower, "if")) {
            WideCondition c = condition(line.substr(2), depth);
            const std::size_t d = depth + 1;
            out += "    {\n    intv_t " + rest(d) + " = " + parent(depth, false) + ";\n" + c.setup +
                   "    intv_t " + mask(d) + " = " + rest(d) + " & " + c.mask + ";\n    " +
                   rest(d) + " = " + rest(d) + " & ~" + mask(d) + ";\n    if (any(" + mask(d) +
                   ")) {\n";
            blocks.push_back(Block::if_block);
            guards.emplace_back();
        } else if (starts_with_word(lower, "elseif")) {
            if (!top_is({Block::if_block})) unbalanced();
            WideCondition c = condition(line.substr(6), depth - (depth > 0));
            out += "    }\n" + c.setup + "    " + mask(depth) + " = " + rest(depth) + " & " +
                   c.mask + ";\n    " + rest(depth) + " = " + rest(depth) + " & ~" + mask(depth) +
                   ";\n    if (any(" + mask(depth) + ")) {\n";
        } else if (lower == "else") {
            if (!top_is({Block::if_block})) unbalanced();
            if (!blocks.empty()) blocks.back() = Block::if_after_else;
            out += "    }\n    " + mask(depth) + " = " + rest(depth) + ";\n    if (any(" +
                   mask(depth) + ")) {\n";
        } else if (lower == "endif") {
            if (!top_is({Block::if_block, Block::if_after_else})) unbalanced();
            out += "    }\n    }\n";
            if (!blocks.empty()) {
                blocks.pop_back();
                guards.pop_back();
            }
        } else if (starts_with_word(lower, "while")) {
            const std::size_t d = depth + 1;
            WideCondition c = condition(line.substr(5), d);
            std::string guard =
                bounded_loops ? "_wg" + std::to_string(loop_guard_counter++) : std::string();
            out += "    {\n";
            if (!guard.empty()) out += "    int " + guard + " = 0;\n";
            out += "    intv_t " + mask(d) + " = " + parent(depth, true) + ";\n    while (1) {\n" +
                   c.setup + "    " + mask(d) + " = " + mask(d) + " & " + c.mask +
                   ";\n    if (!any(" + mask(d) + ")";
            if (!guard.empty()) out += " || !(" + guard + "++ < MAX_FORMULA_LOOP_ITERS)";
            out += ") break;\n";
            blocks.push_back(Block::while_block);
            guards.push_back(guard);
        } else if (lower == "endwhile") {
            if (!top_is({Block::while_block})) unbalanced();
            out += "    }}\n";
            if (!blocks.empty()) {
                blocks.pop_back();
                guards.pop_back();
            }
        } else if (lower == "repeat") {
            const std::size_t d = depth + 1;
            std::string guard =
                bounded_loops ? "_wg" + std::to_string(loop_guard_counter++) : std::string();
            out += "    {\n";
            if (!guard.empty()) out += "    int " + guard + " = 0;\n";
            out += "    intv_t " + mask(d) + " = " + parent(depth, true) + ";\n    do {\n";
            if (!guard.empty()) {
                out += "    if (" + guard + "++ >= MAX_FORMULA_LOOP_ITERS) break;\n";
            }
            blocks.push_back(Block::repeat_block);
            guards.push_back(guard);
        } else if (starts_with_word(lower, "until")) {
            if (!top_is({Block::repeat_block})) unbalanced();
            WideCondition c = condition(line.substr(5), depth);
            out += c.setup + "    " + mask(depth) + " = " + mask(depth) + " & ~" + c.mask +
                   ";\n    } while (any(" + mask(depth) + "));\n    }\n";
            if (!blocks.empty()) {
                blocks.pop_back();
                guards.pop_back();
            }
        } else if (lower.rfind("return ", 0) == 0) {
            set_tokens(tokenize(line.substr(7)));
            wide_setup_.clear();
            TypedText value = translate_assignment();
            if (wide_result_type.empty()) {
                block_wide("return outside a user function");
                continue;
            }
            TypedText result_var{"_result", ValueType::real, Lanes::varying, {"_result"}};
            if (wide_result_type == "int ") result_var.lanes = Lanes::integers;
            if (wide_result_type == "real2_t ") {
                result_var.type = ValueType::complex;
                result_var.parts = {"_result.x", "_result.y"};
            } else if (wide_result_type == "real4_t ") {
                result_var.type = ValueType::color;
                result_var.parts = {"_result.x", "_result.y", "_result.z", "_result.w"};
            }
            out += take_wide_setup();
            out += "    {\n    intv_t _done = " + mask(depth) + ";\n";
            out += wide_masked_store(result_var, value, "_done");
            for (std::size_t k = 0; k <= depth; ++k) {
                out += "    " + mask(k) + " = " + mask(k) + " & ~_done;\n";
            }
            out += "    }\n";
        } else {
            wide_setup_.clear();
            wide_elements_.clear();
            out += simple_statement(line, lower);
        }
    }
    for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {
        if (*block == Block::repeat_block) {
            block_wide("repeat without until");
        } else if (*block == Block::while_block) {
            out += "    }}\n";
        } else {
            out += "    }\n    }\n";
        }
    }
    wide_depth_ = base_depth;
    return out;
}

}  // namespace spirelle
