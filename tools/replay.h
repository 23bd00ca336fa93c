// Replay files: receive streams as the receiver sends them ("@RMC", a
// 16-octet status record, 250 octets of IMA ADPCM), made from WAV files
// and turned back into WAV files.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr double RECEIVER_RATE = 7812.5; // samples per second in a clip
inline constexpr int STATUS_SIZE = 16;
inline constexpr int FRAME_OCTETS = 4 + STATUS_SIZE + 250;

// A sound in memory: mono samples in -1 .. 1 at a rate.
struct SOUND {
    double dRate = 0;
    std::vector<float> fSample;
};

// Reads a WAV file of any common sample rate and width (8, 16, 24 or
// 32-bit PCM, 32-bit float), averaging its channels to mono. Returns
// false with a readable reason in szError when the file cannot be read
// or is not a usable WAV file.
bool readWav(const std::string& szPath, SOUND& sound, std::string& szError);
// Writes mono 32-bit float samples as a WAV file.
bool writeWav(const std::string& szPath, const SOUND& sound, std::string& szError);

// Converts to another rate (band-limited).
bool convertRate(const SOUND& in, double dRate, SOUND& out, std::string& szError);

// The status record that opens every frame.
struct STATUSRECORD {
    DWORD ulFrequency = 10000000; // hertz, 100000 .. 30000000
    BYTE ucMode = 4;              // 1 SSB, 2 CW, 4 AM
    BYTE ucSignal = 7;            // S-units
};

// Encodes a sound at RECEIVER_RATE into frames, 500 samples each (the
// last one padded with silence), with the encoder the emulated receiver
// uses, so that the program's decoder reproduces the samples.
std::vector<BYTE> encodeStream(const SOUND& sound, const STATUSRECORD& status);

// The clips of the frames in a receive stream, in order. Octets outside
// frames (text lines, noise, a cut-off last frame) are skipped and
// counted in ulSkipped.
std::vector<std::vector<BYTE>> parseStream(const std::vector<BYTE>& ucStream,
                                           std::size_t& ulSkipped);

// Decodes and resamples clips as the audio thread does: 512 frames at
// 8000 per second for each clip, from a fresh decoder and resampler.
SOUND decodeClips(const std::vector<std::vector<BYTE>>& clips);

bool readFile(const std::string& szPath, std::vector<BYTE>& ucData, std::string& szError);
bool writeFile(const std::string& szPath, const std::vector<BYTE>& ucData, std::string& szError);

// Parses a mode given as AM, CW, SSB or 1, 2, 4.
bool parseMode(const std::string& szText, BYTE& ucMode);
