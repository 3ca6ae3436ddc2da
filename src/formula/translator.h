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

// Kernel text together with the type of the value it computes.
struct TypedText {
    std::string text;
    ValueType type = ValueType::unknown;

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
    TypedText user_call(const std::string& name, const std::vector<TypedText>& args);
    bool at_operator(std::string_view text) const;
    std::string simple_statement(const std::string& line, const std::string& lower);
    std::optional<std::string> array_declaration(const std::string& kernel_type,
                                                 const std::string& text);
    std::string color_override_marker(const std::string& statement) const;
    static bool too_long_to_repeat(const TypedText& operand);

    std::vector<Token> tokens_{Token{}};
    std::size_t position_ = 0;
    int nesting_ = 0;  // depth of nested unary levels, bounded against deep input
};

}  // namespace spirelle
