// Text helpers shared by the parameter-file readers and the formula readers.
#pragma once

#include <string>

namespace spirelle {

// Lower-cases ASCII letters.
std::string to_lower(std::string text);

// Removes space, tab, carriage return and line feed at both ends.
std::string trim(const std::string& text);

}  // namespace spirelle
