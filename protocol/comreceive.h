// Framing of the octet stream from the receiver into response lines and
// audio frames.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

#include <array>

inline constexpr int STATE_PREFIX = 0;
inline constexpr int STATE_TRAP1 = 1;
inline constexpr int STATE_TRAP2 = 2;
inline constexpr int STATE_TRAP3 = 3;
inline constexpr int STATE_TRAP4 = 4;
inline constexpr int STATE_HEADER = 5;
inline constexpr int STATE_DATA = 6;
inline constexpr int STATE_RESPONSE = 7;

inline constexpr int HEADERSIZE = 16;
inline constexpr BYTE FLAG_LOCK = 0x20;

// The 16-octet status record that opens every audio frame, in host order.
// Each field is a word shared with the exec thread without a lock.
struct tagSTATUS {
    Shared<DWORD> ulFreqVCO; // receiver frequency, hertz
    Shared<DWORD> ulFreqMem;
    Shared<BYTE> ucMode;
    Shared<BYTE> ucModeMemory;
    Shared<BYTE> ucMemory;
    Shared<BYTE> ucJog; // tuning-step code 0..7
    Shared<BYTE> ucFlags1;
    Shared<BYTE> ucFlags2;
    Shared<BYTE> ucVersion;
    Shared<BYTE> ucSignal; // S-units
};

// ucOctet is the receive view, in wire order, touched only by the framer;
// field is the interpreter's view, published from it when the 16th octet
// has arrived.
struct HEADER {
    std::array<BYTE, HEADERSIZE> ucOctet;
    tagSTATUS field;
};
extern HEADER header;

// Takes one octet; TRUE when it completed a response line or an audio
// frame (szResponse then holds the line, or "@RMC"/"@RSC" and CR).
// Octets outside an "@" unit are discarded, except the receiver's start
// announcement: a line not begun by "@" that contains "START" and fits 15
// octets with its CR is handed on like a response line.
// A completed frame hands the clip to the audio side (hAudioClip), waits
// for hGetMore and queues the request for the next clip on QueueMessage.
int comReceive(BYTE ucOctet);
// Abandons any partly framed line or frame.
void comReceiveSync();
// TRUE from an "@" that may begin an audio frame until the frame is
// complete or turns out to be a text line.
int comReceiveInFrame();
// Octets still to come, inside an audio frame, before the framer next
// hands something on: the end of the status record (published for the
// display) or the end of the clip; 0 outside a frame's status record and
// clip.
int comReceiveFrameToCome();
