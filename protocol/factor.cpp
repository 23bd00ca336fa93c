// Divider values of the receiver's frequency synthesizer: N * XTAL / R
// should come within 5 Hz of f + MIXER.
#include "protocol/factor.h"

#include "platform/types.h"

#include <cstdint>

namespace {

constexpr int STEP2500 = 2500;
constexpr int STEP1250 = 1250;
constexpr int STEP1000 = 1000;
constexpr int MAX_F1000 = 20535000; // keeps N within 16 bits on the 1000 Hz grid
constexpr int RMIN = R2500;
constexpr int RMAX = 32767;
constexpr int NMIN = 40;
constexpr int NMAX = 65534;
constexpr double dXtal = XTAL;
constexpr double dTolStep = 0.1;
constexpr double dTolMax = 5.0;

// The synthesizer target in 64 bits, so that no frequency overflows it.
std::int64_t target(int f) {
    return std::int64_t{f} + MIXER;
}

int ncalc(int f, int step) {
    return static_cast<int>(target(f) / step);
}

// One search pass: the first R, ascending, whose nearest N gives an error
// strictly below dTol.
BOOL solve(int f, int* pR, int* pN, double dTol) {
    const std::int64_t vco = target(f);
    const double dVco = static_cast<double>(vco);
    const int rmin = RMIN;
    std::int64_t rmax = (std::int64_t{NMAX} * XTAL) / vco;
    if (rmax >= RMAX)
        rmax = RMAX;
    for (int r = rmin; r <= rmax; ++r) {
        const double dStep = dXtal / r;
        const int n = static_cast<int>(dVco / dStep + 0.5);
        if (n < NMIN || n > NMAX)
            continue;
        double dError = dVco - dStep * n;
        if (dError < 0)
            dError = -dError;
        if (dTol > dError) {
            *pR = r;
            *pN = n;
            return TRUE;
        }
    }
    return FALSE;
}

} // namespace

int factor(int f, int* pR, int* pN) {
    // No synthesizer target at or below zero: nothing to divide.
    if (target(f) <= 0)
        return FALSE;
    if (f % STEP2500 == 0) {
        *pR = R2500;
        *pN = ncalc(f, STEP2500);
        return TRUE;
    }
    if (f % STEP1250 == 0) {
        *pR = R1250;
        *pN = ncalc(f, STEP1250);
        return TRUE;
    }
    if (f <= MAX_F1000 && f % STEP1000 == 0) {
        *pR = R1000;
        *pN = ncalc(f, STEP1000);
        return TRUE;
    }
    // The tolerance grows by repeated addition, so the values tried are
    // the running sums 0.0, 0.1, 0.2, ... up to just below 5.0.
    for (double dTol = 0.0; dTol <= dTolMax; dTol += dTolStep)
        if (solve(f, pR, pN, dTol))
            return TRUE;
    return FALSE;
}
