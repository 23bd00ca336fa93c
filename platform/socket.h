// TCP sockets for a small network service, and a wake-up that a wait on
// sockets can include.
//
// Every socket these calls make is non-blocking: a receive or send that
// cannot go on at once reports SOCKET_WOULDBLOCK instead of waiting, and
// WSAPoll is the one place a thread waits. A send to a peer that has gone
// away fails with SOCKET_ERROR; it never raises a signal.
#pragma once

#include "platform/types.h"

#include <string>

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr int SOCKET_WOULDBLOCK = -2;

// Events of WSAPoll: data or a connection to take, room to send, and the
// peer's hang-up or an error (reported whether asked for or not).
inline constexpr short POLL_READ = 0x1;
inline constexpr short POLL_WRITE = 0x2;
inline constexpr short POLL_HANGUP = 0x4;

struct WSAPOLLFD {
    SOCKET fd;
    short events;
    short revents;
};

// Waits until one of the sockets has an event asked for, or the time-out
// (milliseconds, INFINITE for none) ends. The number of sockets with
// events, 0 after the time-out, SOCKET_ERROR on failure.
int WSAPoll(WSAPOLLFD* pSockets, DWORD nSockets, DWORD dwMilliseconds);

// A socket listening for TCP connections on the numeric address szHost
// ("127.0.0.1", "::1", "0.0.0.0", ...) and port wPort, or INVALID_SOCKET
// with the reason in *pszError ("address already in use").
SOCKET ListenSocket(LPCSTR szHost, WORD wPort, std::string* pszError);
// The port a listening socket is bound to (the one chosen for port 0).
WORD SocketPort(SOCKET hSocket);
// A waiting connection, or INVALID_SOCKET when none waits.
SOCKET AcceptSocket(SOCKET hListen);
// Octets received (> 0), 0 when the peer has closed, SOCKET_WOULDBLOCK
// or SOCKET_ERROR.
int ReceiveSocket(SOCKET hSocket, char* pBuffer, int nSize);
// Octets sent (maybe fewer than nSize), SOCKET_WOULDBLOCK or SOCKET_ERROR.
int SendSocket(SOCKET hSocket, const char* pBuffer, int nSize);
void closesocket(SOCKET hSocket);

// A wake-up: readable for WSAPoll from SignalWakeSocket until
// ClearWakeSocket; signals given meanwhile fold into one.
SOCKET CreateWakeSocket();
void SignalWakeSocket(SOCKET hWake);
void ClearWakeSocket(SOCKET hWake);

// For a thread whose sockets belong to a library that writes without
// asking the system to spare it (libshout): a peer that has gone then
// gives that write an error instead of ending the program.
void IgnoreBrokenPipeOnThisThread();
