// IMA ADPCM decoder: tables, the truncated-shift arithmetic, clamping of the
// sample and of the step index.
#include "audio/adpcm.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class Adpcm : public testing::Test {
  protected:
    void SetUp() override { ADPCMDecoderInit(); }

    static std::vector<int> decodeAll(const std::vector<int>& codes) {
        std::vector<int> out;
        for (int code : codes)
            out.push_back(ADPCMDecoder(static_cast<BYTE>(code)));
        return out;
    }
};

TEST(AdpcmTables, HoldTheImaValues) {
    EXPECT_EQ(stepSizeTable[0], 7);
    EXPECT_EQ(stepSizeTable[8], 16);
    EXPECT_EQ(stepSizeTable[16], 34);
    EXPECT_EQ(stepSizeTable[44], 494);
    EXPECT_EQ(stepSizeTable[88], 32767);
    for (std::size_t i = 1; i < stepSizeTable.size(); ++i) {
        EXPECT_GT(stepSizeTable[i], stepSizeTable[i - 1]) << i;
        // Each step is about 10% above the one before.
        EXPECT_LT(stepSizeTable[i], stepSizeTable[i - 1] * 12 / 10 + 2) << i;
    }
    const std::array<std::int8_t, 16> expected = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                  -1, -1, -1, -1, 2, 4, 6, 8};
    EXPECT_EQ(cIndTable, expected);
}

TEST_F(Adpcm, EachCodeFromTheZeroState) {
    const int expected[16] = {0, 1, 3, 4, 7, 8, 10, 11, 0, -1, -3, -4, -7, -8, -10, -11};
    for (int code = 0; code < 16; ++code) {
        ADPCMDecoderInit();
        EXPECT_EQ(ADPCMDecoder(static_cast<BYTE>(code)), expected[code]) << "code " << code;
    }
}

TEST_F(Adpcm, DifferenceIsTheSumOfTruncatedShifts) {
    // Code 7 at step 7: 0 + 7 + 3 + 1 = 11 (the product 15*7/8 would be 13);
    // the index moves to 8 (step 16), so 0xF subtracts 2 + 16 + 8 + 4 = 30
    // and moves the index to 16 (step 34, 34 >> 3 = 4).
    EXPECT_EQ(decodeAll({7, 0xF, 0}), (std::vector<int>{11, -19, -15}));
}

TEST_F(Adpcm, SampleSaturatesAtBothEnds) {
    const std::vector<int> rising = {11,    41,    104,   240,   533,   1164,  2521,
                                     5431,  11667, 25039, 32767, 32767, 32767, 32767,
                                     32767, 32767, 32767, 32767, 32767, 32767};
    EXPECT_EQ(decodeAll(std::vector<int>(20, 7)), rising);

    ADPCMDecoderInit();
    std::vector<int> falling;
    for (int s : rising)
        falling.push_back(s == 32767 ? -32768 : -s);
    EXPECT_EQ(decodeAll(std::vector<int>(20, 0xF)), falling);
}

TEST_F(Adpcm, IndexClampsAtBothEnds) {
    // Codes 0 and 8 at index 0 leave the sample alone and the index at 0:
    // a following 7 still sees step 7.
    EXPECT_EQ(decodeAll({0, 8, 0, 8, 7}), (std::vector<int>{0, 0, 0, 0, 11}));

    // After saturation the index is 88: code 8 subtracts 32767 >> 3 and
    // moves it to 87 (step 29794, 29794 >> 3 = 3724).
    ADPCMDecoderInit();
    decodeAll(std::vector<int>(30, 7));
    EXPECT_EQ(decodeAll({8, 8}), (std::vector<int>{32767 - 4095, 32767 - 4095 - 3724}));
}

TEST_F(Adpcm, StateCarriesFromCodeToCodeUntilInit) {
    EXPECT_EQ(ADPCMDecoder(7), 11);
    EXPECT_EQ(ADPCMDecoder(7), 41);
    ADPCMDecoderInit();
    EXPECT_EQ(ADPCMDecoder(7), 11);
}

TEST_F(Adpcm, BitsAboveTheCodeAreIgnored) {
    EXPECT_EQ(ADPCMDecoder(0xF7), 11);
    EXPECT_EQ(ADPCMDecoder(0x8F), -19);
}

} // namespace
