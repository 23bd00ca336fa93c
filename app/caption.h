// The dialog's caption: the program's name and what the panel is in the
// middle of, as suffixes that can stand together.
#pragma once

#include "platform/dialog.h"

#include <string>

inline constexpr const char* szCaption = "Velkor QX-4470 Control Program";

// States that the caption shows, as bits.
inline constexpr unsigned CAPTION_RECORDING = 0x1;    // " - recording"
inline constexpr unsigned CAPTION_DISCONNECTED = 0x2; // " - disconnected", always last

// The caption for a set of states.
std::string panelCaption(unsigned uStates);
// Sets or clears one state and shows the caption that results.
void setCaptionState(HWND hDlg, unsigned uState, bool bOn);
// Clears every state (a new dialog starts without any).
void resetCaptionStates();
