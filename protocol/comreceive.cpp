// Framing of the octet stream from the receiver into response lines and
// audio frames.
#include "protocol/comreceive.h"

#include "audio/audio.h"
#include "link/comthread.h"
#include "link/queue.h"
#include "protocol/command.h"
#include "protocol/radiostate.h"
#include "protocol/swap.h"

#include <bit>
#include <cstring>
#include <string_view>

HEADER header{};

namespace {

constexpr BYTE CR = 0x0D;
constexpr BYTE NUL = 0x00;
constexpr BYTE FRAME_START_LIMIT = 2;               // first status octet is 0x00 or 0x01
constexpr int CANDIDATE_SIZE = MAXRESPONSESIZE - 2; // room for its CR and NUL
constexpr std::string_view szStartWord = "START";

// The framer's position: the state it is in, and the write position in
// whichever buffer that state fills (szResponse, header or ucAudioClip).
struct Framer {
    int state = STATE_PREFIX;
    int index = 0;
};
Framer framer;

// The text seen outside any unit since the last line boundary. The
// receiver announces its start with a line that does not begin with "@";
// it is collected here while the framer hunts for "@", so that it can be
// handed on like a response line.
std::array<char, CANDIDATE_SIZE> szCandidate{};
int candidateLength = 0;
// false while the octets since the last CR cannot form such a line: they
// are the rest of a dropped "@" unit, or there are too many of them.
bool bCandidate = true;

void startCandidate(bool bValid) {
    candidateLength = 0;
    bCandidate = bValid;
}

// Leaves the current unit; the next octet is examined for "@" afresh.
// Octets after a unit that ended at a CR may form a start announcement;
// octets after one dropped mid-line are its remains until the next CR.
void hunt(bool bAtLineBoundary) {
    framer.state = STATE_PREFIX;
    startCandidate(bAtLineBoundary);
}

BOOL handOnCandidate() {
    const std::string_view line(szCandidate.data(), static_cast<std::size_t>(candidateLength));
    if (!bCandidate || line.find(szStartWord) == std::string_view::npos)
        return FALSE;
    std::memcpy(szResponse.data(), line.data(), line.size());
    szResponse[line.size()] = static_cast<char>(CR);
    szResponse[line.size() + 1] = '\0';
    return TRUE;
}

BOOL receivePrefix(BYTE ucOctet) {
    if (ucOctet == static_cast<BYTE>(cPreamble)) {
        framer.index = 0;
        szResponse[framer.index++] = cPreamble;
        framer.state = STATE_TRAP1;
        startCandidate(true);
        return FALSE;
    }
    if (ucOctet == CR) {
        const BOOL bStartLine = handOnCandidate();
        startCandidate(true);
        // Like any completed text line it ends the stream: a receiver that
        // has just started sends no frames until asked again, so the
        // status poll resumes.
        if (bStartLine)
            bStreaming = FALSE;
        return bStartLine;
    }
    if (ucOctet == NUL) {
        // A text line cannot carry a NUL: what follows begins afresh.
        candidateLength = 0;
        return FALSE;
    }
    if (candidateLength < CANDIDATE_SIZE)
        szCandidate[candidateLength++] = static_cast<char>(ucOctet);
    else
        bCandidate = false; // with its CR it would not fit a line
    return FALSE;
}

void storeText(BYTE ucOctet) {
    szResponse[framer.index++] = static_cast<char>(ucOctet);
}

// Both 32-bit fields arrive most significant octet first.
DWORD wireWord(int offset) {
    static_assert(std::endian::native == std::endian::little);
    DWORD ul;
    std::memcpy(&ul, &header.ucOctet[offset], sizeof ul);
    ulSwap(&ul);
    return ul;
}

void publishHeader() {
    const auto& o = header.ucOctet;
    auto& f = header.field;
    f.ulFreqVCO = wireWord(0);
    f.ulFreqMem = wireWord(4);
    f.ucMode = o[8];
    f.ucModeMemory = o[9];
    f.ucMemory = o[10];
    f.ucJog = o[11];
    f.ucFlags1 = o[12];
    f.ucFlags2 = o[13];
    f.ucVersion = o[14];
    f.ucSignal = o[15];
}

BOOL receiveClip(BYTE ucOctet) {
    ucAudioClip[framer.index++] = ucOctet;
    if (framer.index < CLIPSIZE)
        return FALSE;
    // The audio side owns the clip until it asks for more; only then may
    // the next clip be requested and written. While audio is off nobody
    // takes it: it is dropped at once, so the link goes on.
    if (bAudioOn) {
        SetEvent(hAudioClip);
        WaitForSingleObject(hGetMore, INFINITE);
    }
    hunt(true);
    if (bAudioOn) {
        enqueuePacket(&QueueMessage, commandStream(TRUE), MIN_PRIORITY); // the next clip
    } else {
        // Audio was switched off: the stream ends with this frame, and the
        // status poll may resume.
        bStreaming = FALSE;
    }
    return TRUE;
}

BOOL receiveResponse(BYTE ucOctet) {
    storeText(ucOctet);
    if (framer.index >= MAXRESPONSESIZE) {
        // No room for the terminating NUL: the line is dropped, and its
        // tail is scanned for "@".
        hunt(ucOctet == CR);
        return FALSE;
    }
    if (ucOctet != CR)
        return FALSE;
    szResponse[framer.index] = '\0';
    bStreaming = FALSE;
    hunt(true);
    return TRUE;
}

} // namespace

int comReceive(BYTE ucOctet) {
    switch (framer.state) {
    case STATE_PREFIX:
        return receivePrefix(ucOctet);
    case STATE_TRAP1:
        storeText(ucOctet);
        if (ucOctet == CR)
            hunt(true); // "@" alone
        else if (ucOctet == 'R')
            framer.state = STATE_TRAP2;
        else
            framer.state = STATE_RESPONSE;
        return FALSE;
    case STATE_TRAP2:
        storeText(ucOctet);
        if (ucOctet == 'M' || ucOctet == 'S')
            framer.state = STATE_TRAP3;
        else if (ucOctet == CR)
            hunt(true); // "@R" alone
        else
            framer.state = STATE_RESPONSE;
        return FALSE;
    case STATE_TRAP3:
        storeText(ucOctet);
        if (ucOctet == CR) {
            hunt(true); // "@RM" or "@RS" alone
        } else if (ucOctet == 'C') {
            // The line handed on with the frame reads "@RMC" or "@RSC".
            szResponse[framer.index++] = static_cast<char>(CR);
            szResponse[framer.index] = '\0';
            framer.index = 0;
            framer.state = STATE_TRAP4;
        } else {
            framer.state = STATE_RESPONSE;
        }
        return FALSE;
    case STATE_TRAP4:
        if (ucOctet >= FRAME_START_LIMIT) {
            hunt(ucOctet == CR); // a false frame start: dropped
            return FALSE;
        }
        bStreaming = TRUE;
        header.ucOctet[0] = ucOctet;
        framer.index = 1;
        framer.state = STATE_HEADER;
        return FALSE;
    case STATE_HEADER:
        header.ucOctet[framer.index++] = ucOctet;
        if (framer.index == HEADERSIZE) {
            publishHeader();
            framer.index = 0;
            framer.state = STATE_DATA;
        }
        return FALSE;
    case STATE_DATA:
        return receiveClip(ucOctet);
    case STATE_RESPONSE:
        return receiveResponse(ucOctet);
    default:
        hunt(false);
        return FALSE;
    }
}

int comReceiveInFrame() {
    return framer.state != STATE_PREFIX && framer.state != STATE_RESPONSE;
}

int comReceiveFrameToCome() {
    if (framer.state == STATE_HEADER)
        return HEADERSIZE - framer.index;
    return framer.state == STATE_DATA ? CLIPSIZE - framer.index : 0;
}

void comReceiveSync() {
    framer.state = STATE_PREFIX;
    framer.index = 0;
    startCandidate(true);
}
