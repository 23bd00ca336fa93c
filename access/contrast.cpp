// Contrast of colours, as the sRGB luminance gives it.
#include "access/contrast.h"

#include <algorithm>
#include <cmath>

namespace a11y {
namespace {

double linear(std::uint32_t channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(Rgb rgb) {
    return 0.2126 * linear((rgb >> 16) & 0xFF) + 0.7152 * linear((rgb >> 8) & 0xFF) +
           0.0722 * linear(rgb & 0xFF);
}

} // namespace

double contrastRatio(Rgb a, Rgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool isHighContrast(Rgb window, Rgb windowText, Rgb base, Rgb text) {
    return contrastRatio(window, windowText) >= HIGH_CONTRAST_RATIO &&
           contrastRatio(base, text) >= HIGH_CONTRAST_RATIO;
}

} // namespace a11y
