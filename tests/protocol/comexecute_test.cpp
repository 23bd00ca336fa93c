// The interpreter: every response shape, short lines, the status record of
// an audio frame, and the start announcement.
#include "framer_fixture.h"

#include <memory>

namespace {

class Interpreter : public testing::Test {
  protected:
    void SetUp() override {
        radio.ulFrequency = 1;
        radio.uSpeed = 1;
        radio.uSUnits = 1;
        radio.uMode = 1;
        radio.bLock = FALSE;
        bSignal = FALSE;
        bStart = 0;
    }

    // Runs the line from a heap block of exactly its size, so that a read
    // past the terminator is caught by the address sanitizer.
    static void execute(const std::string& line) {
        auto p = std::make_unique<char[]>(line.size() + 1);
        line.copy(p.get(), line.size());
        p[line.size()] = '\0';
        comExecute(p.get());
    }

    static void setStatus(const WireStatus& s) {
        auto& f = header.field;
        f.ulFreqVCO = s.ulFreqVCO;
        f.ulFreqMem = s.ulFreqMem;
        f.ucMode = s.ucMode;
        f.ucModeMemory = s.ucModeMemory;
        f.ucMemory = s.ucMemory;
        f.ucJog = s.ucJog;
        f.ucFlags1 = s.ucFlags1;
        f.ucFlags2 = s.ucFlags2;
        f.ucVersion = s.ucVersion;
        f.ucSignal = s.ucSignal;
    }
};

TEST_F(Interpreter, FrequencyLines) {
    execute("@AF7050000\r");
    EXPECT_EQ(radio.ulFrequency, 7050000u);
    EXPECT_FALSE(bSignal);
    execute("@AF\r");
    EXPECT_EQ(radio.ulFrequency, 0u);
    radio.ulFrequency = 5;
    execute("@AF");
    EXPECT_EQ(radio.ulFrequency, 0u);
    execute("@AF \t30000000x\r");
    EXPECT_EQ(radio.ulFrequency, 30000000u);
    execute("@AF+12\r");
    EXPECT_EQ(radio.ulFrequency, 12u);
}

TEST_F(Interpreter, LockLines) {
    execute("@AL\r");
    EXPECT_TRUE(radio.bLock);
    execute("@AX\r");
    EXPECT_TRUE(radio.bLock);
    execute("@AU\r");
    EXPECT_FALSE(radio.bLock);
    EXPECT_FALSE(bSignal);
}

TEST_F(Interpreter, StepLines) {
    execute("@RMI2500\r");
    EXPECT_EQ(radio.uSpeed, 2500u);
    execute("@RSI100000\r");
    EXPECT_EQ(radio.uSpeed, 100000u);
    execute("@RXI10\r");
    execute("@RI10\r");
    EXPECT_EQ(radio.uSpeed, 100000u);
    execute("@RMI\r");
    EXPECT_EQ(radio.uSpeed, 0u);
}

TEST_F(Interpreter, ModeLines) {
    const std::pair<const char*, DWORD> cases[] = {
        {"@RMM0\r", MODE_SSB}, {"@RMM1\r", MODE_SSB}, {"@RMM2\r", MODE_CW},
        {"@RMM3\r", MODE_CW},  {"@RMM4\r", MODE_AM},  {"@RSM2\r", MODE_CW},
    };
    for (const auto& [line, mode] : cases) {
        radio.uMode = 0;
        execute(line);
        EXPECT_EQ(radio.uMode, mode) << line;
    }
    for (const char* line : {"@RMM5\r", "@RMM9\r", "@RMM\r", "@RMM", "@RMX4\r"}) {
        radio.uMode = MODE_AM;
        execute(line);
        EXPECT_EQ(radio.uMode, MODE_AM) << line;
    }
    EXPECT_FALSE(bSignal);
}

TEST_F(Interpreter, SignalLinesAlwaysRaiseTheRefresh) {
    execute("@Sxx7\r");
    EXPECT_EQ(radio.uSUnits, 7u);
    EXPECT_TRUE(bSignal);
    bSignal = FALSE;
    execute("@S\r");
    EXPECT_EQ(radio.uSUnits, 0u);
    EXPECT_TRUE(bSignal);
    // Offsets 2 and 3 are not part of the number.
    radio.uSUnits = 3;
    execute("@S99\r");
    EXPECT_EQ(radio.uSUnits, 0u);
}

// Lines cut short anywhere: nothing beyond the terminator is read.
TEST_F(Interpreter, ShortLinesStopAtTheirEnd) {
    for (const char* line : {"", "@", "@A", "@R", "@RM", "@RS", "@RSI", "@RMM", "@S", "@S1", "@S12",
                             "@A\r", "@R\r", "@RM\r", "@S\r", "x"}) {
        SCOPED_TRACE(line);
        execute(line);
    }
    EXPECT_EQ(radio.uSUnits, 0u); // "@S" variants read no digits
    EXPECT_EQ(radio.uSpeed, 0u);
    EXPECT_EQ(radio.uMode, 1u);
    EXPECT_EQ(bStart, 0);
}

TEST_F(Interpreter, AudioFrameCopiesTheStatusRecord) {
    WireStatus s;
    s.ulFreqVCO = 15000000;
    s.ucJog = 4;
    s.ucFlags1 = 0x20;
    s.ucMode = 4;
    s.ucSignal = 9;
    setStatus(s);
    execute("@RMC\r");
    EXPECT_EQ(radio.ulFrequency, 15000000u);
    EXPECT_EQ(radio.uSpeed, 2500u);
    EXPECT_TRUE(radio.bLock);
    EXPECT_EQ(radio.uMode, MODE_AM);
    EXPECT_EQ(radio.uSUnits, 9u);
    EXPECT_TRUE(bSignal);

    s.ucFlags1 = 0xDF;
    s.ucMode = 3;
    setStatus(s);
    execute("@RSC\r");
    EXPECT_FALSE(radio.bLock);
    EXPECT_EQ(radio.uMode, 3u);
}

TEST_F(Interpreter, StepCodesMapThroughTheTableAndUnknownCodesKeepTheStep) {
    const DWORD expected[] = {10, 100, 1000, 1250, 2500, 5000, 10000, 100000};
    WireStatus s;
    for (BYTE code = 0; code < 8; ++code) {
        s.ucJog = code;
        setStatus(s);
        execute("@RMC\r");
        EXPECT_EQ(radio.uSpeed, expected[code]) << int{code};
    }
    for (int code : {8, 9, 0x80, 0xFF}) {
        radio.uSpeed = 1250;
        s.ucJog = static_cast<BYTE>(code);
        s.ulFreqVCO = 7000000 + code;
        setStatus(s);
        execute("@RMC\r");
        EXPECT_EQ(radio.uSpeed, 1250u) << code;
        EXPECT_EQ(radio.ulFrequency, 7000000u + code) << "the rest still applies";
    }
}

TEST_F(Interpreter, StartAnnouncementCountsOnlyOutsideAtLines) {
    execute("START\r");
    EXPECT_EQ(bStart, 1);
    execute("QX START 2\r");
    EXPECT_EQ(bStart, 2);
    execute("@START\r"); // an "@" line: read by its second character
    execute("@ASTART\r");
    execute("STAR\r");
    execute("start\r");
    EXPECT_EQ(bStart, 2);
    EXPECT_EQ(radio.uSUnits, 0u); // "@START" is a signal line
    EXPECT_TRUE(bSignal);
}

// Through the framer, as the receive and exec threads pass lines on.
TEST_F(FramerTest, StartAnnouncementReachesTheInterpreter) {
    bStart = 0;
    bSignal = FALSE;
    const std::string stream = "\x11\xfe??\r\nQX4470 START\r@AF7050000\r@START\r";
    const auto units = feed(stream);
    ASSERT_EQ(units.size(), 3u);
    for (const auto& unit : units)
        comExecute(unit.c_str());
    EXPECT_EQ(bStart, 1);
    EXPECT_EQ(radio.ulFrequency, 7050000u);
}

} // namespace
