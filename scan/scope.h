// The band scope window, for the dialog: no Qt in this header.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

// Opens the band scope over the dialog hDlg (or raises it when open),
// with ulLower..ulUpper as the range it offers and ulTuned as where the
// receiver is. Tuning by a click is shown in the dialog as a remote
// tuning is (IDREMOTE). User-interface thread.
void scopeShow(HWND hDlg, DWORD ulLower, DWORD ulUpper, DWORD ulTuned);
// Closes the window, if open.
void scopeClose();
