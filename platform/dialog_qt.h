// The widget behind a dialog handle, for windows of their own (plain Qt
// Widgets) that open over the dialog: as its children they are not
// blocked by its modality.
#pragma once

#include "platform/window.h"

class QWidget;

// The dialog's top-level widget, or nullptr when hWnd is no dialog on
// screen. User-interface thread only.
QWidget* DialogWidget(HWND hWnd);
