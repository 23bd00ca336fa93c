// The readings as spoken words, the announcement throttle, the shortcut
// table and the high-contrast test of a palette: no display.
#include "access/contrast.h"
#include "access/shortcuts.h"
#include "access/spoken.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <utility>

namespace {

using namespace a11y;

TEST(Spoken, HertzInGroupsOfThree) {
    EXPECT_EQ(spokenHertz(7050000), "7 050 000 hertz");
    EXPECT_EQ(spokenHertz(30000000), "30 000 000 hertz");
    EXPECT_EQ(spokenHertz(100000), "100 000 hertz");
    EXPECT_EQ(spokenHertz(2500), "2 500 hertz");
    EXPECT_EQ(spokenHertz(999), "999 hertz");
    EXPECT_EQ(spokenHertz(0), "0 hertz");
    EXPECT_EQ(spokenHertz(4294967295u), "4 294 967 295 hertz");
}

TEST(Spoken, MegahertzExactToTheHertzWithoutTrailingZeros) {
    EXPECT_EQ(spokenMegahertz(7050000), "7.05 megahertz");
    EXPECT_EQ(spokenMegahertz(15000000), "15 megahertz");
    EXPECT_EQ(spokenMegahertz(500000), "0.5 megahertz");
    EXPECT_EQ(spokenMegahertz(100000), "0.1 megahertz");
    EXPECT_EQ(spokenMegahertz(14200001), "14.200001 megahertz");
    EXPECT_EQ(spokenMegahertz(5330500), "5.3305 megahertz");
    EXPECT_EQ(spokenMegahertz(29999999), "29.999999 megahertz");
    EXPECT_EQ(spokenMegahertz(0), "0 megahertz");
}

TEST(Spoken, TuningAndReceiverPhrasesLeaveOutWhatIsNotThere) {
    EXPECT_EQ(spokenTuning(7100000, "Radio Example"), "7.1 megahertz, Radio Example");
    EXPECT_EQ(spokenTuning(7100000, ""), "7.1 megahertz");
    EXPECT_EQ(spokenReceiver(7100000, "Radio Example", "AM", true),
              "7.1 megahertz, Radio Example, AM, locked");
    EXPECT_EQ(spokenReceiver(15000000, "", "SSB", false), "15 megahertz, SSB");
    EXPECT_EQ(spokenReceiver(15000000, "", "", true), "15 megahertz, locked");
}

TEST(Spoken, SUnitsUpToS9ThenDecibelsOverS9) {
    EXPECT_EQ(spokenSUnits(0), "S0");
    EXPECT_EQ(spokenSUnits(5), "S5");
    EXPECT_EQ(spokenSUnits(9), "S9");
    EXPECT_EQ(spokenSUnits(10), "S9 plus 6 dB");
    EXPECT_EQ(spokenSUnits(12), "S9 plus 18 dB"); // above the meter's end, still said
    EXPECT_EQ(spokenSUnits(4294967295u), "S9 plus 25769803716 dB"); // no wrap
}

TEST(ChangeThrottle, AnnouncesANewUnitAtMostOncePerInterval) {
    ChangeThrottle throttle(1000);
    EXPECT_TRUE(throttle.shouldAnnounce(5, 10000));  // the first reading
    EXPECT_FALSE(throttle.shouldAnnounce(5, 12000)); // the same unit: never again
    EXPECT_FALSE(throttle.shouldAnnounce(6, 10500)); // a new unit, too soon
    EXPECT_FALSE(throttle.shouldAnnounce(7, 10999));
    EXPECT_TRUE(throttle.shouldAnnounce(7, 11000)); // a second after the last one
    EXPECT_FALSE(throttle.shouldAnnounce(5, 11100));
    EXPECT_FALSE(throttle.shouldAnnounce(7, 13000)); // back at the unit announced
    throttle.reset();
    EXPECT_TRUE(throttle.shouldAnnounce(7, 13001));
}

TEST(Contrast, OnlyBlackAndWhitePalettesCountAsHighContrast) {
    EXPECT_NEAR(contrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0xFFFFFF, 0x000000), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(0x123456, 0x123456), 1.0, 1e-9);
    // The frequency display's own colours are legible, but not the
    // desktop's choice.
    EXPECT_GT(contrastRatio(0xB4FF00, 0x000000), 15.0);
    // Black on white and its inverse: window, window text, field, field text.
    EXPECT_TRUE(isHighContrast(0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000));
    EXPECT_TRUE(isHighContrast(0x000000, 0xFFFFFF, 0x000000, 0xFFFF00));
    // Qt's own light palette (grey window) and an ordinary dark one.
    EXPECT_FALSE(isHighContrast(0xEFEFEF, 0x000000, 0xFFFFFF, 0x000000));
    EXPECT_FALSE(isHighContrast(0x353535, 0xFFFFFF, 0x2A2A2A, 0xFFFFFF));
    // Both pairs must reach it.
    EXPECT_FALSE(isHighContrast(0xFFFFFF, 0x000000, 0xEFEFEF, 0x000000));
}

TEST(Shortcuts, EveryCommandHasOneKeyAndNoKeyTwoCommands) {
    std::set<std::pair<int, int>> keys;
    std::set<ShortcutCommand> commands;
    for (const Shortcut& s : shortcuts) {
        EXPECT_TRUE(keys.insert({s.modifiers, s.key}).second) << shortcutText(s) << " twice";
        EXPECT_TRUE(commands.insert(s.command).second);
        EXPECT_EQ(shortcutFor(s.command).key, s.key);
        // Ctrl always, never Alt: Alt with a letter is a caption's access key.
        EXPECT_TRUE(s.modifiers & MOD_CTRL) << shortcutText(s);
        EXPECT_FALSE(s.modifiers & MOD_ALT) << shortcutText(s);
    }
    EXPECT_EQ(commands.size(), static_cast<std::size_t>(ShortcutCommand::BandScope) + 1);
}

TEST(Shortcuts, KeysAreNamedAsTheManualShowsThem) {
    EXPECT_EQ(shortcutText(shortcutFor(ShortcutCommand::Lock)), "Ctrl+L");
    EXPECT_EQ(shortcutText(shortcutFor(ShortcutCommand::Stations)), "Ctrl+T");
    EXPECT_EQ(shortcutText(shortcutFor(ShortcutCommand::BandScope)), "Ctrl+B");
    EXPECT_EQ(shortcutText(shortcutFor(ShortcutCommand::BandUp)), "Ctrl+Page Up");
    EXPECT_EQ(shortcutText(shortcutFor(ShortcutCommand::StepDown)), "Ctrl+Down");
    EXPECT_EQ(shortcutText({ShortcutCommand::Lock, MOD_CTRL | MOD_SHIFT | MOD_ALT, 'X', ""}),
              "Ctrl+Alt+Shift+X");
}

// The manual page and the README list every key of the table.
TEST(Shortcuts, EveryKeyIsInTheManualPageAndTheReadme) {
    for (const char* szPath : {MANUAL_PAGE, README}) {
        std::ifstream file(szPath);
        ASSERT_TRUE(file) << szPath;
        std::stringstream text;
        text << file.rdbuf();
        for (const Shortcut& s : shortcuts) {
            EXPECT_NE(text.str().find(shortcutText(s)), std::string::npos)
                << shortcutText(s) << " not in " << szPath;
        }
    }
}

} // namespace
