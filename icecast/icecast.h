// The stream to an Icecast server: the played audio as Ogg Opus through
// libshout, for more listeners than the program should serve itself.
//
// A thread of its own takes what the sound output plays (audio/audio.h's
// played tap), encodes it and sends it; while nothing plays it sends
// silence, so the stream stays up. The stream's title carries the
// frequency, mode and station name and follows tuning, once it has held
// still for a moment. When the server goes away the
// thread reconnects by itself every few seconds.
#pragma once

#include "platform/types.h"

#include <string>

// The environment variable that starts the stream with the program.
inline constexpr const char* szIcecastEnv = "VELKOR_ICECAST";
// Seconds between connection attempts.
inline constexpr int ICECAST_RETRY_SECONDS = 3;
// The encoded stream's bitrate, bits per second (speech-grade audio of
// 4 kHz bandwidth).
inline constexpr int ICECAST_BITRATE = 24000;

struct ICECASTURL {
    std::string szUser = "source";
    std::string szPassword;
    std::string szHost;
    unsigned short wPort = 8000;
    std::string szMount; // begins with "/"
};

// Reads icecast://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT. FALSE for anything
// else.
BOOL icecastParseUrl(const std::string& szUrl, ICECASTURL* pUrl);
// A new title goes out once it has held this long (a tuning knob turned
// fast starts one Ogg stream, not one per step).
inline constexpr int ICECAST_TITLE_SETTLE_MS = 500;

// The stream's title for a frequency in hertz, a mode and the station's
// name ("": none).
std::string icecastTitle(DWORD ulFrequency, DWORD uMode, const std::string& szStation = {});
// The station on the air at ulFrequency, as the station list names it
// ("": none); the title carries it while the receiver stays there.
// Called from the dialog's thread after each receiver update.
void icecastStationChanged(DWORD ulFrequency, const std::string& szName);

// Checks the URL and starts the streaming thread, which connects by
// itself. FALSE, with the reason in *pszError, when the URL is malformed
// or the thread cannot be created.
BOOL icecastOpen(const std::string& szUrl, std::string* pszError);
// Stops the thread (woken and joined) and closes the connection. Safe
// when never opened, and twice.
void icecastClose();
BOOL icecastRunning();
// TRUE while connected to the server.
BOOL icecastConnected();
// Connections made since open (the first, and every reconnection).
int icecastConnections();
