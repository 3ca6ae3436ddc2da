// The formula translator: formula text in, typed OpenCL C text out.
//
// There is no syntax tree. A section is normalised to one statement per line
// (tokenize.cpp), each statement is tokenized and translated by a recursive
// descent in which every grammar level emits its kernel text as soon as its
// operands are parsed (expressions.cpp). Names resolve through the predefined
// symbols, the formula parameters and the variables (symbols.cpp), calls
// through the math, color and user function tables (calls.cpp), and
// statements with their blocks, loop guards and declarations through
// statements.cpp.
//
// Kernel types: real_t for reals (also integers and booleans), real2_t for
// complex numbers (x real, y imaginary), real4_t for colors (r, g, b, a).
//
// The same translator also writes the wide form of a program, in which every
// value holds one lane per pixel of a run of adjacent pixels (wide.cpp). In
// that mode each grammar level still computes the canonical text and type,
// so that type inference is the same in both forms, and adds the lane texts
// beside them.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace spirelle {

enum class ValueType { real = 0, complex = 1, color = 2, unknown = 3 };

// How the wide form holds a value across its lanes. The canonical form
// leaves every value `uniform` and ignores the distinction.
enum class Lanes {
    uniform,      // a constant, the same in every lane: the canonical text
    uniform_int,  // an integer constant
    varying,      // a real, complex or colour value per lane, in parts
    integers,     // an integer per lane (intv_t), in parts[0]
    mask,         // a truth value per lane (intv_t, -1 true, 0 false), in parts[0]
};

// Kernel text together with the type of the value it computes.
struct TypedText {
    std::string text;
    ValueType type = ValueType::unknown;
    // The wide form of a value that is not uniform: one lane text for a
    // real, an integer or a mask, two for a complex (x, y) and four for a
    // colour (r, g, b, a).
    Lanes lanes = Lanes::uniform;
    std::vector<std::string> parts = {};

    bool operator==(const TypedText&) const = default;
};

enum class TokenKind {
    number,
    identifier,
    op,  // "||", "&&", "==", "!=", "<=", ">=", "!", "%", "*", "+", "-", "/", "<", "=", ">"
    lparen,
    rparen,
    lbracket,
    rbracket,
    bar,
    comma,
    caret,
    end,
};

struct Token {
    TokenKind kind = TokenKind::end;
    std::string text;        // identifiers are lower case
    bool imaginary = false;  // a number written with a trailing "i", such as 2i

    bool operator==(const Token&) const = default;
};

// A function of the formula that a call may name: a user function or a
// class method, already given its layer-private kernel name.
struct UserFunctionSignature {
    std::string kernel_name;
    std::vector<ValueType> param_types;
    ValueType return_type = ValueType::complex;
    // Parameters and result declared int or bool, which the wide form
    // carries as integers.
    std::vector<bool> integer_params = {};
    bool integer_result = false;
};

// One row of the predefined symbol table (#pixel, z, pi, #color, ...).
struct PredefinedSymbol {
    std::string_view name;
    std::string_view text;
    ValueType type;
};

// Splits a section into one statement per line, each followed by "\n":
// comments cut, chained assignments and declaration lists split.
std::string normalize_statements(const std::string& section);

// Tokens of one expression, always ending with an end token.
std::vector<Token> tokenize(std::string_view expression);

// The predefined symbol called `name` (lower case), or nullptr.
const PredefinedSymbol* lookup_predefined(std::string_view name);

// The translation context of one formula, coloring or transform instance.
// Its variable state carries over from section to section, so one
// translator serves all sections of an instance.
class FormulaTranslator {
  public:
    // "@name" (lower case) -> kernel text and type of the parameter value.
    std::map<std::string, TypedText> param_map;
    // Function parameter name without "@" -> selected function ("sin", ...).
    std::map<std::string, std::string> func_params;
    // Call name -> user function or class method.
    std::map<std::string, UserFunctionSignature> user_funcs;

    std::map<std::string, ValueType> var_types{{"z", ValueType::complex},
                                               {"c", ValueType::complex}};
    std::set<std::string> declared_vars;          // have a kernel declaration
    std::set<std::string> typed_decls;            // declared with a type keyword or as arrays
    std::set<std::string> assign_targets;         // targets of the statement being translated
    std::map<std::string, ValueType> array_vars;  // array -> element type
    std::set<std::string> color_snapshots;        // color variables with a name_init copy
    bool last_was_assignment = false;
    int loop_guard_counter = 0;  // numbers the loop guards _wg0, _wg1, ...
    bool bounded_loops = true;   // guard every loop with MAX_FORMULA_LOOP_ITERS

    // The wide form (wide.cpp). With `wide` set, translate_section and
    // translate_statements write masked lane-wise statements instead of the
    // canonical ones; expressions carry both forms.
    bool wide = false;
    // Variables held as integers: declared int or bool (also arrays of
    // them), and the counters.
    std::set<std::string> integer_vars;
    // Names of the temporaries of this instance: prefix + a number.
    std::string wide_temp_prefix = "_w";
    int wide_temp_counter = 0;
    // The kernel type ("real_t ", "int ", "real2_t ", "real4_t ") of the
    // user function whose body is being translated; empty elsewhere, where
    // "return" has no meaning in the wide form.
    std::string wide_result_type;
    // The first construct that the wide form cannot express; empty while
    // there is none. A program with such a construct stays scalar.
    std::string wide_blocker;
    // The formula's loop section runs ahead of its mask: statements outside
    // loops assign in every lane, so that no mask stands in the chain of
    // values from one iteration to the next. Variables that outlive the
    // section and that it assigns are listed in wide_kept (name -> wide
    // kernel type); the layer function keeps their values lane by lane as
    // each lane's iterations end.
    bool wide_speculative = false;
    std::map<std::string, std::string> wide_kept;

    // Replaces the current token list and resets the position to 0.
    void set_tokens(std::vector<Token> tokens);
    const Token& current() const;
    // Moves to the next token; the end token is never passed.
    void advance();

    // Expressions over the current token list.
    TypedText translate_assignment();
    TypedText translate_expression();
    // Tokenizes `text` and returns the or-expression text; "0" when empty.
    std::string translate_condition(const std::string& text);
    // The additive-level text of an array size, leaving the current token
    // list and position as they were.
    std::string translate_array_size(const std::string& text);

    // Names and calls.
    TypedText resolve_name(const std::string& name);
    ValueType variable_type(const std::string& name) const;
    TypedText translate_call(const std::string& name, const std::vector<TypedText>& args);
    TypedText emit_math_call(const std::string& function, const std::vector<TypedText>& args);

    // Statements.
    std::string translate_section(const std::string& section);
    void infer_types(const std::string& section);
    std::string translate_statements(const std::string& normalized);

    // A condition in the wide form: the statements that compute its
    // temporaries, and the mask.
    struct WideCondition {
        std::string setup;
        std::string mask;
    };
    WideCondition translate_wide_condition(const std::string& text);
    // The statements that bind the temporaries of the expressions translated
    // since the last call, which the wide form writes before their use.
    std::string take_wide_setup();

  private:
    // Grammar levels, loosest first.
    TypedText or_expr();
    TypedText and_expr();
    TypedText comparison();
    TypedText additive();
    TypedText multiplicative();
    TypedText power();
    TypedText unary();
    TypedText primary();
    TypedText modulus();
    TypedText parenthesized();
    TypedText call(const std::string& name);
    std::optional<TypedText> special_form(const std::string& name,
                                          const std::vector<TypedText>& args);
    std::optional<TypedText> canonical_special_form(const std::string& name,
                                                    const std::vector<TypedText>& args);
    TypedText canonical_math_call(const std::string& function, const std::vector<TypedText>& args);
    TypedText user_call(const std::string& name, const std::vector<TypedText>& args);
    bool at_operator(std::string_view text) const;
    std::string simple_statement(const std::string& line, const std::string& lower);
    std::optional<std::string> array_declaration(const std::string& kernel_type,
                                                 const std::string& text);
    std::string color_override_marker(const std::string& statement) const;
    std::string color_override_snapshot(const std::string& statement) const;
    static bool too_long_to_repeat(const TypedText& operand);

    // The wide form of each grammar level, from the canonical result and
    // the operands (wide.cpp).
    TypedText wide_logic(TypedText result, const TypedText& left, const std::string& op,
                         const TypedText& right);
    TypedText wide_comparison(TypedText result, const TypedText& left, const std::string& op,
                              const TypedText& right);
    TypedText wide_additive(TypedText result, const TypedText& left, const std::string& op,
                            const TypedText& right);
    TypedText wide_multiplicative(TypedText result, const TypedText& left, const std::string& op,
                                  const TypedText& right);
    TypedText wide_power(TypedText result, const TypedText& base, const TypedText& exponent);
    TypedText wide_unary(TypedText result, const std::string& op, const TypedText& operand);
    TypedText wide_number(TypedText result, const Token& number);
    TypedText wide_modulus(TypedText result, const TypedText& operand);
    TypedText wide_parenthesized(TypedText result, const TypedText& first, const TypedText* second);
    TypedText wide_name(TypedText result, const std::string& name, const TypedText* index);
    TypedText wide_element(TypedText result, const std::string& name, const TypedText& index);
    std::string wide_array_declaration(const std::string& kernel_type, const std::string& name,
                                       const std::string& size);
    TypedText wide_math_call(TypedText result, const std::string& function,
                             const std::vector<TypedText>& args);
    TypedText wide_special_form(TypedText result, const std::string& name,
                                const std::vector<TypedText>& args);
    TypedText wide_color_call(TypedText result, const std::string& function,
                              const std::vector<TypedText>& args);
    TypedText wide_user_call(TypedText result, const std::string& name,
                             const std::vector<TypedText>& args);
    void wide_assignment(const TypedText& target, TypedText value, const std::string& converted,
                         bool promoted, bool unpacked, bool real_part);
    std::string wide_simple_statement(const std::string& kernel_type, const std::string& target,
                                      const TypedText& statement, const std::string& snapshot);
    std::string wide_masked_store(const TypedText& target, const TypedText& value,
                                  const std::string& mask);
    std::string wide_declaration(const std::string& kernel_type, const std::string& name);
    std::string wide_statements(const std::string& normalized);
    void block_wide(const std::string& construct);
    std::string wide_temp(const std::string& type, const std::string& value);
    std::string current_mask() const;

    // State of the wide emission of the current statement.
    std::string wide_setup_;  // temporaries the statement needs first
    TypedText wide_target_;   // the assignment's target and value
    TypedText wide_value_;
    int wide_depth_ = 0;                          // block nesting: the current mask is _m<depth>
    std::set<std::string> wide_declared_before_;  // declared when the section began
    // Array elements read by the current statement, by their canonical text:
    // where the wide form stores into them.
    struct WideElement {
        std::string array;
        std::string index;  // intv_t lanes, or the canonical index of a constant one
        bool uniform = false;
    };
    std::map<std::string, WideElement> wide_elements_;
    std::string wide_element_store(const WideElement& element, const TypedText& target,
                                   const TypedText& value, const std::string& mask);

    std::vector<Token> tokens_{Token{}};
    std::size_t position_ = 0;
    int nesting_ = 0;  // depth of nested unary levels, bounded against deep input
};

}  // namespace spirelle
