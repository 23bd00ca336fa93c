// What the file and serial-port parts of the platform share; private to
// platform/. ReadFile and WriteFile (platform/file.cpp) hand a serial
// port's handle to the serial part (platform/serial.cpp). Every name
// here is the project's own.
#pragma once

#include "platform/types.h"

#include <optional>

namespace comm_internal {

// The GetLastError code for a POSIX errno value.
DWORD errorFromErrno(int error);
// Sets the last error and returns FALSE.
BOOL fail(DWORD dwError);
BOOL failErrno();

// Opens the serial port `szDevice` (a name after "//./") for CreateFileA.
HANDLE openSerialPort(LPCSTR szFileName, LPCSTR szDevice, DWORD dwShareMode);
// ReadFile and WriteFile on a serial port; nullopt when hFile is none.
std::optional<BOOL> readSerialPort(HANDLE hFile, BYTE* pBuffer, DWORD nToRead, DWORD* pRead);
std::optional<BOOL> writeSerialPort(HANDLE hFile, const BYTE* pBuffer, DWORD nToWrite,
                                    DWORD* pWritten);

} // namespace comm_internal
