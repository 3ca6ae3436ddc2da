// Compressed block bodies.
//
// After optional blank and comment lines, the marker "::" introduces a
// payload in the base64 alphabet whose bits are packed little-endian: four
// characters v0..v3 form v0 + v1*2^6 + v2*2^12 + v3*2^18, written out low
// byte first. The decoded bytes are a four-byte header, which is skipped, and
// a zlib stream holding the block's real text.
#include "scene/compressed.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace spirelle {

namespace {

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    throw std::runtime_error("invalid base64 character in compressed block");
}

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Position of the "::" marker after the lead-in, or npos when the body is
// not compressed.
size_t find_marker(const std::string& body) {
    size_t i = 0;
    for (;;) {
        while (i < body.size() && is_space(body[i])) ++i;
        if (i >= body.size() || body[i] != ';') break;
        size_t nl = body.find('\n', i);
        i = nl == std::string::npos ? body.size() : nl;
    }
    if (body.compare(i, 2, "::") == 0) return i;
    return std::string::npos;
}

std::string collect_payload(const std::string& body, size_t from) {
    std::string payload;
    for (size_t i = from; i < body.size(); ++i) {
        char c = body[i];
        if (c == ';') {
            size_t nl = body.find('\n', i);
            if (nl == std::string::npos) break;
            i = nl;
        } else if (!is_space(c)) {
            payload += c;
        }
    }
    return payload;
}

std::string inflate_payload(const std::vector<uint8_t>& bytes) {
    z_stream stream{};
    stream.next_in = const_cast<Bytef*>(bytes.data() + 4);
    stream.avail_in = static_cast<uInt>(std::min<size_t>(bytes.size() - 4, UINT32_MAX));
    if (inflateInit(&stream) != Z_OK) throw std::runtime_error("zlib inflateInit failed");

    std::string out(std::min(bytes.size() * 12, kMaxInflatedSize), '\0');
    int rc;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data()) + stream.total_out;
        stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
        rc = inflate(&stream, Z_NO_FLUSH);
        if (rc != Z_OK) break;
        if (stream.avail_out == 0) {
            if (out.size() >= kMaxInflatedSize) {
                inflateEnd(&stream);
                throw std::runtime_error("compressed block too large");
            }
            out.resize(std::min(out.size() * 2, kMaxInflatedSize), '\0');
        }
    }
    if (rc != Z_STREAM_END) {
        inflateEnd(&stream);
        throw std::runtime_error("zlib inflate failed (rc=" + std::to_string(rc) + ")");
    }
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

}  // namespace

std::vector<uint8_t> decode_base64_variant(const std::string& payload) {
    size_t length = payload.find_last_not_of('=');
    length = length == std::string::npos ? 0 : length + 1;

    std::vector<uint8_t> bytes;
    bytes.reserve(length / 4 * 3 + 2);
    size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        uint32_t n = base64_value(payload[i]) | base64_value(payload[i + 1]) << 6 |
                     base64_value(payload[i + 2]) << 12 | base64_value(payload[i + 3]) << 18;
        bytes.push_back(static_cast<uint8_t>(n));
        bytes.push_back(static_cast<uint8_t>(n >> 8));
        bytes.push_back(static_cast<uint8_t>(n >> 16));
    }
    uint32_t n = 0;
    size_t remainder = length - i;
    for (size_t k = 0; k < remainder; ++k) n |= base64_value(payload[i + k]) << (6 * k);
    if (remainder >= 2) bytes.push_back(static_cast<uint8_t>(n));
    if (remainder == 3) bytes.push_back(static_cast<uint8_t>(n >> 8));
    return bytes;
}

std::string decompress_block(const std::string& body) {
    size_t marker = find_marker(body);
    if (marker == std::string::npos) return body;
    std::vector<uint8_t> bytes = decode_base64_variant(collect_payload(body, marker + 2));
    if (bytes.size() < 5) throw std::runtime_error("compressed block too short");
    return inflate_payload(bytes);
}

}  // namespace spirelle
