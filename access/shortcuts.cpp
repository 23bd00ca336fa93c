// The shortcut table's look-up and key names.
#include "access/shortcuts.h"

namespace a11y {

const Shortcut& shortcutFor(ShortcutCommand command) {
    for (const Shortcut& s : shortcuts) {
        if (s.command == command) {
            return s;
        }
    }
    return shortcuts.front(); // unreachable: the table has every command
}

std::string shortcutText(const Shortcut& shortcut) {
    std::string szText;
    if (shortcut.modifiers & MOD_CTRL) {
        szText += "Ctrl+";
    }
    if (shortcut.modifiers & MOD_ALT) {
        szText += "Alt+";
    }
    if (shortcut.modifiers & MOD_SHIFT) {
        szText += "Shift+";
    }
    switch (shortcut.key) {
    case KEY_PAGEUP:
        return szText + "Page Up";
    case KEY_PAGEDOWN:
        return szText + "Page Down";
    case KEY_UP:
        return szText + "Up";
    case KEY_DOWN:
        return szText + "Down";
    default:
        return szText + static_cast<char>(shortcut.key);
    }
}

} // namespace a11y
