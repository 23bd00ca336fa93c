// The serial port as the operator sees it.
#include "app/connection.h"

#include "app/caption.h"
#include "app/resource.h"
#include "app/velkor.h"
#include "link/comthread.h"
#include "platform/portchooser.h"
#include "platform/profile.h"
#include "platform/sync.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string szPortInUse; // what pCom points at; user-interface thread only

void reportPortFailure(LPCSTR szPort, DWORD dwError) {
    const char* szHint = "";
    if (dwError == ERROR_ACCESS_DENIED) {
        szHint = " (serial ports belong to the group 'dialout': sudo usermod -aG dialout "
                 "$USER, then log in again)";
    }
    std::fprintf(stderr, "velkor: cannot open serial port \"%s\": %s%s\n", szPort,
                 ErrorText(dwError), szHint);
}

} // namespace

LPCSTR startPortName() {
    if (const char* szEnv = std::getenv(szComEnv)) {
        szPortInUse = szEnv;
    } else {
        szPortInUse = ReadSetting(szPortSection, szPortKey, "");
        if (szPortInUse.empty()) {
            szPortInUse = szComPort;
        }
    }
    return szPortInUse.c_str();
}

void showPortUnavailable(HWND hDlg, LPCSTR szPort, DWORD dwError) {
    reportPortFailure(szPort, dwError);
    setCaptionState(hDlg, CAPTION_DISCONNECTED, true);
    MessageBeep(MB_ICONEXCLAMATION);
    MessageBoxA(hDlg, szPort, "Device Unavailable", MB_ICONEXCLAMATION | MB_OK);
}

void choosePort(HWND hDlg) {
    std::string szChosen;
    if (!ChoosePortDialog(hDlg, EnumSerialPorts(), pCom, &szChosen)) {
        return;
    }
    szPortInUse = szChosen;
    pCom = szPortInUse.c_str();
    SetDlgItemTextA(hDlg, IDC_COM, pCom);
    setCaptionState(hDlg, CAPTION_DISCONNECTED, false);
    if (!WriteSetting(szPortSection, szPortKey, pCom)) {
        std::fprintf(stderr, "velkor: cannot keep the port choice for the next run\n");
    }
    if (const DWORD dwError = comSwitchPort(pCom); dwError != NO_ERROR) {
        showPortUnavailable(hDlg, pCom, dwError);
    }
}

void showPortState(HWND hDlg, BOOL bConnected) {
    const std::string szName = pCom != nullptr ? pCom : "";
    const std::string szField = bConnected ? szName : "(disconnected) " + szName;
    SetDlgItemTextA(hDlg, IDC_COM, szField.c_str());
    setCaptionState(hDlg, CAPTION_DISCONNECTED, !bConnected);
}
