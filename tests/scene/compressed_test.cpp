#include "scene/compressed.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>

namespace spirelle {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Encodes bytes in the little-endian base64 variant of compressed blocks.
std::string encode_variant(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = bytes[i];
        size_t chars = 2;
        if (i + 1 < bytes.size()) n |= bytes[i + 1] << 8, chars = 3;
        if (i + 2 < bytes.size()) n |= bytes[i + 2] << 16, chars = 4;
        for (size_t k = 0; k < chars; ++k) out += kAlphabet[(n >> (6 * k)) & 63];
    }
    return out;
}

std::vector<uint8_t> zlib_payload(const std::string& text) {
    uLongf size = compressBound(text.size());
    std::vector<uint8_t> bytes(4 + size, 0xAB);
    compress(bytes.data() + 4, &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
    bytes.resize(4 + size);
    return bytes;
}

std::string compressed_body(const std::string& text) {
    return "\n; saved by hand\n  ::" + encode_variant(zlib_payload(text)) + "\n";
}

std::string error_of(const std::string& body) {
    try {
        decompress_block(body);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

TEST(DecodeBase64Variant, LittleEndianBitOrder) {
    EXPECT_EQ(decode_base64_variant("AAAA"), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(decode_base64_variant("/AAA"), (std::vector<uint8_t>{0x3F, 0, 0}));
    EXPECT_EQ(decode_base64_variant("BA=="), (std::vector<uint8_t>{1}));
    EXPECT_EQ(decode_base64_variant("BBA"), (std::vector<uint8_t>{0x41, 0}));
    EXPECT_EQ(decode_base64_variant("AAAAB"), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(DecompressBlock, RoundTrip) {
    const std::string text = "layer:\nmapping:\ncenter=-0.5/0\n";
    EXPECT_EQ(decompress_block(compressed_body(text)), text);
}

TEST(DecompressBlock, BlanksAndCommentsInPayloadDoNotMatter) {
    const std::string text = "fractal:\nwidth=64 height=48\n";
    std::string payload = encode_variant(zlib_payload(text));
    std::string spread;
    for (size_t i = 0; i < payload.size(); ++i) {
        spread += payload[i];
        if (i % 7 == 3) spread += "\n ; comment\n\t";
        if (i % 5 == 1) spread += ' ';
    }
    EXPECT_EQ(decompress_block("::" + spread + "=="), text);
}

TEST(DecompressBlock, UncompressedBodiesPassThrough) {
    const char* bodies[] = {"", "layer:\n", " :x", "a ::AAAA", "; only a comment"};
    for (const char* body : bodies) EXPECT_EQ(decompress_block(body), body) << body;
}

TEST(DecompressBlock, Failures) {
    std::vector<uint8_t> truncated = zlib_payload(std::string(200, 'x') + "tail");
    truncated.resize(truncated.size() - 6);
    std::vector<uint8_t> corrupt = {0, 0, 0, 0, 0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::pair<std::string, const char*> cases[] = {
        {"::AA*A", "invalid base64 character in compressed block"},
        {"::AAAAAAA*", "invalid base64 character in compressed block"},
        {"::AAAAAA", "compressed block too short"},
        {"::" + encode_variant(truncated), "zlib inflate failed (rc=-5)"},
        {"::" + encode_variant(corrupt), "zlib inflate failed (rc=-3)"},
    };
    for (const auto& [body, message] : cases) EXPECT_EQ(error_of(body), message) << body;
}

TEST(DecompressBlock, GrowsBufferForHighlyCompressibleText) {
    const std::string text(1 << 20, 'z');
    EXPECT_EQ(decompress_block(compressed_body(text)), text);
}

TEST(DecompressBlock, RefusesToInflatePastLimit) {
    // A few hundred kilobytes of zeros inflate beyond the limit.
    z_stream s{};
    deflateInit(&s, 9);
    std::vector<uint8_t> out(4, 0);
    std::vector<uint8_t> chunk(1 << 20, 0);
    std::vector<uint8_t> buffer(1 << 16);
    size_t remaining = kMaxInflatedSize + (1 << 20);
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        size_t n = std::min(remaining, chunk.size());
        remaining -= n;
        flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
        s.next_in = chunk.data();
        s.avail_in = static_cast<uInt>(n);
        do {
            s.next_out = buffer.data();
            s.avail_out = static_cast<uInt>(buffer.size());
            deflate(&s, flush);
            out.insert(out.end(), buffer.data(), buffer.data() + buffer.size() - s.avail_out);
        } while (s.avail_out == 0);
    }
    deflateEnd(&s);
    EXPECT_EQ(error_of("::" + encode_variant(out)), "compressed block too large");
}

}  // namespace
}  // namespace spirelle
