// Whether the desktop asks for high contrast, judged from the colours it
// hands the program: high-contrast themes pair pure black and white (or
// nearly so) for the window's text and for the fields' text, which no
// ordinary theme does for both. While such a palette is in force the
// program drops its own colours (the frequency display's yellow on
// black, the band scope's dark picture) and draws in the desktop's.
// No toolkit here: tested without a display.
#pragma once

#include <cstdint>

namespace a11y {

// A colour as 0xRRGGBB.
using Rgb = std::uint32_t;

// The contrast ratio of two colours, 1 (the same) .. 21 (black on white),
// from their relative luminance as the sRGB definition gives it.
double contrastRatio(Rgb a, Rgb b);

// The least contrast a pair must have to count as high-contrast: black
// on white is 21, the lightest ordinary window grey (#efefef) with black
// text about 18.3.
inline constexpr double HIGH_CONTRAST_RATIO = 19.0;

// TRUE when both the window's text on its background and the fields'
// text on theirs reach HIGH_CONTRAST_RATIO.
bool isHighContrast(Rgb window, Rgb windowText, Rgb base, Rgb text);

} // namespace a11y
