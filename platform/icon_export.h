// The project's own helpers (no Win32 counterpart): icon artwork written
// to files for the desktop, PNG at any size and SVG. Both return FALSE
// when the file cannot be written.
#pragma once

#include "platform/dialog.h"

#include <span>

BOOL WriteIconPngA(LPCSTR szPath, std::span<const ICONSHAPE> shapes, int nSize);
BOOL WriteIconSvgA(LPCSTR szPath, std::span<const ICONSHAPE> shapes, LPCSTR szTitle);
