// The remote-control server: loggers, decoders, trackers and scanners
// read and set the receiver over the network rig-control protocol (TCP).
//
// One thread of its own waits on the listening socket, every client and
// a wake-up; nothing it does waits for the dialog or the link. Clients
// get their answers from remote/rigcommand.h.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>

// The environment variable that starts the server with the program:
// "4532" (loopback), "127.0.0.1:4532", "[::1]:4532" or "0.0.0.0:4532".
inline constexpr const char* szRemoteEnv = "VELKOR_REMOTE";
// Where the system menu's "Remote Control" listens.
inline constexpr const char* szRemoteDefault = "127.0.0.1:4532";
inline constexpr const char* szRemoteLoopback = "127.0.0.1";
// Clients served at once. When one more connects, the connection that
// has been silent longest is told "RPRT -8" and closed to make room: a
// crashed client's half-open sockets never lock the others out.
inline constexpr int REMOTE_CLIENTS = 16;

// Splits an address as VELKOR_REMOTE gives it into host and port; a port
// alone means loopback. FALSE for anything else.
BOOL remoteParseAddress(const std::string& szAddress, std::string* pszHost, WORD* pwPort);

// Listens on szAddress and creates the server thread, suspended. FALSE,
// with the reason in *pszError, when the address is malformed or cannot
// be bound; nothing is left open then.
BOOL remoteOpen(const std::string& szAddress, std::string* pszError);
void remoteStart();
// Stops the server: wakes its thread, joins it (a second at most) and
// closes every client and the listening socket. Safe when never opened,
// and twice.
void remoteClose();
BOOL remoteRunning();
// The port listened on (what port 0 was given), 0 when not running.
WORD remotePort();
// Connections closed to make room for a new one since the server was
// last opened; and the same as a line of the link counters' text (empty
// while there were none).
std::uint64_t remoteEvictions();
std::string remoteCountersText();
