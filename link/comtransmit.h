// Writing one command to the serial port and waiting until it has left.
#pragma once

#include "platform/types.h"

// Writes the text, without its NUL, in one write; nothing without a port.
void comTransmit(HANDLE hCom, LPCSTR szMessage);
// Waits until the last octet has left the port: NO_ERROR, or
// ERROR_INVALID_HANDLE without a port, or the error of the failed wait.
DWORD comTransmitWait(HANDLE hCom);
