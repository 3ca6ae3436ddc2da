// Void-and-cluster on a 64 x 64 torus: a Gaussian energy field marks how
// crowded each cell is; the tightest cluster and the largest void decide
// which point moves, which point is ranked next and where the next one goes.
#include "kernelgen/blue_noise.h"

#include <cmath>
#include <vector>

namespace spirelle {
namespace {

struct KernelEntry {
    int dx;
    int dy;
    double weight;
};

// Gaussian with sigma 1.5 (2 sigma^2 = 4.5) out to radius 5, dropping
// weights that no longer matter.
std::vector<KernelEntry> energy_kernel() {
    std::vector<KernelEntry> entries;
    for (int dy = -5; dy <= 5; ++dy) {
        for (int dx = -5; dx <= 5; ++dx) {
            double w = std::exp(-(dx * dx + dy * dy) / 4.5);
            if (w > 1e-4) entries.push_back({dx, dy, w});
        }
    }
    return entries;
}

class VoidAndCluster {
  public:
    VoidAndCluster()
        : kernel_(energy_kernel()),
          energy_(kBlueNoiseCells, 0.0),
          occupied_(kBlueNoiseCells, false) {}

    void place(int i) {
        spread(i, 1.0);
        occupied_[i] = true;
    }
    void lift(int i) {
        spread(i, -1.0);
        occupied_[i] = false;
    }
    bool occupied(int i) const { return occupied_[i]; }

    // Unoccupied cell of least energy, lowest index on ties; -1 when full.
    int find_void() const {
        int best = -1;
        for (int i = 0; i < kBlueNoiseCells; ++i) {
            if (!occupied_[i] && (best < 0 || energy_[i] < energy_[best])) best = i;
        }
        return best;
    }
    // Occupied cell of greatest energy, lowest index on ties.
    int find_cluster() const {
        int best = -1;
        for (int i = 0; i < kBlueNoiseCells; ++i) {
            if (occupied_[i] && (best < 0 || energy_[i] > energy_[best])) best = i;
        }
        return best;
    }

    struct Snapshot {
        std::vector<double> energy;
        std::vector<bool> occupied;
    };
    Snapshot save() const { return {energy_, occupied_}; }
    void restore(const Snapshot& s) {
        energy_ = s.energy;
        occupied_ = s.occupied;
    }

  private:
    void spread(int i, double sign) {
        int x = i % kBlueNoiseSide, y = i / kBlueNoiseSide;
        for (const KernelEntry& k : kernel_) {
            int cx = (x + k.dx + kBlueNoiseSide) % kBlueNoiseSide;
            int cy = (y + k.dy + kBlueNoiseSide) % kBlueNoiseSide;
            energy_[cy * kBlueNoiseSide + cx] += sign * k.weight;
        }
    }

    std::vector<KernelEntry> kernel_;
    std::vector<double> energy_;
    std::vector<bool> occupied_;
};

uint32_t xorshift(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

}  // namespace

std::array<uint8_t, kBlueNoiseCells> generate_blue_noise(uint32_t seed) {
    constexpr int initial = kBlueNoiseCells / 10;
    VoidAndCluster field;
    std::vector<int> rank(kBlueNoiseCells, 0);
    uint32_t state = seed;

    // A few random seeds, then each further point into the largest void.
    for (int k = 0; k < initial; ++k) {
        int d = k >= 4 ? field.find_void() : -1;
        while (d < 0) {
            int candidate = static_cast<int>(xorshift(state) & 0xFFF);
            if (!field.occupied(candidate)) d = candidate;
        }
        field.place(d);
    }

    // Move the tightest point into the largest void until it stays put.
    for (int round = 0; round < 2 * initial; ++round) {
        int c = field.find_cluster();
        field.lift(c);
        int v = field.find_void();
        field.place(v);
        if (v == c) break;
    }

    // Rank the initial points by removing the tightest one first.
    VoidAndCluster::Snapshot snapshot = field.save();
    for (int r = initial - 1; r >= 0; --r) {
        int c = field.find_cluster();
        rank[c] = r;
        field.lift(c);
    }
    field.restore(snapshot);

    for (int r = initial; r < kBlueNoiseCells; ++r) {
        int v = field.find_void();
        rank[v] = r;
        field.place(v);
    }

    std::array<uint8_t, kBlueNoiseCells> bytes{};
    for (int i = 0; i < kBlueNoiseCells; ++i) {
        bytes[i] = static_cast<uint8_t>(rank[i] * 255 / (kBlueNoiseCells - 1));
    }
    return bytes;
}

}  // namespace spirelle
