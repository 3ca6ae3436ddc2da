// The Mandelbrot work of the efficiency scene written natively in C++, as
// the ceiling that a CPU device's program is measured against: the same
// samples (R2 sequence and tent filter, no blue noise), the same iteration
// and bailout, the iteration count as the sample's grey.
#pragma once

namespace spirelle {

struct MandelbrotWork {
    int width = 512;
    int height = 512;
    double center_re = 0;
    double center_im = 0;
    double pixel_size = 0;
    int maxiter = 1000;
    int samples = 16;
};

enum class NativeLoop {
    scalar,      // one sample at a time in plain loops
    vectorised,  // a vector of adjacent pixels, as the wide program iterates
    // two samples' vectors iterating side by side, which hides the latency
    // of the multiplications: the machine's ceiling for this work
    vectorised_two_chains,
};

// Seconds to render the work on `threads` threads, in vectors of the widest
// kind the compiler targets (16 floats with AVX-512) unless the loop is
// scalar. `checksum` receives the sum of all samples, so that the loops can
// be seen to do the same work.
double native_mandelbrot_seconds(const MandelbrotWork& work, NativeLoop loop, int threads,
                                 double& checksum);

// Lanes of the vectorised loop.
int native_vector_lanes();

}  // namespace spirelle
