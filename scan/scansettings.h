// The scanner's settings kept between runs: the lockout list and the
// range scan as last set (with its dwell, threshold, hang time and
// choices), in the program's settings file, section "Scan".
#pragma once

#include "platform/types.h"

// Reads them into the scanner; anything missing or unreadable keeps its
// default. FALSE when the lockout list had entries that were no frequency.
BOOL scanLoadSettings();
// Keeps what the scanner holds now; FALSE when the file cannot be written.
BOOL scanSaveSettings();
