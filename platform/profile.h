// Settings kept between runs, in Qt's settings file
// ~/.config/velkor/velkor.conf ($XDG_CONFIG_HOME/velkor/velkor.conf when
// that is set), as sections of named texts.
#pragma once

#include "platform/types.h"

#include <string>

// The text kept under szSection and szKey, or szDefault when there is
// none (or the file cannot be read).
std::string ReadSetting(LPCSTR szSection, LPCSTR szKey, LPCSTR szDefault);
// Keeps szValue under szSection and szKey; FALSE when the file cannot be
// written.
BOOL WriteSetting(LPCSTR szSection, LPCSTR szKey, LPCSTR szValue);
