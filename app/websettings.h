// The web panel's and the Icecast stream's kept settings: the operator's
// password (as a salted hash only) and the Icecast source address, in
// the program's settings file, and the system menu's "Web Settings...".
// The environment (VELKOR_WEB_PASSWORD, VELKOR_ICECAST) wins over them.
#pragma once

#include "platform/dialog.h"
#include "web/web.h"

#include <string>

inline constexpr const char* szWebSection = "web";
inline constexpr const char* szWebPasswordKey = "passwordHash";
inline constexpr const char* szWebIcecastKey = "icecast";

// What the settings file keeps, for webOpen.
WEBSETTINGS webKeptSettings();
// The Icecast source address: VELKOR_ICECAST when it is set, else the
// kept one; "" when there is none.
std::string icecastAddress();
// Shows the settings dialog and keeps what it gives; TRUE when something
// was kept (a running server or stream then starts again with it).
BOOL editWebSettings(HWND hDlg);
