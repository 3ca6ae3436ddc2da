// Compiled for the build machine's own instruction set (see CMakeLists.txt),
// with GCC's vector extensions for the vectorised loop: a vector of floats
// per run of adjacent pixels, a mask per lane, the loop ending when no lane
// iterates any more, as the wide program's loop does.
#include "native_mandelbrot.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#ifdef __AVX512F__
#include <immintrin.h>
#endif

namespace spirelle {
namespace {

#if defined(__AVX512F__)
constexpr int kLanes = 16;
#elif defined(__AVX__)
constexpr int kLanes = 8;
#else
constexpr int kLanes = 4;
#endif

typedef float floats __attribute__((vector_size(kLanes * sizeof(float))));
typedef int ints __attribute__((vector_size(kLanes * sizeof(int))));

bool any_lane(ints mask) {
#if defined(__AVX512F__)
    return _mm512_test_epi32_mask(reinterpret_cast<__m512i>(mask),
                                  reinterpret_cast<__m512i>(mask)) != 0;
#else
    for (int l = 0; l < kLanes; ++l) {
        if (mask[l]) return true;
    }
    return false;
#endif
}

float tent(float u) {
    return u < 0.5f ? std::sqrt(2.0f * u) - 1.0f : 1.0f - std::sqrt(2.0f - 2.0f * u);
}

struct Offset {
    float x, y;
};

// The sample offsets of the R2 sequence, the same for every pixel.
std::vector<Offset> offsets(int samples) {
    std::vector<Offset> out;
    for (int i = 0; i < samples; ++i) {
        float r2x = 0.5f + i * 0.7548776662466927f;
        r2x -= std::floor(r2x);
        float r2y = 0.5f + i * 0.5698402909980532f;
        r2y -= std::floor(r2y);
        out.push_back({tent(r2x), tent(r2y)});
    }
    return out;
}

double scalar_rows(const MandelbrotWork& w, const std::vector<Offset>& samples, int first,
                   int step) {
    double sum = 0;
    const float pixel = static_cast<float>(w.pixel_size);
    for (int y = first; y < w.height; y += step) {
        for (int x = 0; x < w.width; ++x) {
            for (const Offset& o : samples) {
                float cr = static_cast<float>(w.center_re) + (x + o.x - w.width * 0.5f) * pixel;
                float ci = static_cast<float>(w.center_im) - (y + o.y - w.height * 0.5f) * pixel;
                float zr = 0, zi = 0;
                int iter = 0;
                while (iter < w.maxiter) {
                    float t = zr * zr - zi * zi + cr;
                    zi = 2.0f * zr * zi + ci;
                    zr = t;
                    if (!(zr * zr + zi * zi <= 4.0f)) break;
                    ++iter;
                }
                sum += iter >= w.maxiter ? 0.0 : static_cast<double>(iter) / w.maxiter;
            }
        }
    }
    return sum;
}

// With Chains = 2, two samples of the same run of pixels iterate side by
// side: one vector's iteration is a chain of dependent multiplications, and
// a second, independent chain fills the cycles in which the first waits.
template <int kChains>
double vector_rows(const MandelbrotWork& w, const std::vector<Offset>& samples, int first,
                   int step) {
    double sum = 0;
    const float pixel = static_cast<float>(w.pixel_size);
    const int count = static_cast<int>(samples.size());
    floats lane;
    for (int l = 0; l < kLanes; ++l) lane[l] = static_cast<float>(l);
    const floats zero = {};
    for (int y = first; y < w.height; y += step) {
        for (int x = 0; x < w.width; x += kLanes) {
            ints inside_image;
            for (int l = 0; l < kLanes; ++l) inside_image[l] = x + l < w.width ? -1 : 0;
            for (int s = 0; s < count; s += kChains) {
                floats cr[kChains], ci[kChains], zr[kChains] = {}, zi[kChains] = {};
                ints iter[kChains] = {}, active[kChains];
                for (int k = 0; k < kChains; ++k) {
                    // A chain past the last sample has no lane active.
                    const Offset o = samples[std::min(s + k, count - 1)];
                    cr[k] = static_cast<float>(w.center_re) +
                            (static_cast<float>(x) + lane + o.x - w.width * 0.5f) * pixel;
                    ci[k] = zero + (static_cast<float>(w.center_im) -
                                    (y + o.y - w.height * 0.5f) * pixel);
                    active[k] = s + k < count ? inside_image : ints{};
                }
                for (int n = 0; n < w.maxiter; ++n) {
                    ints any = {};
                    for (int k = 0; k < kChains; ++k) {
                        floats t = zr[k] * zr[k] - zi[k] * zi[k] + cr[k];
                        zi[k] = 2.0f * zr[k] * zi[k] + ci[k];
                        zr[k] = t;
                        active[k] &= zr[k] * zr[k] + zi[k] * zi[k] <= 4.0f;
                        iter[k] -= active[k];
                        any |= active[k];
                    }
                    if (!any_lane(any)) break;
                }
                for (int k = 0; k < kChains && s + k < count; ++k) {
                    for (int l = 0; l < kLanes; ++l) {
                        if (!inside_image[l]) continue;
                        sum += iter[k][l] >= w.maxiter
                                   ? 0.0
                                   : static_cast<double>(iter[k][l]) / w.maxiter;
                    }
                }
            }
        }
    }
    return sum;
}

}  // namespace

int native_vector_lanes() { return kLanes; }

double native_mandelbrot_seconds(const MandelbrotWork& work, NativeLoop loop, int threads,
                                 double& checksum) {
    const std::vector<Offset> samples = offsets(work.samples);
    std::vector<double> sums(threads, 0.0);
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            switch (loop) {
                case NativeLoop::scalar:
                    sums[t] = scalar_rows(work, samples, t, threads);
                    break;
                case NativeLoop::vectorised:
                    sums[t] = vector_rows<1>(work, samples, t, threads);
                    break;
                case NativeLoop::vectorised_two_chains:
                    sums[t] = vector_rows<2>(work, samples, t, threads);
                    break;
            }
        });
    }
    for (std::thread& thread : pool) thread.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    checksum = 0;
    for (double sum : sums) checksum += sum;
    return seconds;
}

}  // namespace spirelle
