// The project's own helper (no Win32 counterpart): paints icon artwork,
// a list of ICONSHAPE in ICON_CANVAS units, with a Qt painter. The caller
// scales the painter to the size it wants.
#pragma once

#include "platform/dialog.h"

#include <QPainter>

#include <span>

void paintIconShapes(QPainter& painter, std::span<const ICONSHAPE> shapes);
