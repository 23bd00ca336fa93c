// The station list in the control panel: what the dialog asks of it.
// No Qt here; the station window behind stationsShowWindow is Qt.
#pragma once

#include "platform/types.h"
#include "platform/window.h"
#include "stations/query.h"

#include <string>
#include <vector>

// Posted to the dialog when the station window (or "Program memories...")
// has tuned, so that the dialog shows the change as it shows the
// operator's own: wParam STATIONS_FREQUENCY with the frequency in hertz,
// or STATIONS_MODE with MODE_AM, MODE_CW or MODE_SSB.
inline constexpr UINT IDSTATIONS = WM_USER + 0x101;
inline constexpr WPARAM STATIONS_FREQUENCY = 1;
inline constexpr WPARAM STATIONS_MODE = 2;

// Opens the station database for the panel of hDlg. A database that
// cannot be opened, or was damaged and put aside, is told once in a box;
// the panel then runs without stations.
void stationsOpen(HWND hDlg);
// Closes the station window and the database (waits for an import).
void stationsClose();

// Shows the station window (the system menu's "Stations...").
void stationsShowWindow();

// After each receiver update: the window marks the row at the frequency,
// and a memory Read that was waiting for its answer is recorded.
void stationsRadioChanged(DWORD ulFrequency);
// The name of the station on the air at the frequency now; empty when
// there is none. Any thread: the scanner names its recordings with it.
std::string stationsNameAt(DWORD ulFrequency);
// The memory channels known to hold a frequency (from a confirmed Write
// or a Read), by number. Any thread.
std::vector<DWORD> stationsKnownMemories();

// For the band scope and its scans; user-interface thread.
// The frequencies on the air now, and those of a tag's entries.
std::vector<Tuning> stationsOnAirNow();
std::vector<Tuning> stationsTagged(const std::string& szTag);
std::vector<std::string> stationsTags();
// The names to show at their frequencies from ulLower to ulUpper now.
std::vector<Tuning> stationsNamesIn(DWORD ulLower, DWORD ulUpper);

// A confirmed Write stored this in the channel.
void stationsMemoryWritten(DWORD uMemory, DWORD ulFrequency, DWORD uMode);
// Call just before the Read is queued: the frequency answer that follows
// it is the channel's, and is recorded when it arrives.
void stationsMemoryReading(DWORD uMemory);
// The channel's name, empty when it has none.
std::string stationsMemoryName(DWORD uMemory);
