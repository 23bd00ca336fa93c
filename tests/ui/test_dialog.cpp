#include "test_dialog.h"

namespace uitest {
namespace {
Extra& extra() {
    static Extra value;
    return value;
}
HBRUSH blackBrush() {
    static HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    return brush;
}
} // namespace

std::vector<Received>& received() {
    static std::vector<Received> all;
    return all;
}

std::vector<Received> receivedOf(UINT msg) {
    std::vector<Received> some;
    for (const Received& r : received()) {
        if (r.msg == msg) {
            some.push_back(r);
        }
    }
    return some;
}

void setExtra(Extra e) {
    extra() = std::move(e);
}

INT_PTR TestProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (INT_PTR answer = 0; extra() && extra()(hDlg, uMsg, wParam, lParam, answer)) {
        return answer;
    }
    if (uMsg == WM_CTLCOLORSTATIC) {
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_FREQ) {
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(180, 255, 0));
            SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(blackBrush());
        }
        return FALSE;
    }
    Received r{uMsg, wParam, 0, 0, 0, false};
    if (uMsg == WM_COMMAND) {
        r.id = LOWORD(wParam);
        r.markAtCommand = GetDlgItem(hDlg, r.id) && IsDlgButtonChecked(hDlg, r.id) == BST_CHECKED;
    } else if (uMsg == WM_NOTIFY) {
        const auto* nm = reinterpret_cast<const NMUPDOWN*>(lParam);
        r.id = static_cast<int>(nm->hdr.idFrom);
        r.code = nm->hdr.code;
        r.delta = nm->iDelta;
    } else if (uMsg == WM_SYSCOMMAND) {
        r.id = static_cast<int>(wParam);
    }
    received().push_back(r);
    return uMsg == WM_SYSCOMMAND && wParam < 0xF000 ? TRUE : FALSE;
}

void reset() {
    RegisterVelkorResources();
    received().clear();
    extra() = nullptr;
    dialogtest::SetMessageBoxResponder(nullptr);
    dialogtest::SetMenuResponder(nullptr);
    dialogtest::ClearMessageBoxesSeen();
}

INT_PTR run(const std::function<void(HWND)>& script) {
    return dialogtest::RunDialog(IDD_MAIN, TestProc, script);
}

} // namespace uitest
