// The receiver picture in the dialog: frequency, memory channel, speed,
// lock, mode and S-meter, and the band map that marks the band button
// for a frequency. Everything here runs on the user-interface thread and
// draws into hDlgHandle.
#pragma once

#include "platform/types.h"
#include "protocol/radiostate.h"

// Amateur bands: lower edge (inclusive) and upper edge (exclusive), hertz.
inline constexpr DWORD M160L = 1800000, M160H = 2000000;
inline constexpr DWORD M80L = 3500000, M80H = 4000000;
inline constexpr DWORD M40L = 7000000, M40H = 7300000;
inline constexpr DWORD M30L = 10100000, M30H = 10150000;
inline constexpr DWORD M20L = 14000000, M20H = 14350000;
inline constexpr DWORD M17L = 18068000, M17H = 18168000;
inline constexpr DWORD M15L = 21000000, M15H = 21450000;
inline constexpr DWORD M12L = 24890000, M12H = 24990000;
inline constexpr DWORD M10L = 28000000, M10H = 29700000;
// The amateur 60 m allocation is five channels, not a band.
inline constexpr DWORD M60C1 = 5330500, M60C2 = 5346500, M60C3 = 5366500, M60C4 = 5371500,
                       M60C5 = 5403500;

// Shortwave broadcast bands.
inline constexpr DWORD M120L = 2300000, M120H = 2495000;
inline constexpr DWORD M90L = 3200000, M90H = 3400000;
inline constexpr DWORD M75L = 3900000, M75H = 4000000;
inline constexpr DWORD M60L = 4750000, M60H = 5060000;
inline constexpr DWORD M49L = 5900000, M49H = 6200000;
inline constexpr DWORD M41L = 7200000, M41H = 7450000;
inline constexpr DWORD M31L = 9400000, M31H = 9900000;
inline constexpr DWORD M25L = 11600000, M25H = 12100000;
inline constexpr DWORD M22L = 13570000, M22H = 13870000;
inline constexpr DWORD M19L = 15100000, M19H = 15800000;
inline constexpr DWORD M16L = 17480000, M16H = 17900000;
inline constexpr DWORD M15SWL = 18900000, M15SWH = 19020000;
inline constexpr DWORD M13L = 21450000, M13H = 21850000;
inline constexpr DWORD M11L = 25600000, M11H = 26100000;

// What the dialog last showed of radio; written only by DialogDisplayUpdate.
extern RADIOSTATE state;

// The display text of a frequency in hertz ("15.000.000", " 7.000.000",
// "   500.000"); valid until the next call.
const char* formatDisplay(DWORD ulValue);

void DialogDisplayUpdateFrequency(DWORD ulValue);
void DialogDisplayUpdateMemory(DWORD uValue);
void DialogDisplayUpdateSpeed(DWORD uValue);
void DialogDisplayUpdateLock(BOOL bState);
void DialogDisplayUpdateMode(DWORD uMode);
void DialogDisplayUpdateSUnits(DWORD uSUnits);
// Redraws every field of radio that differs from state, copying it into
// state and local first.
void DialogDisplayUpdate();

// Marks the button of the shown band set that covers ulValue, or none.
void setBand(DWORD ulValue);
// The button of the amateur (bShortwave FALSE) or shortwave set that
// covers ulValue, or 0 when none does.
int bandButton(DWORD ulValue, BOOL bShortwave);
// The edges of the band of the amateur (bShortwave FALSE) or shortwave
// set that covers ulValue: lower inclusive, upper exclusive. FALSE when
// none does (the 60 m channels are no band).
BOOL bandEdges(DWORD ulValue, BOOL bShortwave, DWORD* pLower, DWORD* pUpper);
// The frequency a band button tunes to, or 0 for an id that is no band
// button.
DWORD bandFrequency(int id);
