// The preprocessor of block bodies: the $ifdef family of directives.
#pragma once

#include <string>

namespace spirelle {

// Evaluates the directives of one block body and returns the lines that stay,
// each ending in one line feed. Every body starts with the symbols VER30,
// VER40, VER50 and VER60 defined; symbols are case-sensitive, directive
// keywords are not. Unbalanced directives are ignored, never rejected.
std::string preprocess(const std::string& text);

}  // namespace spirelle
