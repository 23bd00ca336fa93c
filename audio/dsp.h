// Block operations of the sample-rate converter. Buffers belong to the
// caller; nothing is allocated and no state is kept between calls.
#pragma once

#include <array>

extern const std::array<float, 64> fC64; // kernel for interpolation by 16
extern const std::array<float, 32> fC32; // kernel for interpolation by 8

void upsample(float* fY, const float* fX, int m, int l);
void decimate(float* fY, const float* fX, int m, int n);
void firN64(float* fY, const float* fX, int m);
void firN32(float* fY, const float* fX, int m);
// In-place safe: fY may be fX.
void polyphaseFirN64L16(float* fY, const float* fX, int m);
void polyphaseFirN32L8(float* fY, const float* fX, int m);
