// The dialog's caption from the panel's states.
#include "app/caption.h"

namespace {

unsigned uShown = 0; // user-interface thread only
std::string szStationShown;

} // namespace

std::string panelCaption(unsigned uStates, const std::string& szStation) {
    std::string caption = szCaption;
    if (uStates & CAPTION_RECORDING)
        caption += " - recording";
    if (uStates & CAPTION_DISCONNECTED)
        caption += " - disconnected";
    if (!szStation.empty())
        caption += " \u2014 " + szStation; // a dash unlike the states'
    return caption;
}

void setCaptionState(HWND hDlg, unsigned uState, bool bOn) {
    uShown = bOn ? uShown | uState : uShown & ~uState;
    SetWindowTextA(hDlg, panelCaption(uShown, szStationShown).c_str());
}

void setCaptionStation(HWND hDlg, const std::string& szStation) {
    if (szStation == szStationShown) {
        return; // asked after every update: redraw only on a change
    }
    szStationShown = szStation;
    SetWindowTextA(hDlg, panelCaption(uShown, szStationShown).c_str());
}

void resetCaptionStates() {
    uShown = 0;
    szStationShown.clear();
}
