// Block operations of the sample-rate converter: zero-stuffing, decimation
// and two interpolation kernels, as direct-form and polyphase FIRs.
#include "audio/dsp.h"

#include <cstddef>

namespace {

constexpr int TAPS64 = 64;
constexpr int TAPS32 = 32;
constexpr int CENTRE64 = TAPS64 / 2;

// The lower half and centre of the 64-tap kernel, c(1 + c)/2 with
// c = cos(pi(n - 32)/32), as stored (they differ from the formula in the
// last bits). The upper half mirrors it.
constexpr std::array<float, CENTRE64 + 1> fHalf64 = {
    0.0f,         -0.00239605f, -0.00942275f, -0.020602776f, -0.035163075f, -0.052068073f,
    -0.07006395f, -0.08773265f, -0.1035534f,  -0.115969226f, -0.12345597f,  -0.124590926f,
    -0.1181184f,  -0.10300975f, -0.07851505f, -0.0442049f,   0.0f,          0.05381225f,
    0.11657528f,  0.18727492f,  0.26456502f,  0.3468058f,    0.43211424f,   0.51842403f,
    0.6035534f,   0.6852778f,   0.76140565f,  0.8298532f,    0.88871646f,   0.9363376f,
    0.97136253f,  0.9927887f,   1.0f};

constexpr std::array<float, TAPS64> mirrored64() {
    std::array<float, TAPS64> h{};
    for (int n = 0; n < TAPS64; ++n)
        h[static_cast<std::size_t>(n)] =
            fHalf64[static_cast<std::size_t>(n <= CENTRE64 ? n : TAPS64 - n)];
    return h;
}

constexpr std::array<float, TAPS32> everySecond(const std::array<float, TAPS64>& h64) {
    std::array<float, TAPS32> h{};
    for (std::size_t k = 0; k < h.size(); ++k)
        h[k] = h64[2 * k];
    return h;
}

// Forward-looking FIR: output j reads fX[j .. j + N - 1], so no output reads
// a position below its own index and fY may be fX. The float sum is rounded
// after every tap, from tap 0 upwards.
template <int N> void directFir(float* fY, const float* fX, int m, const std::array<float, N>& h) {
    for (int j = 0; j < m; ++j) {
        float fSum = 0.0f;
        for (int i = 0; i < N; ++i)
            fSum += fX[j + i] * h[static_cast<std::size_t>(i)];
        fY[j] = fSum;
    }
}

// The four taps one output phase p uses, for p = 0 .. L-1:
// h[L-1-p], h[2L-1-p], h[3L-1-p], h[4L-1-p].
template <int L, std::size_t N>
constexpr std::array<std::array<float, 4>, L> phases(const std::array<float, N>& h) {
    static_assert(N == 4 * L);
    std::array<std::array<float, 4>, L> taps{};
    for (int p = 0; p < L; ++p)
        for (int b = 0; b < 4; ++b)
            taps[static_cast<std::size_t>(p)][static_cast<std::size_t>(b)] =
                h[static_cast<std::size_t>((b + 1) * L - 1 - p)];
    return taps;
}

// Interpolation by L on an input zero-stuffed by L: only fX[j], fX[j + L],
// fX[j + 2L], fX[j + 3L] are read for the block of L outputs starting at j.
// The four inputs are read before the block is stored, and the later three
// lie beyond it, so fY may be fX. Each output is the four products summed
// in order and rounded to float once, on store; the products of two floats
// are exact in double.
template <int L>
void polyphaseFir(float* fY, const float* fX, int m,
                  const std::array<std::array<float, 4>, L>& taps) {
    for (int j = 0; j < m; j += L) {
        const double x0 = fX[j];
        const double x1 = fX[j + L];
        const double x2 = fX[j + 2 * L];
        const double x3 = fX[j + 3 * L];
        for (int p = 0; p < L; ++p) {
            const auto& t = taps[static_cast<std::size_t>(p)];
            fY[j + p] = static_cast<float>(x0 * t[0] + x1 * t[1] + x2 * t[2] + x3 * t[3]);
        }
    }
}

} // namespace

const std::array<float, 64> fC64 = mirrored64();
const std::array<float, 32> fC32 = everySecond(mirrored64());

namespace {

constexpr auto taps64L16 = phases<16>(mirrored64());
constexpr auto taps32L8 = phases<8>(everySecond(mirrored64()));

} // namespace

void upsample(float* fY, const float* fX, int m, int l) {
    for (int k = 0; k < m; ++k) {
        fY[k * l] = fX[k];
        for (int r = 1; r < l; ++r)
            fY[k * l + r] = 0.0f;
    }
}

void decimate(float* fY, const float* fX, int m, int n) {
    for (int k = 0; k * n < m; ++k)
        fY[k] = fX[k * n];
}

void firN64(float* fY, const float* fX, int m) {
    directFir<TAPS64>(fY, fX, m, fC64);
}

void firN32(float* fY, const float* fX, int m) {
    directFir<TAPS32>(fY, fX, m, fC32);
}

void polyphaseFirN64L16(float* fY, const float* fX, int m) {
    polyphaseFir<16>(fY, fX, m, taps64L16);
}

void polyphaseFirN32L8(float* fY, const float* fX, int m) {
    polyphaseFir<8>(fY, fX, m, taps32L8);
}
