// Windows and posted messages.
//
// A window receives messages on its own thread. PostMessageA may be
// called from any thread: it places the message in the window's queue
// and returns at once, without waiting for it to be handled.
#pragma once

#include "platform/types.h"

struct Window {
    Window() = default;
    virtual ~Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Queues a message for the window's own thread; thread-safe.
    // Windows that take no posted messages refuse it.
    virtual BOOL post(UINT, WPARAM, LPARAM) { return FALSE; }
};
using HWND = Window*;

inline constexpr UINT WM_USER = 0x0400;

BOOL PostMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
