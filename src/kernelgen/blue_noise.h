// Blue-noise tables for the per-pixel rotation of the sample sequence,
// computed with the void-and-cluster method from a fixed seed.
#pragma once

#include <array>
#include <cstdint>

namespace spirelle {

constexpr int kBlueNoiseSide = 64;
constexpr int kBlueNoiseCells = kBlueNoiseSide * kBlueNoiseSide;

constexpr uint32_t kBlueNoiseSeed0 = 0x12345678u;
constexpr uint32_t kBlueNoiseSeed1 = 0x87654321u;

// 64 x 64 bytes, row-major, indexed by y * 64 + x; every rank 0..4095 occurs
// once and is scaled to 0..255.
std::array<uint8_t, kBlueNoiseCells> generate_blue_noise(uint32_t seed);

}  // namespace spirelle
