// What the panel's station glue (panel.cpp) shares with the station
// window (window.cpp). User-interface thread only.
#pragma once

#include "platform/types.h"
#include "platform/window.h"
#include "stations/database.h"
#include "stations/station.h"

#include <string>
#include <vector>

namespace stations_panel {

// The open database, or null when the panel runs without stations.
StationDatabase* database();
// Where the database lies (for a second connection, the import's).
const std::string& databasePath();
// Every entry, reloaded when another program (or the window) changed
// the file.
const std::vector<Station>& entries();
// Reloads now; returns true when the entries changed.
bool reload();
// The dialog the panel runs in.
HWND dialog();

// Tunes to the entry (and sets its mode, where the receiver has it)
// through the control service, and shows it on the dialog. False, with
// the reason, when the receiver cannot tune there.
bool tune(const Station& station, std::string* pWhy);

// The frequency the receiver reported last.
DWORD tunedFrequency();

} // namespace stations_panel

// The window's side, called by the panel glue (window.cpp).
void stationsWindowFollow(DWORD ulFrequency);
void stationsWindowReload();
void stationsWindowClose();
