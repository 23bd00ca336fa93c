// Byte-order conversion in place.
#include "protocol/swap.h"

#include <cstring>

void uSwap(WORD* puWord) {
    *puWord = static_cast<WORD>((*puWord >> 8) | (*puWord << 8));
}

void ulSwap(DWORD* pulWord) {
    const DWORD ul = *pulWord;
    *pulWord = (ul >> 24) | ((ul >> 8) & 0x0000FF00u) | ((ul << 8) & 0x00FF0000u) | (ul << 24);
}

void fSwap(float* pfWord) {
    // The swapped octets may spell any bit pattern (a signalling NaN among
    // them), so they are moved as memory and never loaded as a float.
    static_assert(sizeof(float) == sizeof(DWORD));
    DWORD ul;
    std::memcpy(&ul, pfWord, sizeof ul);
    ulSwap(&ul);
    std::memcpy(pfWord, &ul, sizeof ul);
}
