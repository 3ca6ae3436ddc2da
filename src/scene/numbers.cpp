// Number readers shared by the parameter-set and gradient readers. They follow
// the C library's conversions: reading stops at the first character that is
// not part of the number, and no digits at all is an invalid argument.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "scene/reader.h"

namespace spirelle {

namespace {

// Skips blanks and one double quote, and cuts a keyframed value at "@#".
std::string prepare_number(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return {};
    if (text[start] == '"') ++start;
    std::string rest = text.substr(start);
    if (rest.size() > 1) {
        size_t marker = rest.find("@#");
        if (marker != std::string::npos) rest.resize(marker);
    }
    return rest;
}

int32_t convert_int(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin) throw std::runtime_error("invalid stoi argument");
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        throw std::runtime_error("stoi argument out of range");
    }
    return static_cast<int32_t>(value);
}

}  // namespace

int32_t read_plain_int(const std::string& text) { return convert_int(text); }

int32_t read_int(const std::string& text) { return convert_int(prepare_number(text)); }

uint32_t read_uint(const std::string& text) {
    std::string prepared = prepare_number(text);
    const char* begin = prepared.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(begin, &end, 10);
    if (end == begin) throw std::runtime_error("invalid stoul argument");
    // strtoul negates a leading minus in its own width; measure the magnitude
    // so that "-1" wraps to the largest 32-bit value as it would in 32 bits.
    size_t sign = prepared.find_first_not_of(" \t\n\v\f\r");
    bool negative = sign != std::string::npos && prepared[sign] == '-';
    unsigned long magnitude = negative ? 0UL - value : value;
    if (errno == ERANGE || magnitude > std::numeric_limits<uint32_t>::max()) {
        throw std::runtime_error("stoul argument out of range");
    }
    return static_cast<uint32_t>(value);
}

double read_double(const std::string& text) {
    std::string prepared = prepare_number(text);
    const char* begin = prepared.c_str();
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(begin, &end);
    if (end == begin) throw std::runtime_error("invalid stod argument");
    if (errno == ERANGE) throw std::runtime_error("stod argument out of range");
    return value;
}

}  // namespace spirelle
