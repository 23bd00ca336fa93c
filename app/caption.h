// The dialog's caption: the program's name and what the panel is in the
// middle of, as suffixes that can stand together.
#pragma once

#include "platform/dialog.h"

#include <string>

inline constexpr const char* szCaption = "Velkor QX-4470 Control Program";

// States that the caption shows, as bits.
inline constexpr unsigned CAPTION_RECORDING = 0x1;    // " - recording"
inline constexpr unsigned CAPTION_DISCONNECTED = 0x2; // " - disconnected", always last

// The caption for a set of states, and the station's name after them
// (" — Radio Example") when there is one.
std::string panelCaption(unsigned uStates, const std::string& szStation = {});
// Sets or clears one state and shows the caption that results.
void setCaptionState(HWND hDlg, unsigned uState, bool bOn);
// Names the station on the air after the states ("" for none).
void setCaptionStation(HWND hDlg, const std::string& szStation);
// Clears every state (a new dialog starts without any).
void resetCaptionStates();
