#include "formula/translator.h"

namespace spirelle {

std::string normalize_statements(const std::string& section) { return section; }
std::vector<Token> tokenize(std::string_view) { return {Token{}}; }
const PredefinedSymbol* lookup_predefined(std::string_view) { return nullptr; }

void FormulaTranslator::set_tokens(std::vector<Token> tokens) {
    tokens_ = std::move(tokens);
    position_ = 0;
}
const Token& FormulaTranslator::current() const { return tokens_[position_]; }
void FormulaTranslator::advance() {}
TypedText FormulaTranslator::translate_assignment() { return {}; }
TypedText FormulaTranslator::translate_expression() { return {}; }
std::string FormulaTranslator::translate_condition(const std::string&) { return "0"; }
std::string FormulaTranslator::translate_array_size(const std::string&) { return ""; }
TypedText FormulaTranslator::resolve_name(const std::string& name) { return {name}; }
ValueType FormulaTranslator::variable_type(const std::string&) const { return ValueType::unknown; }
TypedText FormulaTranslator::translate_call(const std::string&, const std::vector<TypedText>&) {
    return {};
}
TypedText FormulaTranslator::emit_math_call(const std::string&, const std::vector<TypedText>&) {
    return {};
}
std::string FormulaTranslator::translate_section(const std::string&) { return ""; }
void FormulaTranslator::infer_types(const std::string&) {}
std::string FormulaTranslator::translate_statements(const std::string&) { return ""; }

}  // namespace spirelle
