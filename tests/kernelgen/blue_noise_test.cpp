#include "kernelgen/blue_noise.h"

#include <gtest/gtest.h>

#include <cmath>

namespace spirelle {
namespace {

TEST(BlueNoise, SameSeedSameTableAndSeedsDiffer) {
    EXPECT_EQ(generate_blue_noise(kBlueNoiseSeed0), generate_blue_noise(kBlueNoiseSeed0));
    EXPECT_NE(generate_blue_noise(kBlueNoiseSeed0), generate_blue_noise(kBlueNoiseSeed1));
}

// Every rank 0..4095 occurs once, so byte v occurs as often as there are
// ranks r with r * 255 / 4095 == v.
TEST(BlueNoise, EveryRankOccursOnce) {
    std::array<int, 256> expected{};
    for (int r = 0; r < kBlueNoiseCells; ++r) ++expected[r * 255 / 4095];
    for (uint32_t seed : {kBlueNoiseSeed0, kBlueNoiseSeed1, 1u}) {
        std::array<int, 256> counts{};
        for (uint8_t byte : generate_blue_noise(seed)) ++counts[byte];
        EXPECT_EQ(counts, expected) << "seed " << seed;
    }
}

// Blue noise has little energy at low frequencies: neighbouring cells differ
// much more than in white noise, where the mean absolute difference of two
// uniform bytes is about 85.
TEST(BlueNoise, NeighboursAreDecorrelated) {
    const auto table = generate_blue_noise(kBlueNoiseSeed0);
    double sum = 0;
    for (int y = 0; y < kBlueNoiseSide; ++y) {
        for (int x = 0; x < kBlueNoiseSide; ++x) {
            int right = y * kBlueNoiseSide + (x + 1) % kBlueNoiseSide;
            sum += std::abs(table[y * kBlueNoiseSide + x] - table[right]);
        }
    }
    EXPECT_GT(sum / kBlueNoiseCells, 95.0);
}

// The first bytes of the first table; a change here changes every render.
TEST(BlueNoise, FirstBytesOfSeedZeroTableAreStable) {
    const auto table = generate_blue_noise(kBlueNoiseSeed0);
    const std::vector<int> first(table.begin(), table.begin() + 8);
    EXPECT_EQ(first, (std::vector<int>{12, 210, 88, 56, 194, 94, 10, 163}));
}

}  // namespace
}  // namespace spirelle
