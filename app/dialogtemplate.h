// The panel's resources: dialog template 100 and icons 200, 201, 202.
#pragma once

#include "platform/dialog.h"

#include <span>

// Registers the dialog template and the three icons with the platform.
// Runs before the dialog is created.
void RegisterVelkorResources();

// The controls of template 100, in template order.
std::span<const DLGITEM> VelkorDialogItems();

// Template 100 itself: caption, position and size in dialog units.
const DLGTEMPLATEDATA& VelkorDialogTemplate();

// The artwork of icon 200, the program's icon.
std::span<const ICONSHAPE> VelkorIconShapes();
