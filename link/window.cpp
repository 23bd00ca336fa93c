// The receive window: what one window reads, when it ends, and the
// requests for the audio stream that follow from it.
#include "link/window.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/control.h"
#include "link/lockstep.h"
#include "link/port.h"
#include "link/replay.h"
#include "protocol/command.h"
#include "protocol/comreceive.h"

#include <chrono>

namespace {

// A frame takes 47 ms on the line: a window after a request for a clip
// that has read octets for this long without one is not getting one.
constexpr auto FRAME_WINDOW_LIMIT = std::chrono::seconds(1);
// A full QueueResponse is retried this often, this many ms apart.
constexpr int RESPONSE_RETRIES = 50;
constexpr DWORD RESPONSE_RETRY_PAUSE = 1;

// TRUE while the window that follows a request for a clip is open.
Shared<int> bFrameRequested{0};
// Requests in a row whose window brought nothing of a frame. Counted on
// the receive thread; the transmit thread clears it when the stream is
// switched off, while no window is open.
Shared<int> iUnanswered{0};
// TRUE from the first frame after a request until "*RMC\r" is sent: a
// stream that flowed and then stopped without the operator's "*RMC\r"
// (the receiver fell silent or restarted) is asked for again while audio
// is on. A receiver that never sent a frame is not asked again.
Shared<int> bStreamWanted{FALSE};
// TRUE once an answer from the receiver has brought a request since the
// last frame: later ones wait for the poll thread's slower retry, so a
// receiver that answers polls but no longer streams is not asked after
// every poll. Both on the receive thread, and cleared by the transmit
// thread while no window is open.
Shared<int> bAskedOnAnswer{FALSE};

void frameCompleted() {
    iUnanswered = 0;
    bStreamWanted = TRUE;
    bAskedOnAnswer = FALSE;
}

// A unit from the receiver while audio is on and the stream has stopped.
void receiverAnswered() {
    if (!bAudioOn || bStreaming || bAskedOnAnswer)
        return;
    if (comResumeStream())
        bAskedOnAnswer = TRUE;
}

// Queues a complete unit for the exec thread, matched to its query
// (controlReceived) before the next command can leave. A full
// QueueResponse gets a moment to drain (the exec thread takes a line in
// microseconds); a unit that still finds no room is lost and counted.
void queueResponse() {
    for (int attempt = 0; attempt < RESPONSE_RETRIES; ++attempt) {
        if (enqueue(&QueueResponse, szResponse.data(), MIN_PRIORITY) == QUEUE_SUCCESS)
            return;
        if (linkStopping())
            break;
        linkPause(RESPONSE_RETRY_PAUSE);
    }
    controlReceiveDropped(szResponse.data());
    linkCounters.ulResponsesDropped += 1;
}

// After a complete unit: the octets already waiting in the port are read
// at once and every unit they complete is queued, so a backlog of answers
// (lines nobody asked for) drains in one window instead of one per
// command. Only what was waiting when the unit completed is read: a line
// that keeps sending cannot hold the window open. A unit left incomplete
// is continued by the next window.
void takeBacklog(DWORD ulWaiting) {
    for (DWORD ulLeft = ulWaiting; ulLeft > 0 && !linkStopping(); --ulLeft) {
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        if (ulRead == 0)
            return;
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            controlReceived(szResponse.data());
            if (bWasInFrame)
                frameCompleted();
            linkCounters.ulBacklogUnits += 1;
            queueResponse();
            receiverAnswered();
        }
    }
}

// The window read octets up to its limit without a complete unit: what
// is partly framed is noise, and the window ends as silence would.
void cutWindow() {
    linkCounters.ulWindowsCut += 1;
    linkCounters.ulResyncs += 1;
    if (comReceiveInFrame())
        bStreaming = FALSE; // as after silence inside a frame
    comReceiveSync();
}

// One receive window: octets until a complete packet, a silent read, a
// whole pass of the replay file without a complete packet, or the octet
// or time limit of a line that babbles.
void commandWindow() {
    const auto opened = std::chrono::steady_clock::now();
    int replayWraps = 0;
    int octets = 0;
    replayTakeWrapped(); // a wrap before this window does not count
    while (!linkStopping()) {
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        if (ulRead == 0) {
            // The window ends here even inside a frame, which the next
            // window continues. Should no next window come (nothing
            // queued, and the poll silent because a frame has begun, such
            // as one still on its way after "*RMC\r"), the stream is no
            // longer taken to run, so the poll opens the windows that
            // finish the frame.
            if (comReceiveInFrame())
                bStreaming = FALSE;
            return;
        }
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            controlReceived(szResponse.data());
            if (bWasInFrame)
                frameCompleted();
            // An answer from the receiver: a stream that stopped while
            // audio is on is asked for again.
            receiverAnswered();
            const DWORD ulWaiting = portOctetsWaiting();
            // Nothing more has come: the next command goes out while this
            // answer is handed on, so the exec thread's wake-up is not
            // added to every command's turn-around.
            if (ulWaiting == 0)
                linkReleaseTransmit();
            queueResponse();
            takeBacklog(ulWaiting);
            return;
        }
        if (replayTakeWrapped()) {
            if (++replayWraps == 2)
                return;
        }
        if (++octets >= WINDOW_OCTET_LIMIT ||
            std::chrono::steady_clock::now() - opened >= WINDOW_TIME_LIMIT) {
            cutWindow();
            return;
        }
    }
}

// Inside an audio frame, an octet that has arrived changes nothing until
// the status record or the clip it belongs to is complete: a line that
// hands over its octets a few at a time (a serial port at the line rate)
// would otherwise wake the receive thread for each few. While more than
// FRAME_PAUSE_MARGIN octets are to come and what was waiting has been
// read, the thread pauses until shortly before the last of them can have
// crossed the line, then reads what came meanwhile, so nothing is handed
// on later than before. A pause that finds nothing (a silent line, or an
// adapter that holds octets back for a while) ends the pausing for the
// window: from then on the reads wait for the octets as before, and
// silence is measured as before.
class FramePacer {
  public:
    void beforeRead() {
        if (ulReady_ > 0 || !bPacing_)
            return;
        const int iToCome = comReceiveFrameToCome();
        if (iToCome <= FRAME_PAUSE_MARGIN || !portReadable())
            return;
        const auto pause = static_cast<DWORD>(1000.0 * (iToCome - FRAME_PAUSE_MARGIN) / LINE_RATE);
        if (pause == 0)
            return;
        linkPause(pause);
        ulReady_ = portOctetsWaiting();
        bPacing_ = ulReady_ > 0;
    }
    // After each octet read.
    void taken() {
        if (ulReady_ > 0)
            --ulReady_;
    }

  private:
    static constexpr int FRAME_PAUSE_MARGIN = 4;
    DWORD ulReady_ = 0; // octets known to be waiting
    bool bPacing_ = true;
};

// The line stayed silent for FRAME_SILENCE after a request for a clip.
void frameSilence() {
    if (comReceiveInFrame()) {
        // Part of a frame (an octet was lost): the rest will never come,
        // and nothing of it is played.
        comReceiveSync();
        linkCounters.ulFramesAbandoned += 1;
        linkCounters.ulResyncs += 1;
        iUnanswered = 0;
    } else {
        linkCounters.ulRequestsUnanswered += 1;
        iUnanswered += 1;
    }
    if (bAudioOn && iUnanswered < MAX_UNANSWERED_REQUESTS) {
        enqueuePacket(&QueueMessage, commandStream(TRUE), MIN_PRIORITY);
        linkCounters.ulRequestsRepeated += 1;
        return;
    }
    // Audio is off, or the receiver does not stream: the stream is over
    // and the status poll takes over again.
    if (bAudioOn)
        linkCounters.ulStreamsEnded += 1;
    iUnanswered = 0;
    bStreaming = FALSE;
}

// The window after a request for a clip: octets until a frame is complete
// or the line has been silent for FRAME_SILENCE. Silence is measured on
// the clock, since a read may wait longer than its time-out on a busy
// machine. A text line read meanwhile (a late answer to an earlier
// command) is queued, and the window reads on: the request is still
// outstanding, so the poll stays silent. A line that never falls silent
// and never brings a frame ends the window after FRAME_WINDOW_LIMIT, as
// silence would, at the first octet outside a frame.
void frameWindow() {
    const auto opened = std::chrono::steady_clock::now();
    auto lastOctet = opened;
    FramePacer pacer;
    while (!linkStopping()) {
        pacer.beforeRead();
        DWORD ulRead = 0;
        const BYTE ucOctet = ReadOctet(&ulRead);
        const auto now = std::chrono::steady_clock::now();
        if (ulRead == 0) {
            if (portLost())
                return; // the port is gone: nothing more comes in this window
            if (now - lastOctet < FRAME_SILENCE)
                continue;
            frameSilence();
            return;
        }
        lastOctet = now;
        pacer.taken();
        const int bWasInFrame = comReceiveInFrame();
        if (comReceive(ucOctet)) {
            controlReceived(szResponse.data());
            if (!bWasInFrame)
                bStreaming = TRUE; // a line ended it, but the request is still out
            queueResponse();
            if (bWasInFrame) {
                frameCompleted();
                return; // the frame is complete
            }
        }
        if (now - opened >= FRAME_WINDOW_LIMIT && !comReceiveInFrame()) {
            frameSilence();
            return;
        }
    }
}

} // namespace

void receiveWindow() {
    if (portTakeResync())
        comReceiveSync();
    // Without a port nothing arrives late: the replay file has every
    // octet at once, or there is none.
    if (bFrameRequested && portReadable())
        frameWindow();
    else
        commandWindow();
}

void windowReset() {
    iUnanswered = 0;
    bFrameRequested = FALSE;
    bStreamWanted = FALSE;
    bAskedOnAnswer = FALSE;
}

void windowTaken(int kind) {
    if (kind == COMMAND_STREAM_OFF) {
        iUnanswered = 0;
        bStreamWanted = FALSE;
        bAskedOnAnswer = FALSE;
    }
    bFrameRequested = kind == COMMAND_STREAM_ON;
}

BOOL windowStreamWanted() {
    return bStreamWanted;
}
