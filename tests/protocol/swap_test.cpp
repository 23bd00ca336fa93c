// Byte-order conversion.
#include "protocol/swap.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>

namespace {

TEST(Swap, WordExchangesItsOctets) {
    WORD u = 0x1234;
    uSwap(&u);
    EXPECT_EQ(u, 0x3412);
    uSwap(&u);
    EXPECT_EQ(u, 0x1234);
    u = 0x00FF;
    uSwap(&u);
    EXPECT_EQ(u, 0xFF00);
}

TEST(Swap, LongReversesItsOctets) {
    DWORD ul = 0x00E4E1C0;
    ulSwap(&ul);
    EXPECT_EQ(ul, 0xC0E1E400u);
    ulSwap(&ul);
    EXPECT_EQ(ul, 0x00E4E1C0u);
    ul = 0x80000001;
    ulSwap(&ul);
    EXPECT_EQ(ul, 0x01000080u);
}

TEST(Swap, WireOrderBecomesHostOrder) {
    const BYTE wire[4] = {0x00, 0xE4, 0xE1, 0xC0};
    DWORD ul;
    std::memcpy(&ul, wire, sizeof ul);
    ulSwap(&ul);
    EXPECT_EQ(ul, 15000000u);
}

TEST(Swap, FloatReversesItsRepresentation) {
    float f = 1.0f; // 0x3F800000
    fSwap(&f);
    EXPECT_EQ(std::bit_cast<DWORD>(f), 0x0000803Fu);
    fSwap(&f);
    EXPECT_EQ(f, 1.0f);

    // A pattern that swaps into a signalling NaN survives the round trip.
    const DWORD snan = 0x7F800001;
    DWORD swapped = snan;
    ulSwap(&swapped);
    float g = std::bit_cast<float>(swapped);
    fSwap(&g);
    EXPECT_EQ(std::bit_cast<DWORD>(g), snan);
    fSwap(&g);
    EXPECT_EQ(std::bit_cast<DWORD>(g), swapped);
}

} // namespace
