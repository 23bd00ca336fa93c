// Memory channels recorded against the emulated receiver: on Write, what
// the receiver reported; on Read, the frequency that answers the read's
// own query, never an earlier poll's.
#include "link/control.h"
#include "link_fixture.h"
#include "protocol/comexecute.h"
#include "stations/database.h"
#include "stations/panel.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using simlink::LinkOnEmulator;
using simlink::waitUntil;

class StationMemories : public LinkOnEmulator {
  protected:
    void SetUp() override {
        LinkOnEmulator::SetUp();
        setenv(szStationsEnv, path.c_str(), 1);
    }
    void TearDown() override {
        stationsClose();
        unsetenv(szStationsEnv);
        LinkOnEmulator::TearDown();
    }
    std::optional<MemoryRecord> channel(unsigned n) {
        DatabaseOpen result;
        auto db = StationDatabase::open(path, &result);
        for (const MemoryRecord& m : db->memories()) {
            if (m.channel == n) {
                return m;
            }
        }
        return std::nullopt;
    }
    // The dialog's part: after each receiver update, the panel is told.
    bool followUntil(const std::function<bool()>& condition) {
        return waitUntil([&] {
            stationsRadioChanged(radio.ulFrequency);
            return condition();
        });
    }
    TempDir stationsDir;
    std::string path = (stationsDir.path / "stations.db").string();
};

TEST_F(StationMemories, WriteAndReadAreRecorded) {
    start();
    stationsOpen(nullptr);
    ASSERT_TRUE(controlTune(7050000));
    ASSERT_TRUE(controlMode(MODE_CW));
    ASSERT_TRUE(followUntil([] { return radio.ulFrequency == 7050000 && radio.uMode == MODE_CW; }));
    ASSERT_TRUE(controlMemoryWrite(5));
    stationsMemoryWritten(5, radio.ulFrequency, radio.uMode);
    ASSERT_TRUE(channel(5));
    EXPECT_EQ(channel(5)->frequency, 7050000u);
    EXPECT_EQ(channel(5)->mode, MODE_CW);

    // Elsewhere, then Read channel 3, which the program never wrote (the
    // receiver keeps a time-signal station on 10 MHz there), and 5 back.
    ASSERT_TRUE(controlTune(9000000));
    ASSERT_TRUE(followUntil([] { return radio.ulFrequency == 9000000; }));
    ASSERT_TRUE(controlTune(11000000));
    stationsMemoryReading(3);
    ASSERT_TRUE(controlMemoryRead(3));
    ASSERT_TRUE(followUntil([&] { return channel(3).has_value(); }));
    // Not the tuning queued before the read, nor an earlier poll's answer.
    EXPECT_EQ(channel(3)->frequency, 10000000u);

    stationsMemoryReading(5);
    ASSERT_TRUE(controlMemoryRead(5));
    ASSERT_TRUE(followUntil([&] { return channel(5)->frequency == 7050000u; }));
    EXPECT_EQ(channel(5)->mode, MODE_CW); // a Read keeps the mode known
}

} // namespace
