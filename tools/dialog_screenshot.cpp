// velkor-screenshot: renders the panel's dialog off screen into a PNG file.
//
// Usage: velkor-screenshot [file.png [frequency text]]
//        (default: velkor.png, "15.000.000")
//        velkor-screenshot --show
//        runs the dialog on the display until it is closed, printing the
//        messages the procedure receives (for trying the dialog by hand).
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
    HMENU menu = GetSystemMenu(hDlg, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDC_AMATEUR, "Amateur Bands");
    AppendMenuA(menu, MF_STRING, IDC_SWL, "Shortwave Bands");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDC_RESTART, "Radio Restart");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDC_ABOUT, "About");
    CheckMenuItem(menu, IDC_AMATEUR, MF_BYCOMMAND | MF_CHECKED);
}

bool bVerbose = false;

INT_PTR StandInProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (bVerbose && uMsg == WM_COMMAND) {
        std::printf("WM_COMMAND %d\n", LOWORD(wParam));
    } else if (bVerbose && uMsg == WM_NOTIFY) {
        const auto* nm = reinterpret_cast<const NMUPDOWN*>(lParam);
        std::printf("WM_NOTIFY %d %d\n", static_cast<int>(nm->hdr.idFrom), nm->iDelta);
    } else if (bVerbose && uMsg == WM_SYSCOMMAND) {
        std::printf("WM_SYSCOMMAND %u\n", static_cast<unsigned>(wParam));
    } else if (bVerbose && uMsg == WM_CLOSE) {
        std::printf("WM_CLOSE\n");
    }
    std::fflush(stdout);
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
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--show") {
        RegisterVelkorResources();
        hBlack = CreateSolidBrush(RGB(0, 0, 0));
        bVerbose = true;
        return static_cast<int>(
            DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), nullptr, StandInProc, 0));
    }
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
