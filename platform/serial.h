// Serial ports, through the communication operations of the Win32 API.
//
// Win32 contract (names, arguments, results and GetLastError codes as
// there): DCB, COMMTIMEOUTS, COMSTAT, GetCommState, SetCommState,
// GetCommTimeouts, SetCommTimeouts, EscapeCommFunction, PurgeComm,
// SetCommMask, WaitCommEvent, ClearCommError and their constants. A port
// opens, reads and writes through platform/file.h.
// The project's own: commDevicePath and MAX_PORT_NAME.
//
// CreateFileA opens a serial port for a name that starts with "//./" (or
// "\\.\"). The rest is mapped to a Linux path: "COMn" (n >= 1, any case)
// is /dev/ttyS(n-1), a name that starts with "/" is the path itself, any
// other name is /dev/<name>. Only terminals open; a port is held
// exclusively, so a second open, in this or another program, fails with
// ERROR_SHARING_VIOLATION.
//
// A port reads under its COMMTIMEOUTS. With ReadIntervalTimeout and
// ReadTotalTimeoutMultiplier at MAXDWORD and a constant between 1 and
// MAXDWORD - 1, a read returns at once with the octets already received,
// else as soon as one arrives, else after the constant with none. When
// the device has gone away (hang-up, unplugged adapter) a read waits out
// its time-out and then fails, exactly as paced as a silent line.
// Writes have no time limit. PurgeComm with an abort flag ends a read or
// write that is waiting, from any thread.
#pragma once

#include "platform/file.h"
#include "platform/types.h"

#include <climits>
#include <cstddef>
#include <string>

// The longest port name that can name a device: the system's limit on a
// path, less its terminator.
inline constexpr std::size_t MAX_PORT_NAME = PATH_MAX - 1;

inline constexpr DWORD CBR_57600 = 57600;
inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE TWOSTOPBITS = 2;
inline constexpr DWORD DTR_CONTROL_DISABLE = 0;
inline constexpr DWORD DTR_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0;
inline constexpr DWORD RTS_CONTROL_ENABLE = 1;
inline constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
inline constexpr char XON = 0x11;
inline constexpr char XOFF = 0x13;

inline constexpr DWORD EV_TXEMPTY = 0x0004;

inline constexpr DWORD PURGE_TXABORT = 0x0001;
inline constexpr DWORD PURGE_RXABORT = 0x0002;
inline constexpr DWORD PURGE_TXCLEAR = 0x0004;
inline constexpr DWORD PURGE_RXCLEAR = 0x0008;

inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;

// Line settings.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};

// Read and write time-outs, in milliseconds.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

// Port status: octets waiting in each direction.
struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;
    DWORD cbOutQue;
};

BOOL GetCommState(HANDLE hFile, DCB* pDCB);
BOOL SetCommState(HANDLE hFile, DCB* pDCB);
BOOL GetCommTimeouts(HANDLE hFile, COMMTIMEOUTS* pCommTimeouts);
BOOL SetCommTimeouts(HANDLE hFile, COMMTIMEOUTS* pCommTimeouts);
BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc);
BOOL PurgeComm(HANDLE hFile, DWORD dwFlags);
BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask);
BOOL WaitCommEvent(HANDLE hFile, DWORD* pEvtMask, LPVOID pOverlapped);
BOOL ClearCommError(HANDLE hFile, DWORD* pErrors, COMSTAT* pStat);

// The Linux path a device name (the part after "//./") opens; empty when
// the name can name no device. Used by CreateFileA; visible for tests.
std::string commDevicePath(LPCSTR szDevice);
