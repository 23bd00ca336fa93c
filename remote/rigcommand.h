// The network rig-control protocol's commands, answered for this
// receiver: what one command line asks, read from the receiver picture
// `radio` or carried out through QueueMessage as the dialog does.
//
// Runs on one thread at a time (the server's); no sockets here.
#pragma once

#include "platform/types.h"
#include "platform/window.h"

#include <cstdint>
#include <string>
#include <string_view>

// Longest command line a client may send, in octets, its LF excluded.
inline constexpr std::size_t REMOTE_LINE_SIZE = 256;

// Posted to the dialog after each remote set, so that it follows the
// change as it follows the operator's own: wParam REMOTE_FREQUENCY with
// the frequency in hertz, or REMOTE_MODE with MODE_AM, MODE_CW or MODE_SSB.
inline constexpr UINT IDREMOTE = WM_USER + 0x100;
inline constexpr WPARAM REMOTE_FREQUENCY = 1;
inline constexpr WPARAM REMOTE_MODE = 2;

// A set shows in the gets for this long unless the receiver reports a
// change first: the command is still on its way to the receiver.
inline constexpr std::uint64_t REMOTE_HOLD_MS = 1500;
// Remote sets of one kind reach the link at most once in this time; a
// later one within it replaces the one that waits, so a client that sets
// as fast as it can never crowds the link.
inline constexpr std::uint64_t REMOTE_SET_SPACING_MS = 50;

// Answers one command line (its LF removed; a CR before it is ignored),
// appending the answer to *pszAnswer. ulNow is the time in milliseconds
// on a steady clock; iClient names the connection the line came from
// (the mode lock belongs to one). FALSE when the connection is to close
// after the answer: the client said so ("q"), or the line was not text.
BOOL rigCommand(std::string_view line, std::uint64_t ulNow, std::string* pszAnswer,
                int iClient = 0);

// The connection iClient has closed: a mode lock it held is released.
void rigClientClosed(int iClient);

// Sends the sets held back by the spacing that are due at ulNow; returns
// the time the next one is due, or 0 when none waits.
std::uint64_t rigFlush(std::uint64_t ulNow);

// Forgets commanded values, waiting sets and the mode lock.
void rigReset();
