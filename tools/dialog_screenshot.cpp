// velkor-screenshot: renders the panel's dialog off screen into a PNG file.
//
// Usage: velkor-screenshot [file.png [frequency text]]
//        (default: velkor.png, "15.000.000")
// Runs dialog template 100 with a stand-in procedure that draws the
// start-up picture (frequency, speed, memory, S-meter, mode, fonts,
// colours and button pictures), saves what the dialog shows and ends.
#include "app/dialogtemplate.h"
#include "app/resource.h"
#include "platform/dialog.h"
#include "platform/dialog_testing.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HBRUSH hBlack = nullptr;
const char* szFrequency = "15.000.000";

void drawStartPicture(HWND hDlg) {
    HFONT large =
        CreateFontA(48, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
    HFONT small =
        CreateFontA(24, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Tahoma");
    SendDlgItemMessageA(hDlg, IDC_FREQ, WM_SETFONT, reinterpret_cast<WPARAM>(large), TRUE);
    for (int id : {IDC_MEMORY, IDC_SPEED, IDC_DIRECT}) {
        SendDlgItemMessageA(hDlg, id, WM_SETFONT, reinterpret_cast<WPARAM>(small), TRUE);
    }
    const auto icon = [](int id) {
        return reinterpret_cast<LPARAM>(LoadIconA(nullptr, MAKEINTRESOURCEA(id)));
    };
    SendMessageA(hDlg, WM_SETICON, ICON_SMALL, icon(IDI_VELKOR));
    SendMessageA(hDlg, WM_SETICON, ICON_BIG, icon(IDI_VELKOR));
    SendMessageA(GetDlgItem(hDlg, IDOK), BM_SETIMAGE, IMAGE_ICON, icon(IDI_EXIT));
    SendMessageA(GetDlgItem(hDlg, IDC_RESTART), BM_SETIMAGE, IMAGE_ICON, icon(IDI_RESTART));
    SetDlgItemTextA(hDlg, IDC_COM, std::getenv("VELKOR") ? std::getenv("VELKOR") : "COM1");
    SetDlgItemTextA(hDlg, IDC_FREQ, szFrequency);
    SetDlgItemTextA(hDlg, IDC_SPEED, "  2500");
    SetDlgItemTextA(hDlg, IDC_MEMORY, "  1");
    SendDlgItemMessageA(hDlg, IDC_SUNIT, PBM_SETPOS, 100, 0);
    CheckRadioButton(hDlg, IDC_AM, IDC_SSB, IDC_AM);
    EnableWindow(GetDlgItem(hDlg, IDC_AUDIO), TRUE);
    SetFocus(GetDlgItem(hDlg, IDC_DIRECT));
}

INT_PTR StandInProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        drawStartPicture(hDlg);
        return FALSE;
    case WM_CTLCOLORSTATIC:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_FREQ) {
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(180, 255, 0));
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(hBlack);
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(hDlg, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "velkor.png";
    if (argc > 2) {
        szFrequency = argv[2];
    }
    RegisterVelkorResources();
    hBlack = CreateSolidBrush(RGB(0, 0, 0));
    bool saved = false;
    dialogtest::RunDialog(IDD_MAIN, StandInProc, [&](HWND hDlg) {
        dialogtest::ProcessEvents(100);
        saved = dialogtest::Screenshot(hDlg, path);
    });
    if (!saved) {
        std::fprintf(stderr, "velkor-screenshot: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
