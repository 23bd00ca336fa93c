// The command texts on the wire, and reading a text back into its kind.
#include "protocol/command.h"

#include "protocol/radiostate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string text(const PACKET& packet) {
    return packet.szText.data();
}

TEST(Command, TextsAreTheReceiversExactly) {
    EXPECT_EQ(text(commandFrequency(MIN_FREQUENCY)), "*AF100000\r");
    EXPECT_EQ(text(commandFrequency(MAX_FREQUENCY)), "*AF30000000\r");
    EXPECT_EQ(text(commandMode(MODE_AM)), "*RMM4\r");
    EXPECT_EQ(text(commandMode(MODE_CW)), "*RMM2\r");
    EXPECT_EQ(text(commandMode(MODE_SSB)), "*RMM0\r");
    EXPECT_EQ(text(commandStep(100000)), "*RMI100000\r");
    EXPECT_EQ(text(commandLock(TRUE)), "*AL\r");
    EXPECT_EQ(text(commandLock(FALSE)), "*AU\r");
    EXPECT_EQ(text(commandMemoryRead(5)), "*KRA5\r");
    EXPECT_EQ(text(commandMemoryWrite(128)), "*KWA128\r");
    EXPECT_EQ(text(commandStream(TRUE)), "?RMC\r");
    EXPECT_EQ(text(commandStream(FALSE)), "*RMC\r");
    EXPECT_EQ(text(commandRestart()), "XX\r");
    EXPECT_EQ(text(commandQuery(COMMAND_QUERY_FREQUENCY)), "?AF\r");
    EXPECT_EQ(text(commandQuery(COMMAND_QUERY_MODE)), "?RMM\r");
    EXPECT_EQ(text(commandQuery(COMMAND_QUERY_STEP)), "?RMI\r");
    EXPECT_EQ(text(commandQuery(COMMAND_QUERY_LOCK)), "?AU\r");
    EXPECT_EQ(text(commandQuery(COMMAND_QUERY_SIGNAL)), "?S\r");
    EXPECT_EQ(commandQuery(COMMAND_MODE).kind, COMMAND_NONE); // not a query
}

TEST(Command, ATuningIsOneUnitOfOneOrThreeCommands) {
    const TUNINGUNIT normal = commandTuning(7000000, FALSE);
    ASSERT_EQ(normal.count, 1);
    EXPECT_EQ(text(normal.packets[0]), "*AF7000000\r");

    const TUNINGUNIT extended = commandTuning(7000000, TRUE);
    ASSERT_EQ(extended.count, 3);
    EXPECT_EQ(text(extended.packets[0]), "*AR1432\r");
    EXPECT_EQ(text(extended.packets[1]), "*AN20800\r");
    EXPECT_EQ(text(extended.packets[2]), "*AD7000000\r");
    EXPECT_EQ(extended.R, 1432);
    EXPECT_EQ(extended.N, 20800);

    // No divider pair for this one: the frequency alone.
    const TUNINGUNIT alone = commandTuning(4608515, TRUE);
    ASSERT_EQ(alone.count, 1);
    EXPECT_EQ(text(alone.packets[0]), "*AD4608515\r");
    EXPECT_EQ(alone.packets[0].kind, COMMAND_DIVIDER_TUNE);
}

// Every text the encoder builds reads back as its own kind; anything
// else, answers included, is of no kind.
TEST(Command, EveryBuiltTextReadsBackAsItsKind) {
    const TUNINGUNIT extended = commandTuning(15000000, TRUE);
    const PACKET built[] = {commandFrequency(15000000),
                            extended.packets[0],
                            extended.packets[1],
                            extended.packets[2],
                            commandMode(MODE_CW),
                            commandStep(10),
                            commandLock(TRUE),
                            commandLock(FALSE),
                            commandMemoryRead(1),
                            commandMemoryWrite(1),
                            commandStream(TRUE),
                            commandStream(FALSE),
                            commandRestart(),
                            commandQuery(COMMAND_QUERY_FREQUENCY),
                            commandQuery(COMMAND_QUERY_MODE),
                            commandQuery(COMMAND_QUERY_STEP),
                            commandQuery(COMMAND_QUERY_LOCK),
                            commandQuery(COMMAND_QUERY_SIGNAL)};
    for (const PACKET& packet : built) {
        EXPECT_NE(packet.kind, COMMAND_NONE) << text(packet);
        EXPECT_EQ(commandKindOf(packet.szText.data()), packet.kind) << text(packet);
    }
    for (const char* szOther : {"", "@AF7000000\r", "?RMCX\r", "*A", "XX", "hello", "*ALX\r"})
        EXPECT_EQ(commandKindOf(szOther), COMMAND_NONE) << szOther;
    EXPECT_EQ(commandKindOf(nullptr), COMMAND_NONE);
}

} // namespace
