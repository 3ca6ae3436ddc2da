// Checks on text that comes from scene and formula files before it is
// written into a kernel. Such text is compiled by the OpenCL compiler, whose
// preprocessor reads files, so only literals that are checked to be what
// they claim, and comments of one printable line, get through.
#pragma once

#include <string>

namespace spirelle {

// A letter or underscore followed by letters, digits and underscores.
bool is_plain_identifier(const std::string& text);

// A decimal number as C writes it: an optional sign, digits with an optional
// point (or a point with digits), and an optional exponent.
bool is_decimal_number(const std::string& text);

// The text with everything but printable ASCII removed, so that it stays on
// one comment line; backslashes go too, since one at the end of a comment
// would join the following line to it, and so does every "?" that follows
// another, which leaves no "??/" trigraph.
std::string comment_text(const std::string& text);

}  // namespace spirelle
