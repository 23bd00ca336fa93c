// What the program does before its window: the command-line options
// (--help, --version) and the check that there is a display to show on.
#pragma once

// Carries out the command line and checks for a display. Returns -1 when
// the program is to go on and open its window, otherwise the exit status
// (0 after --help or --version, 2 for an unknown option or no display).
int handleCommandLine(int argc, const char* const* argv);
