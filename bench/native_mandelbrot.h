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

// Seconds to render the work on `threads` threads, one float per lane in
// plain loops or in vectors of the widest kind the compiler targets (16
// floats with AVX-512). `checksum` receives the sum of all samples, so that
// the two loops can be seen to do the same work.
double native_mandelbrot_seconds(const MandelbrotWork& work, bool vectorised, int threads,
                                 double& checksum);

// Lanes of the vectorised loop.
int native_vector_lanes();

}  // namespace spirelle
