// OpenCL text shared by the hand-written programs that check the engine
// (tests/engine) and measure the generated program against (bench): the
// imaging kernel, which every program ends with, as the engine drives it.
#pragma once

namespace spirelle {

inline constexpr const char* kReferenceImagingKernel = R"CL(
__kernel void imaging(
    __global const float4 * accum_buf, __global uchar4 * output,
    const int width, const int height, const float inv_samples,
    const float exposure, const float contrast
) {
    int gx = get_global_id(0), gy = get_global_id(1);
    if (gx >= width || gy >= height) return;
    int pixel = gy * width + gx;
    float3 c = accum_buf[pixel].xyz * (inv_samples * exposure);
    c = (c - (float3)(0.18f)) * contrast + (float3)(0.18f);
    output[pixel] = convert_uchar4_sat((float4)(c, 1.0f) * 255.0f);
}
)CL";

}  // namespace spirelle
