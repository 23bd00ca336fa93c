// The program's shortcut keys, one table for every window: the panel
// binds the ones it has, and the station window and the band scope take
// theirs from here, so no two windows give one key two meanings.
//
// Only Ctrl with a letter, an arrow or Page Up/Down is used. Keys that
// screen readers keep for themselves are left alone: Insert and Caps Lock
// (the screen reader's own modifier) with anything, the keys of the
// numeric keypad, Ctrl pressed alone (stops speech), and Super and
// Ctrl+Alt (the desktop's). Alt with a letter stays with the access keys
// of captions ("&Read": Alt+R), and Alt+Space, Alt+F4, Escape, Enter,
// Tab and the plain arrows keep their usual meanings.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace a11y {

// What a shortcut does.
enum class ShortcutCommand : std::uint16_t {
    DirectEntry,   // the keyboard to the direct-entry field
    StepUp,        // tune one step up (the frequency spinner's upper arrow)
    StepDown,      // tune one step down
    BandUp,        // tune to the next band above, of the band set shown
    BandDown,      // tune to the next band below
    NextMode,      // the next mode: AM, CW, SSB, AM, ...
    Lock,          // the Lock check box
    Enable,        // the Enable check box (digital audio)
    ReadFrequency, // the keyboard to the frequency display, which is then read
    ReadSignal,    // the keyboard to the S-meter, which is then read
    Stations,      // the station window
    BandScope,     // the band scope window
};

// Modifier bits and key codes, with the values of the usual virtual-key
// codes: a letter is its upper-case character.
inline constexpr std::uint8_t MOD_SHIFT = 0x04;
inline constexpr std::uint8_t MOD_CTRL = 0x08;
inline constexpr std::uint8_t MOD_ALT = 0x10;
inline constexpr std::uint16_t KEY_PAGEUP = 0x21;
inline constexpr std::uint16_t KEY_PAGEDOWN = 0x22;
inline constexpr std::uint16_t KEY_UP = 0x26;
inline constexpr std::uint16_t KEY_DOWN = 0x28;

struct Shortcut {
    ShortcutCommand command;
    std::uint8_t modifiers; // MOD_... bits
    std::uint16_t key;      // 'A' .. 'Z' or KEY_...
    const char* szWhat;     // what it does, for tooltips and the manual
};

inline constexpr std::array<Shortcut, 12> shortcuts{{
    {ShortcutCommand::DirectEntry, MOD_CTRL, 'D', "Direct entry"},
    {ShortcutCommand::StepUp, MOD_CTRL, KEY_UP, "Tune one step up"},
    {ShortcutCommand::StepDown, MOD_CTRL, KEY_DOWN, "Tune one step down"},
    {ShortcutCommand::BandUp, MOD_CTRL, KEY_PAGEUP, "Next band up"},
    {ShortcutCommand::BandDown, MOD_CTRL, KEY_PAGEDOWN, "Next band down"},
    {ShortcutCommand::NextMode, MOD_CTRL, 'M', "Next mode"},
    {ShortcutCommand::Lock, MOD_CTRL, 'L', "Lock"},
    {ShortcutCommand::Enable, MOD_CTRL, 'E', "Digital audio on or off"},
    {ShortcutCommand::ReadFrequency, MOD_CTRL, 'F', "Read the frequency"},
    {ShortcutCommand::ReadSignal, MOD_CTRL, 'S', "Read the S-meter"},
    {ShortcutCommand::Stations, MOD_CTRL, 'T', "Stations"},
    {ShortcutCommand::BandScope, MOD_CTRL, 'B', "Band Scope"},
}};

// The shortcut of a command (every command has one).
const Shortcut& shortcutFor(ShortcutCommand command);
// The keys as shown in tooltips and the manual: "Ctrl+L", "Ctrl+Page Up".
std::string shortcutText(const Shortcut& shortcut);

} // namespace a11y
