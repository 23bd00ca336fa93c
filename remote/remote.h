// The remote-control server: loggers, decoders, trackers and scanners
// read and set the receiver over the network rig-control protocol (TCP).
//
// One thread of its own waits on the listening socket, every client and
// a wake-up; nothing it does waits for the dialog or the link. Clients
// get their answers from remote/rigcommand.h.
#pragma once

#include "platform/types.h"

#include <string>

// The environment variable that starts the server with the program:
// "4532" (loopback), "127.0.0.1:4532", "[::1]:4532" or "0.0.0.0:4532".
inline constexpr const char* szRemoteEnv = "VELKOR_REMOTE";
// Where the system menu's "Remote Control" listens.
inline constexpr const char* szRemoteDefault = "127.0.0.1:4532";
inline constexpr const char* szRemoteLoopback = "127.0.0.1";
// Clients served at once; one more is closed as soon as it connects.
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
