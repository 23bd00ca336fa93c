// The serial port, the two message queues and the two link threads.
//
// The transmit thread takes the most urgent command from QueueMessage,
// writes it and waits until it has left the port; then the receive
// thread reads one window: octets until one complete line or frame, or
// until the line has been silent for 5 ms. Only then is the next command
// written. Without a port, commands are taken and dropped, and while the
// audio stream is on the windows replay "../wwv.bin".
//
// The window that follows a request for a clip ("?RMC\r") is the one
// exception: it ends when a frame is complete or when the line has been
// silent for FRAME_SILENCE (text lines read meanwhile are queued as
// usual). While audio streams nothing else opens a window, so a frame
// that starts late or pauses midway must be waited for here. When the
// silence passes, a partly framed frame is abandoned, and while audio is
// on the clip is requested again; after MAX_UNANSWERED_REQUESTS requests
// in a row without any frame the stream ends as if "*RMC\r" had been
// sent, and the status poll resumes.
//
// A port that fails (a read or a write error: the adapter was unplugged)
// is closed, and the link runs as without a port; so does a port that
// could not be opened. Either is tried again every REOPEN_PERIOD until it
// opens, without restarting anything else. Each loss and each return is
// told on stderr once and posted to hDlgHandle as IDUPDATE PORT. The
// operator's last frequency, mode and lock commands taken meanwhile are
// sent when a port opens, and the audio stream, when it is on, is asked
// for again.
#pragma once

#include "link/execthread.h"
#include "link/queue.h"
#include "platform/sync.h"
#include "platform/types.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

// A frame that starts late or pauses: USB serial adapters hold received
// octets up to 16 ms, so a frame arrives in packets about 11 ms apart and
// begins up to 16 ms after the request; 100 ms rides out such gaps with
// room for a busy receiver or a loaded machine. A longer wait would only
// lengthen the silence after a lost octet (the wait plus one frame on
// the line, about 0.15 s) and the return to polling after a receiver
// that does not stream (MAX_UNANSWERED_REQUESTS waits plus a poll
// period, which must stay under half a second).
inline constexpr std::chrono::milliseconds FRAME_SILENCE{100};
// Requests in a row that bring nothing of a frame before the stream is
// taken to have ended. A request garbled by line noise goes unanswered
// once; three in a row (0.3 s) mean a receiver that does not stream.
inline constexpr int MAX_UNANSWERED_REQUESTS = 3;

// A window that reads octets without ever completing a line or frame (line
// noise, a run of "@", the wrong device on the port) ends when it has read
// this many octets, two frames' worth (94 ms at the line rate; a frame is
// "@RMC", 16 status octets and 250 audio octets) ...
inline constexpr int WINDOW_OCTET_LIMIT = 2 * (4 + 16 + 250);
// ... or when it has been open this long, whichever comes first. The
// framer is then resynchronised and the window ends as silence would.
inline constexpr std::chrono::milliseconds WINDOW_TIME_LIMIT{1000};
// While audio is on and a stream that flowed has stopped without
// "*RMC\r" (the receiver fell silent or restarted), the clip is asked for
// again at the receiver's first answer, and failing that this often:
// with one retry whose window is a command's, so the status poll keeps its
// pace while a receiver that answers it but does not stream is asked.
inline constexpr std::chrono::milliseconds STREAM_RETRY_PERIOD{1000};

// What the link has seen since comOpen.
struct LINKCOUNTERS {
    Shared<std::uint64_t> ulFramesAbandoned;    // partly framed when the silence passed
    Shared<std::uint64_t> ulRequestsUnanswered; // nothing of a frame before the silence passed
    Shared<std::uint64_t> ulRequestsRepeated;   // requests queued again after the silence
    Shared<std::uint64_t> ulStreamsEnded;       // streams ended by unanswered requests
    Shared<std::uint64_t> ulWindowsCut;         // windows ended by the octet or time limit
    Shared<std::uint64_t> ulResyncs;            // partly framed units the link abandoned
    Shared<std::uint64_t> ulBacklogUnits;       // units taken from the port without a window
    Shared<std::uint64_t> ulResponsesDropped;   // complete units lost to a full QueueResponse
    Shared<std::uint64_t> ulPollsSkipped;       // poll batches left out: the last still waited
    Shared<std::uint64_t> ulStreamsResumed;     // clips asked for again after the stream stopped
};
extern LINKCOUNTERS linkCounters;

extern QUEUE QueueMessage;                           // commands out
extern QUEUE QueueResponse;                          // complete response lines in
extern std::array<char, MAXRESPONSESIZE> szResponse; // line being assembled by the framer
extern Shared<int> bStreaming;                       // TRUE while audio frames are expected

// Posted to hDlgHandle as IDUPDATE's first parameter when the port is
// lost (second parameter FALSE) or opens again (TRUE).
inline constexpr WPARAM PORT = START + 1;

// NO_ERROR, or the error code of the step that failed. The queues and
// events exist in either case; without a port the link runs portless and
// tries the port again every second, unless its name cannot be a path
// (empty, or longer than MAX_PORT_NAME).
DWORD comOpen(LPCSTR szComPort);
// Closes the port in use (putting back its settings) and opens
// szComPort in its place, set up as comOpen sets it up; the queues and
// threads carry on. NO_ERROR, or the open's error code: the link then runs
// without a port and tries szComPort every second. Dialog thread.
DWORD comSwitchPort(LPCSTR szComPort);
void comStart();
// Stops and joins both link threads, then releases the port (restoring
// its settings), the queues, the replay file and the events; while a
// thread that did not stop in time is left behind (see platform/worker.h)
// they are kept instead. Safe when never opened, never started, or
// already closed.
void comClose();

DWORD comThreadTransmit(LPVOID);
DWORD comThreadReceive(LPVOID);
// One octet from the port, or from the replay file; *pulRead is 0 or 1.
BYTE ReadOctet(DWORD* pulRead);
// Asks for the audio stream again when audio is on, the stream flowed and
// then stopped without the operator's "*RMC\r", and no request waits in
// QueueMessage.
// TRUE when it queued one.
int comResumeStream();
// One line per counter of the link and of QueueMessage that is not zero,
// for the measuring tools and the program's exit report; "" when all are.
std::string linkCountersText();
