// The exec thread: interprets every response line and tells the dialog.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

// The dialog window the notifications go to; set by the dialog before
// any thread runs.
extern HWND hDlgHandle;

// Posted to hDlgHandle with RADIO (the receiver state changed) or START
// (the receiver announced its start) and 0.
inline constexpr UINT IDUPDATE = WM_USER + 1;
inline constexpr WPARAM RADIO = 1;
inline constexpr WPARAM START = RADIO + 1;

// NO_ERROR, or the error code when the thread cannot be created.
DWORD execOpen();
void execStart();
// Stops and joins the exec thread. Safe when never opened or started,
// and twice; runs before comClose, while QueueResponse still exists.
void execClose();

DWORD execThread(LPVOID);
