// The preprocessor of block bodies and the section reader of formula entries.
#pragma once

#include <string>

namespace spirelle {

// Evaluates the $ifdef family of directives of one block body.
std::string preprocess(const std::string& text);

}  // namespace spirelle
