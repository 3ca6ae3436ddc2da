// Compressed block bodies: "::" followed by a zlib stream in a base64 variant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace spirelle {

// The decompressed text of a compressed body; any other body unchanged.
std::string decompress_block(const std::string& body);

// Decodes the payload alphabet with its little-endian bit order.
std::vector<uint8_t> decode_base64_variant(const std::string& payload);

// Largest text a compressed block may inflate to.
constexpr size_t kMaxInflatedSize = size_t{256} << 20;

}  // namespace spirelle
