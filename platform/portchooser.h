// The port chooser: a small modal dialog listing the serial ports present,
// with a field for any other name.
#pragma once

#include "platform/dialog.h"
#include "platform/serialports.h"

#include <string>
#include <vector>

// Shows the chooser over hOwner: each port with its description, and the
// name field, which starts with szCurrent. Clicking a port puts its name
// in the field; a double click, or OK, chooses what the field holds.
// TRUE and *pChosen when a name was chosen; FALSE for Cancel or an empty
// field.
BOOL ChoosePortDialog(HWND hOwner, const std::vector<SERIALPORT>& ports, LPCSTR szCurrent,
                      std::string* pChosen);
