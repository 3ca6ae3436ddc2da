#include "formula/preprocess.h"

#include <gtest/gtest.h>

namespace spirelle {
namespace {

TEST(Preprocess, Table) {
    struct Case {
        const char* what;
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"plain lines keep blanks and carriage returns", "  a\r\nb", "  a\r\nb\n"},
        {"empty lines are kept", "a\n\nb\n", "a\n\nb\n"},
        {"predefined symbol", "$ifdef VER50\nx\n$endif\n", "x\n"},
        {"undefined symbol", "$ifdef VER70\nx\n$else\ny\n$endif\n", "y\n"},
        {"defined earlier in the body", "$define VER70\n$ifdef VER70\nx\n$endif\n", "x\n"},
        {"undef removes a symbol", "$undef VER50\n$ifdef VER50\nx\n$endif\ny", "y\n"},
        {"ifndef of a predefined symbol", "$ifndef VER30\nx\n$else\ny\n$endif", "y\n"},
        {"directive keywords ignore case", "$IFDEF VER50\nx\n$ENDIF\n", "x\n"},
        {"symbols keep their case", "$ifdef ver50\nx\n$endif\n", ""},
        {"tab after the keyword is no directive", "$ifdef\tVER70\nx\n$endif\n", "x\n"},
        {"else with a comment is no directive", "$ifdef VER70\nx\n$else ; c\ny\n$endif\n", ""},
        {"indented directives", "  $ifdef VER70\nx\n  $endif  \ny", "y\n"},
        {"nested: inner true inside false", "$ifdef A\n$ifdef VER40\nx\n$endif\n$else\ny\n$endif\n",
         "y\n"},
        {"nested: else inside a dead branch stays dead",
         "$ifdef A\n$ifdef B\nx\n$else\ny\n$endif\n$endif\nz", "z\n"},
        {"define inside a dead branch has no effect",
         "$ifdef A\n$define B\n$endif\n$ifdef B\nx\n$endif\n", ""},
        {"unbalanced else and endif are ignored", "$else\nx\n$endif\ny", "x\ny\n"},
        {"an unclosed ifdef governs the rest", "a\n$ifdef A\nb\nc", "a\n"},
        {"unknown directives vanish", "$foo\nx\n$", "x\n"},
        {"empty text", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(preprocess(c.in), c.out) << c.what;
}

TEST(Preprocess, SymbolsDoNotLeakBetweenBodies) {
    EXPECT_EQ(preprocess("$define X\n$undef VER50\n$ifdef X\n"), "");
    EXPECT_EQ(preprocess("$ifdef VER50\nkept\n$endif\n$ifdef X\nlost\n$endif\n"), "kept\n");
}

}  // namespace
}  // namespace spirelle
