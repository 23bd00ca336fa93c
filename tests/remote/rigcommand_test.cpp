// The rig-control commands without sockets: answers, sets on the link's
// queue, values held until the receiver reports, and address parsing.
#include "link/comthread.h"
#include "link/control.h"
#include "link/execthread.h"
#include "link/queue.h"
#include "link/updatethread.h"
#include "protocol/comexecute.h"
#include "record/record.h"
#include "remote/remote.h"
#include "remote/rigcommand.h"
#include "scan/scan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

// Records the dialog notifications of remote sets.
class Recorder : public Window {
  public:
    BOOL post(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == IDREMOTE)
            follows.emplace_back(wParam, lParam);
        return TRUE;
    }
    std::vector<std::pair<WPARAM, LPARAM>> follows;
};

class RigCommand : public testing::Test {
  protected:
    void SetUp() override {
        openQueue(&QueueMessage, "queueMessage");
        hDlgHandle = &window;
        bLock = FALSE;
        bTune = FALSE;
        radio.ulFrequency = 15000000;
        radio.uMode = MODE_AM;
        radio.uSUnits = 5;
        radio.bLock = FALSE;
        rigReset();
    }
    void TearDown() override {
        hDlgHandle = nullptr;
        bTune = FALSE;
        closeQueue(&QueueMessage);
    }

    // The answer to one line at time ulNow (milliseconds).
    std::string ask(const std::string& line, std::uint64_t ulNow = 1000, int iClient = 0) {
        std::string szAnswer;
        bOpen = rigCommand(line, ulNow, &szAnswer, iClient);
        return szAnswer;
    }
    static std::vector<std::string> queued() {
        std::vector<std::string> texts;
        while (const char* szPacket = dequeue(&QueueMessage, nullptr))
            texts.emplace_back(szPacket);
        return texts;
    }

    Recorder window;
    BOOL bOpen = TRUE;
};

TEST_F(RigCommand, EveryLineGetsAnAnswerAndBadSetsTuneNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"F 99999", "RPRT -1\n"},
        {"F 30000001", "RPRT -1\n"},
        {"F abc", "RPRT -1\n"},
        {"F", "RPRT -1\n"},
        {"F 7000000 8000000", "RPRT -1\n"},
        {"F 1e9", "RPRT -1\n"},
        {"F nan", "RPRT -1\n"},
        {"F -7000000", "RPRT -1\n"},
        {"\\set_freq 14.07.4", "RPRT -1\n"},
        {"M FM 0", "RPRT -1\n"},
        {"M USB wide", "RPRT -1\n"},
        {"M", "RPRT -1\n"},
        {"V VFOB", "RPRT -16\n"},
        {"T 1", "RPRT -11\n"},
        {"S 1 VFOB", "RPRT -11\n"},
        {"L AF 0.5", "RPRT -11\n"},
        {"l RFPOWER", "RPRT -11\n"},
        {"l", "RPRT -1\n"},
        {"x", "RPRT -4\n"},
        {"\\get_rit", "RPRT -4\n"},
        {"\\", "RPRT -4\n"},
        {"ff", "RPRT -4\n"},
        {"", ""},
        {"   \r", ""},
    };
    for (const auto& [line, answer] : cases) {
        EXPECT_EQ(ask(line), answer) << line;
        EXPECT_TRUE(bOpen) << line;
    }
    EXPECT_TRUE(queued().empty());
    EXPECT_TRUE(window.follows.empty());

    // Octets that are not text end the connection with a protocol error.
    EXPECT_EQ(ask(std::string("f\0\xff", 3)), "RPRT -8\n");
    EXPECT_FALSE(bOpen);
    EXPECT_EQ(ask("q"), "");
    EXPECT_FALSE(bOpen);
}

TEST_F(RigCommand, GetsReadTheReceiverPicture) {
    EXPECT_EQ(ask("f"), "15000000\n");
    EXPECT_EQ(ask("\\get_freq\r"), "15000000\n");
    EXPECT_EQ(ask("m"), "AM\n0\n");
    EXPECT_EQ(ask("v"), "VFOA\n");
    EXPECT_EQ(ask("V ?"), "VFOA\n");
    EXPECT_EQ(ask("V VFOA"), "RPRT 0\n");
    EXPECT_EQ(ask("t"), "0\n");
    EXPECT_EQ(ask("s"), "0\nVFOA\n");
    EXPECT_EQ(ask("M ?"), "AM CW USB LSB\n");
    EXPECT_EQ(ask("l ?"), "STRENGTH\n");
    EXPECT_EQ(ask("\\chk_vfo"), "0\n");
    EXPECT_EQ(ask("\\get_powerstat"), "1\n");
    EXPECT_EQ(ask("_"), "Velkor QX-4470\n");
    // Signal strength in dB over S9, 6 dB to the S-unit.
    for (const auto& [uSUnits, szDb] : std::vector<std::pair<DWORD, std::string>>{
             {9, "0\n"}, {3, "-36\n"}, {0, "-54\n"}, {10, "6\n"}}) {
        radio.uSUnits = uSUnits;
        EXPECT_EQ(ask("l STRENGTH"), szDb) << uSUnits;
    }
    radio.uMode = MODE_CW;
    EXPECT_EQ(ask("\\get_mode"), "CW\n0\n");
    radio.uMode = MODE_SSB;
    EXPECT_EQ(ask("m"), "USB\n0\n");
    // Extended answers: the command, named values, the result code.
    EXPECT_EQ(ask("+f"), "get_freq:\nFrequency: 15000000\nRPRT 0\n");
    EXPECT_EQ(ask(";m"), "get_mode:;Mode: USB;Passband: 0;RPRT 0\n");
    EXPECT_EQ(ask("+F 7000000"), "set_freq: 7000000\nRPRT 0\n");
    EXPECT_EQ(ask("|F 1"), "set_freq: 1|RPRT -1\n");
}

TEST_F(RigCommand, SetsQueueTheDialogsCommandsAndTellTheDialog) {
    EXPECT_EQ(ask("F 14074000.000000", 1000), "RPRT 0\n");
    EXPECT_EQ(ask("M CW 500", 1100), "RPRT 0\n");
    EXPECT_EQ(ask("\\set_mode AM", 1200), "RPRT 0\n");
    EXPECT_EQ(ask("M LSB -1", 1300), "RPRT 0\n");
    EXPECT_EQ(ask("M USB", 1400), "RPRT 0\n");
    EXPECT_EQ(queued(), (std::vector<std::string>{"*AF14074000\r", "*RMM2\r", "*RMM4\r", "*RMM0\r",
                                                  "*RMM0\r"}));
    EXPECT_EQ(window.follows.front(), std::make_pair(REMOTE_FREQUENCY, LPARAM{14074000}));
    EXPECT_EQ(window.follows.back(), std::make_pair(REMOTE_MODE, LPARAM{MODE_SSB}));

    // With Ext marked, as the operator's tuning: dividers, then the frequency.
    bTune = TRUE;
    EXPECT_EQ(ask("F 7000000", 2000), "RPRT 0\n");
    const auto extended = queued();
    ASSERT_EQ(extended.size(), 3u);
    EXPECT_EQ(extended[0].substr(0, 3), "*AR");
    EXPECT_EQ(extended[1].substr(0, 3), "*AN");
    EXPECT_EQ(extended[2], "*AD7000000\r");
}

TEST_F(RigCommand, AGetAfterASetReturnsTheValueSetUntilTheReceiverReports) {
    ASSERT_EQ(ask("F 7074000", 1000), "RPRT 0\n");
    EXPECT_EQ(ask("f", 1001), "7074000\n");
    EXPECT_EQ(ask("f", 1000 + REMOTE_HOLD_MS - 1), "7074000\n");
    // The receiver never followed (a lost command): its own value again.
    EXPECT_EQ(ask("f", 1000 + REMOTE_HOLD_MS), "15000000\n");

    ASSERT_EQ(ask("F 7074000", 5000), "RPRT 0\n");
    radio.ulFrequency = 7074000;
    EXPECT_EQ(ask("f", 5100), "7074000\n");
    // A change the receiver reports (the operator's knob) wins at once.
    radio.ulFrequency = 9000000;
    EXPECT_EQ(ask("f", 5200), "9000000\n");

    // LSB and USB both set SSB; the name set is the name read back.
    ASSERT_EQ(ask("M LSB 0", 6000), "RPRT 0\n");
    EXPECT_EQ(ask("m", 6001), "LSB\n0\n");
    radio.uMode = MODE_SSB;
    EXPECT_EQ(ask("m", 9000), "LSB\n0\n");
    ASSERT_EQ(ask("M USB 0", 9100), "RPRT 0\n");
    EXPECT_EQ(ask("m", 9101), "USB\n0\n");
}

TEST_F(RigCommand, FastSetsAreSpacedAndTheLastOneWins) {
    ASSERT_EQ(ask("F 7000000", 1000), "RPRT 0\n");
    ASSERT_EQ(ask("F 7000100", 1010), "RPRT 0\n");
    ASSERT_EQ(ask("F 7000200", 1020), "RPRT 0\n");
    EXPECT_EQ(ask("f", 1021), "7000200\n");
    EXPECT_EQ(queued(), std::vector<std::string>{"*AF7000000\r"});
    EXPECT_EQ(rigFlush(1030), 1000 + REMOTE_SET_SPACING_MS);
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(rigFlush(1000 + REMOTE_SET_SPACING_MS), 0u);
    EXPECT_EQ(queued(), std::vector<std::string>{"*AF7000200\r"});
    EXPECT_EQ(window.follows.size(), 2u);
}

TEST_F(RigCommand, LockRefusesSetsButNotGets) {
    for (const bool bPanel : {true, false}) {
        bLock = bPanel ? TRUE : FALSE;
        radio.bLock = bPanel ? FALSE : TRUE;
        EXPECT_EQ(ask("F 7000000"), "RPRT -9\n");
        EXPECT_EQ(ask("M CW 0"), "RPRT -9\n");
        EXPECT_EQ(ask("F 1"), "RPRT -1\n"); // a bad argument is still named as such
        EXPECT_EQ(ask("f"), "15000000\n");
        EXPECT_EQ(ask("m"), "AM\n0\n");
    }
    EXPECT_TRUE(queued().empty());
}

// The protocol's mode lock: the client that sets it keeps the mode to
// itself until it clears it or its connection closes; frequency sets and
// gets go on for everyone.
TEST_F(RigCommand, ModeLockKeepsTheModeToTheClientThatSetIt) {
    EXPECT_EQ(ask("\\get_lock_mode", 1000, 1), "0\n");
    EXPECT_EQ(ask("+\\get_lock_mode", 1000, 1), "get_lock_mode:\nLocked: 0\nRPRT 0\n");
    for (const char* szBad : {"\\set_lock_mode", "\\set_lock_mode 2", "\\set_lock_mode on"})
        EXPECT_EQ(ask(szBad, 1000, 1), "RPRT -1\n") << szBad;
    EXPECT_EQ(ask("\\set_lock_mode 1", 1000, 1), "RPRT 0\n");
    EXPECT_EQ(ask("\\get_lock_mode", 1000, 2), "1\n");
    EXPECT_EQ(ask("M CW 0", 1000, 2), "RPRT -9\n");
    EXPECT_EQ(ask("\\set_lock_mode 0", 1000, 2), "RPRT -9\n"); // not its lock
    EXPECT_EQ(ask("F 7000000", 1000, 2), "RPRT 0\n");
    EXPECT_EQ(ask("M CW 0", 2000, 1), "RPRT 0\n");
    EXPECT_EQ(ask("m", 2000, 2), "CW\n0\n");

    rigClientClosed(2); // another client going changes nothing
    EXPECT_EQ(ask("M USB 0", 3000, 2), "RPRT -9\n");
    rigClientClosed(1);
    EXPECT_EQ(ask("\\get_lock_mode", 3000, 2), "0\n");
    EXPECT_EQ(ask("M USB 0", 3000, 2), "RPRT 0\n");

    EXPECT_EQ(ask("\\set_lock_mode 1", 4000, 2), "RPRT 0\n");
    EXPECT_EQ(ask("\\set_lock_mode 0", 4000, 2), "RPRT 0\n");
    EXPECT_EQ(ask("M AM 0", 5000, 3), "RPRT 0\n");
    EXPECT_EQ(queued(),
              (std::vector<std::string>{"*AF7000000\r", "*RMM2\r", "*RMM0\r", "*RMM4\r"}));
}

// The scan command and the SCAN function: the range as last set, checked
// before anything is sent; a bad or missing one is an invalid parameter.
TEST_F(RigCommand, ScanCommandsStartAndStopTheScanner) {
    EXPECT_EQ(ask("u SCAN"), "0\n");
    EXPECT_EQ(ask("U ?"), "RECORD SCAN\n");
    scanSetLastRange({9600000, 9500000, 5000}, SCANPARAMS{}); // start above stop
    EXPECT_EQ(ask("g VFO 0"), "RPRT -1\n");
    EXPECT_EQ(ask("U SCAN 1"), "RPRT -1\n");
    scanSetLastRange({9500000, 9600000, 0}, SCANPARAMS{});
    EXPECT_EQ(ask("\\scan VFO 0"), "RPRT -1\n");
    EXPECT_EQ(ask("g"), "RPRT -1\n");
    EXPECT_EQ(ask("g VFO x"), "RPRT -1\n");
    EXPECT_EQ(ask("g PRIO 0"), "RPRT -11\n");
    EXPECT_EQ(ask("U SCAN 2"), "RPRT -1\n");
    EXPECT_EQ(ask("u SCAN"), "0\n");
    EXPECT_TRUE(queued().empty());

    // With no scanner thread running, a good range only changes the state.
    scanSetLastRange({9500000, 9600000, 5000}, SCANPARAMS{});
    EXPECT_EQ(ask("g VFO 0"), "RPRT 0\n");
    EXPECT_EQ(ask("u SCAN"), "1\n");
    EXPECT_EQ(ask("g STOP 0"), "RPRT 0\n");
    EXPECT_EQ(ask("\\get_func SCAN"), "0\n");
    EXPECT_EQ(ask("U SCAN 1"), "RPRT 0\n");
    // The memory list holds only the channels known to hold a frequency:
    // none known, no list.
    EXPECT_EQ(ask("g MEM 0"), "RPRT -1\n");
    scanSetMemories([] { return std::vector<DWORD>{0, 129}; });
    EXPECT_EQ(ask("g MEM 0"), "RPRT -1\n"); // no such channels
    scanSetMemories([] { return std::vector<DWORD>{3, 40}; });
    EXPECT_EQ(ask("g MEM 0"), "RPRT 0\n");
    scanSetMemories(nullptr);
    EXPECT_EQ(ask("U SCAN 0"), "RPRT 0\n");
    EXPECT_EQ(ask("u SCAN"), "0\n");
}

// A tracker's pass and a logger's switch both start and stop the audio
// recording; each start makes its own file.
TEST_F(RigCommand, RecordFunctionAndPassEventsSwitchTheAudioRecording) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("velkor-rig-record-" + std::to_string(getpid()));
    setenv("VELKOR_RECORDINGS", directory.c_str(), 1);
    recordOpen(nullptr, 0);
    EXPECT_EQ(ask("u RECORD"), "0\n");
    EXPECT_EQ(ask("U RECORD 1"), "RPRT 0\n");
    EXPECT_EQ(ask("u RECORD"), "1\n");
    EXPECT_EQ(ask("U RECORD 0"), "RPRT 0\n");
    EXPECT_EQ(ask("u RECORD"), "0\n");
    EXPECT_EQ(ask("AOS"), "RPRT 0\n");
    EXPECT_EQ(ask("\\get_func RECORD"), "1\n");
    EXPECT_EQ(ask("LOS"), "RPRT 0\n");
    EXPECT_EQ(ask("u RECORD"), "0\n");
    EXPECT_EQ(ask("U RECORD 2"), "RPRT -1\n");
    EXPECT_EQ(ask("U NB 1"), "RPRT -11\n");
    EXPECT_EQ(ask("u"), "RPRT -1\n");
    recordClose();
    unsetenv("VELKOR_RECORDINGS");
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        files += entry.path().extension() == ".wav" ? 1 : 0;
    EXPECT_EQ(files, 2u);
    std::filesystem::remove_all(directory);
    EXPECT_TRUE(queued().empty());
}

TEST(RemoteAddress, PortAloneMeansLoopback) {
    const std::vector<std::tuple<std::string, std::string, WORD>> good = {
        {"4532", "127.0.0.1", 4532},     {"127.0.0.1:4532", "127.0.0.1", 4532},
        {"[::1]:4532", "::1", 4532},     {"0.0.0.0:4532", "0.0.0.0", 4532},
        {"127.0.0.1:0", "127.0.0.1", 0},
    };
    for (const auto& [address, host, port] : good) {
        std::string szHost;
        WORD wPort = 1;
        EXPECT_TRUE(remoteParseAddress(address, &szHost, &wPort)) << address;
        EXPECT_EQ(szHost, host);
        EXPECT_EQ(wPort, port);
    }
    for (const std::string bad : {"", ":4532", "host:", "4532x", "70000", "::1:4532", "[::1]4532",
                                  "[::1]:", "-1", "127.0.0.1:45 32"}) {
        std::string szHost;
        WORD wPort = 0;
        EXPECT_FALSE(remoteParseAddress(bad, &szHost, &wPort)) << bad;
    }
}

} // namespace
