// Files, through the operations of the Win32 file API.
//
// Win32 contract (names, arguments, results and GetLastError codes as
// there): CreateFileA, ReadFile, WriteFile, SetFilePointer and the
// GENERIC_..., OPEN_EXISTING and FILE_... constants. No helpers of the
// project's own.
//
// CreateFileA opens either a serial port or a plain file:
// - A name that starts with "//./" (or "\\.\") names a device, which
//   opens as a serial port (platform/serial.h says how it is found).
// - Any other name is a regular file, opened for reading.
// ReadFile and WriteFile serve both; SetFilePointer serves files only.
#pragma once

#include "platform/types.h"

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

HANDLE CreateFileA(LPCSTR szFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPVOID pSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD nNumberOfBytesToRead, DWORD* pNumberOfBytesRead,
              LPVOID pOverlapped);
BOOL WriteFile(HANDLE hFile, const void* pBuffer, DWORD nNumberOfBytesToWrite,
               DWORD* pNumberOfBytesWritten, LPVOID pOverlapped);
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* pDistanceToMoveHigh,
                     DWORD dwMoveMethod);
