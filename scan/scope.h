// The band scope window, for the dialog: no Qt in this header.
#pragma once

#include "platform/types.h"
#include "platform/window.h"
#include "scan/scan.h"
#include "scan/sweep.h"

#include <string>
#include <vector>

// What the band scope asks of the station list, where the program has
// one; each may be null. User-interface thread.
struct SCOPESTATIONS {
    // The names to write at their frequencies from ulLower to ulUpper.
    std::vector<SCOPENAME> (*pNamesIn)(DWORD ulLower, DWORD ulUpper) = nullptr;
    // The frequencies on the air now, for the "on air now" scan.
    std::vector<SCANCHANNEL> (*pOnAirNow)() = nullptr;
    // The tags the entries carry, and the frequencies of a tag's entries.
    std::vector<std::string> (*pTags)() = nullptr;
    std::vector<SCANCHANNEL> (*pTagged)(const std::string& szTag) = nullptr;
};
void scopeSetStations(const SCOPESTATIONS& stations);

// Opens the band scope over the dialog hDlg (or raises it when open),
// with ulLower..ulUpper as the range it offers and ulTuned as where the
// receiver is. Tuning by a click is shown in the dialog as a remote
// tuning is (IDREMOTE). User-interface thread.
void scopeShow(HWND hDlg, DWORD ulLower, DWORD ulUpper, DWORD ulTuned);
// Closes the window, if open.
void scopeClose();
