#include "platform/window.h"

BOOL PostMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return hWnd ? hWnd->post(uMsg, wParam, lParam) : FALSE;
}
