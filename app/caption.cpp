// The dialog's caption from the panel's states.
#include "app/caption.h"

namespace {

unsigned uShown = 0; // user-interface thread only

} // namespace

std::string panelCaption(unsigned uStates) {
    std::string caption = szCaption;
    if (uStates & CAPTION_RECORDING)
        caption += " - recording";
    if (uStates & CAPTION_DISCONNECTED)
        caption += " - disconnected";
    return caption;
}

void setCaptionState(HWND hDlg, unsigned uState, bool bOn) {
    uShown = bOn ? uShown | uState : uShown & ~uState;
    SetWindowTextA(hDlg, panelCaption(uShown).c_str());
}

void resetCaptionStates() {
    uShown = 0;
}
