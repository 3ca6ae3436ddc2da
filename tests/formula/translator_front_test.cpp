#include <gtest/gtest.h>

#include "formula/translator.h"

namespace spirelle {
namespace {

// Tokens written as "kind:text", imaginary numbers with a trailing "i".
std::string describe(const std::vector<Token>& tokens) {
    static const char* kNames[] = {"num", "id", "op", "(", ")", "[", "]", "|", ",", "^", "end"};
    std::string out;
    for (const Token& token : tokens) {
        if (!out.empty()) out += " ";
        out += kNames[static_cast<int>(token.kind)];
        if (!token.text.empty() && token.kind != TokenKind::lparen &&
            token.kind != TokenKind::rparen && token.kind != TokenKind::lbracket &&
            token.kind != TokenKind::rbracket && token.kind != TokenKind::bar &&
            token.kind != TokenKind::comma && token.kind != TokenKind::caret) {
            out += ":" + token.text;
        }
        if (token.imaginary) out += "i";
    }
    return out;
}

struct TokenCase {
    const char* name;
    const char* text;
    const char* tokens;
};

TEST(Tokenize, Table) {
    const TokenCase cases[] = {
        {"exponent sign stays in the number", "1e-5+2E+3", "num:1e-5 op:+ num:2E+3 end"},
        {"imaginary number", "3i", "num:3i end"},
        {"i followed by a letter is an identifier", "2if", "num:2 id:if end"},
        {"i followed by underscore is an identifier", "2i_", "num:2 id:i_ end"},
        {"leading point starts a number", ".5i*x", "num:.5i op:* id:x end"},
        {"lone point is dropped", "z.x", "id:z id:x end"},
        {"names are lower-cased", "#Pixel + @Power", "id:#pixel op:+ id:@power end"},
        {"continue is renamed", "Continue", "id:_fl_continue end"},
        {"two-character operators", "a<=b||c&&d!=e>=f==g",
         "id:a op:<= id:b op:|| id:c op:&& id:d op:!= id:e op:>= id:f op:== id:g end"},
        {"lone ampersand is dropped", "a & b", "id:a id:b end"},
        {"punctuation kinds", "(a[1], |b|^2)", "( id:a [ num:1 ] , | id:b | ^ num:2 ) end"},
        {"unknown characters vanish", "\"x\" : $ ~ ; y", "id:x id:y end"},
        {"empty text has only the end", "  \t", "end"},
        {"single operators", "!%*+-/<=>", "op:! op:% op:* op:+ op:- op:/ op:<= op:> end"},
    };
    for (const TokenCase& c : cases) {
        EXPECT_EQ(describe(tokenize(c.text)), c.tokens) << c.name;
    }
}

struct NormalizeCase {
    const char* name;
    const char* section;
    const char* normalized;
};

TEST(NormalizeStatements, Table) {
    const NormalizeCase cases[] = {
        {"comment is cut", "  z = z^2 + c ; comment\n", "z = z^2 + c\n"},
        {"semicolon cuts even inside quotes", "s = \"a;b\"", "s = \"a\n"},
        {"chained assignment", "x = y = z = 1", "x = 1\ny = 1\nz = 1\n"},
        {"comparisons are not assignments", "a == b\na <= b\nb = a != 1",
         "a == b\na <= b\nb = a != 1\n"},
        {"chained assignment inside brackets is not split", "v[i = 1] = 2", "v[i = 1] = 2\n"},
        {"empty chained targets are skipped", "= a = 3", "a = 3\n"},
        {"declaration list", "float a = 1, b", "float a = 1\nfloat b\n"},
        {"complex literal does not split", "complex a = (1, 2), b",
         "complex a = (1, 2)\ncomplex b\n"},
        {"keyword keeps its spelling", "Color p, q", "Color p\nColor q\n"},
        {"other comma lines stay whole", "x = atan2(y, 1), 2", "x = atan2(y, 1), 2\n"},
        {"empty lines stay", "a = 1\n\n  \nb = 2", "a = 1\n\n\nb = 2\n"},
        {"stray closer does not unbalance", "x) = 1, 2", "x) = 1, 2\n"},
        {"crlf line ends", "a = 1\r\nb = 2\r\n", "a = 1\nb = 2\n"},
    };
    for (const NormalizeCase& c : cases) {
        EXPECT_EQ(normalize_statements(c.section), c.normalized) << c.name;
    }
}

TEST(FormulaTranslator, ReadingPastTheEndKeepsReturningEnd) {
    FormulaTranslator translator;
    translator.set_tokens(tokenize("a"));
    translator.advance();
    translator.advance();
    EXPECT_EQ(translator.current().kind, TokenKind::end);
    translator.set_tokens({});
    EXPECT_EQ(translator.current().kind, TokenKind::end);
}

}  // namespace
}  // namespace spirelle
