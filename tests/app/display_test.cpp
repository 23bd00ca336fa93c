// The frequency text, the speed table and the band map, checked directly.
#include "app/display.h"
#include "app/resource.h"
#include "app/speed.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FormatDisplay, GroupsMegahertzKilohertzAndHertz) {
    EXPECT_EQ(std::string(formatDisplay(15000000)), "15.000.000");
    EXPECT_EQ(std::string(formatDisplay(7000000)), " 7.000.000");
    EXPECT_EQ(std::string(formatDisplay(500000)), "   500.000");
    EXPECT_EQ(std::string(formatDisplay(100000)), "   100.000");
    EXPECT_EQ(std::string(formatDisplay(29999999)), "29.999.999");
    EXPECT_EQ(std::string(formatDisplay(30000000)), "30.000.000");
    EXPECT_EQ(std::string(formatDisplay(10000000)), "10.000.000");
}

TEST(FormatDisplay, ShowsTheFirstEightDigitsOfLongerNumbers) {
    EXPECT_EQ(std::string(formatDisplay(0)), "   000.000");
    EXPECT_EQ(std::string(formatDisplay(123456789)), "12.345.678");
    EXPECT_EQ(std::string(formatDisplay(0xFFFFFFFF)), "42.949.672");
}

TEST(ChangeSpeed, MovesAlongTheTableAndHoldsAtItsEnds) {
    EXPECT_EQ(changeSpeed(2500, UP), 5000u);
    EXPECT_EQ(changeSpeed(2500, DOWN), 1250u);
    EXPECT_EQ(changeSpeed(100000, UP), 100000u);
    EXPECT_EQ(changeSpeed(10, DOWN), 10u);
    EXPECT_EQ(changeSpeed(10, UP), 100u);
    EXPECT_EQ(changeSpeed(5000, UP), 9000u);
    EXPECT_EQ(changeSpeed(9000, UP), 10000u);
    EXPECT_EQ(changeSpeed(9000, 0), 9000u);
    EXPECT_EQ(changeSpeed(9000, 2), 9000u);
    EXPECT_EQ(changeSpeed(9000, -2), 9000u);
}

TEST(ChangeSpeed, RefusesStepsOutsideTheTable) {
    EXPECT_EQ(changeSpeed(3000, 0), 0xFFFFFFFFu);
    EXPECT_EQ(changeSpeed(3000, UP), 0xFFFFFFFFu);
    EXPECT_EQ(changeSpeed(0, DOWN), 0xFFFFFFFFu);
    EXPECT_EQ(changeSpeed(0xFFFFFFFF, UP), 0xFFFFFFFFu);
}

TEST(BandMap, AmateurBandsIncludeTheLowerAndExcludeTheUpperEdge) {
    EXPECT_EQ(bandButton(14000000, FALSE), IDC_20M);
    EXPECT_EQ(bandButton(14349999, FALSE), IDC_20M);
    EXPECT_EQ(bandButton(14350000, FALSE), 0);
    EXPECT_EQ(bandButton(13999999, FALSE), 0);
    EXPECT_EQ(bandButton(3999999, FALSE), IDC_80M);
    EXPECT_EQ(bandButton(4000000, FALSE), 0);
    EXPECT_EQ(bandButton(21450000, FALSE), 0);
    EXPECT_EQ(bandButton(21449999, FALSE), IDC_15M);
    EXPECT_EQ(bandButton(1800000, FALSE), IDC_160M);
    EXPECT_EQ(bandButton(29699999, FALSE), IDC_10M);
    EXPECT_EQ(bandButton(29700000, FALSE), 0);
    EXPECT_EQ(bandButton(15000000, FALSE), 0);
}

TEST(BandMap, AmateurSixtyMetresCoversOnlyItsFiveChannels) {
    for (DWORD ulChannel : {M60C1, M60C2, M60C3, M60C4, M60C5}) {
        EXPECT_EQ(bandButton(ulChannel, FALSE), IDC_60M) << ulChannel;
        EXPECT_EQ(bandButton(ulChannel + 1, FALSE), 0) << ulChannel;
        EXPECT_EQ(bandButton(ulChannel - 1, FALSE), 0) << ulChannel;
    }
    EXPECT_EQ(bandButton(5330501, FALSE), 0);
}

TEST(BandMap, ShortwaveSetIsTestedOnlyWhenShown) {
    EXPECT_EQ(bandButton(3950000, TRUE), IDC_75M);
    EXPECT_EQ(bandButton(3950000, FALSE), IDC_80M);
    EXPECT_EQ(bandButton(21450000, TRUE), IDC_13M);
    EXPECT_EQ(bandButton(2494999, TRUE), IDC_120M);
    EXPECT_EQ(bandButton(2495000, TRUE), 0);
    EXPECT_EQ(bandButton(9500000, TRUE), IDC_31M);
    EXPECT_EQ(bandButton(M60C1, TRUE), 0);
    EXPECT_EQ(bandButton(4750000, TRUE), IDC_60MSW);
    EXPECT_EQ(bandButton(5059999, TRUE), IDC_60MSW);
    EXPECT_EQ(bandButton(26099999, TRUE), IDC_11M);
    EXPECT_EQ(bandButton(26100000, TRUE), 0);
}

TEST(BandMap, EveryButtonTunesToTheLowerEdgeOrTheFirstChannel) {
    EXPECT_EQ(bandFrequency(IDC_60M), M60C1);
    EXPECT_EQ(bandFrequency(IDC_40M), M40L);
    EXPECT_EQ(bandFrequency(IDC_10M), M10L);
    EXPECT_EQ(bandFrequency(IDC_120M), M120L);
    EXPECT_EQ(bandFrequency(IDC_15MSW), M15SWL);
    EXPECT_EQ(bandFrequency(IDC_11M), M11L);
    // Each button's own frequency lies in its own band.
    for (int id = IDC_160M; id <= IDC_10M; ++id) {
        EXPECT_EQ(bandButton(bandFrequency(id), FALSE), id) << id;
    }
    for (int id = IDC_120M; id <= IDC_11M; ++id) {
        EXPECT_EQ(bandButton(bandFrequency(id), TRUE), id) << id;
    }
    EXPECT_EQ(bandFrequency(IDC_SELFREQ), 0u);
    EXPECT_EQ(bandFrequency(181), 0u);
}

} // namespace
