// Recording: the audio the sound output plays goes to a WAV file, the
// octets received from the serial port to a replay file.
//
// The sound callback and the receive thread hand their data to a writer
// thread through bounded lock-free buffers (recordAudioFrames,
// recordStreamOctet) and never wait: while a recording is off a hand-off
// does nothing, and what does not fit because the writer has fallen
// behind is dropped and counted. The writer empties the buffers every
// RECORD_PERIOD_MS, brings the WAV header up to date every
// RECORD_HEADER_PERIOD, and checks every second that the file is still
// there.
//
// A fault (the directory cannot be made or written, the disk is full,
// the file has gone) stops that recording only. Its file is closed so
// that it stays valid, a line naming the cause goes to stderr, the text
// is kept for recordTakeFault, and the notification is posted.
//
// Start, stop and the queries may be called from any thread but the two
// real-time ones; they serialise among themselves.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"
#include "platform/window.h"

#include <chrono>
#include <cstdint>
#include <string>

inline constexpr DWORD RECORD_PERIOD_MS = 50;
inline constexpr std::chrono::milliseconds RECORD_HEADER_PERIOD{500};
// Buffer sizes: about four seconds of audio, and of the stream.
inline constexpr std::size_t RECORD_AUDIO_BUFFER = 1 << 15;  // frames
inline constexpr std::size_t RECORD_STREAM_BUFFER = 1 << 15; // octets

// Where a change of either recording (started, stopped, failed) is
// posted, with uMsg and no parameters; hNotify may be null.
void recordOpen(HWND hNotify, UINT uMsg);
// Stops both recordings, closes their files and ends the writer thread.
void recordClose();

// Starts a WAV file named after the time and the frequency and mode
// (MODE_AM, MODE_CW, MODE_SSB) given, and the station's name when one is
// given. TRUE when it runs (also when it already ran); FALSE after a fault.
BOOL recordAudioStart(DWORD ulFrequency, DWORD uMode, LPCSTR szStation = nullptr);
void recordAudioStop();
BOOL recordAudioIsRecording();
BOOL recordStreamStart();
void recordStreamStop();
BOOL recordStreamIsRecording();
// The file of the running or the last recording ("" before the first).
std::string recordAudioPath();
std::string recordStreamPath();

// The next fault message not yet taken; FALSE when there is none.
BOOL recordTakeFault(std::string& szMessage);

// Real-time hand-offs: never wait, lock or allocate.
void recordAudioFrames(const float* pFrames, unsigned long ulFrames);
void recordStreamOctet(BYTE ucOctet);

// Of the running or the last recording of each kind.
struct RECORDCOUNTS {
    Shared<std::uint64_t> ulWritten;     // frames or octets in the file
    Shared<std::uint64_t> ulDropped;     // refused: the buffer was full
    Shared<std::uint64_t> ulHighestFill; // most waiting when the writer looked
};
struct RECORDCOUNTERS {
    RECORDCOUNTS audio;
    RECORDCOUNTS stream;
    Shared<std::uint64_t> ulWriterCpuMicros; // CPU used by the writer thread
};
extern RECORDCOUNTERS recordCounters;
