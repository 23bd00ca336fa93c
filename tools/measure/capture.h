// Reading a recording of the sound output and checking the tone in it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reads the 32-bit float mono samples of a WAV file that may still be
// being written (its sizes not yet filled in): everything from the data
// chunk to the end of the file. Empty when there is no data chunk.
std::vector<float> readCapture(const std::string& szPath);

// Amplitude and phase of a tone of dHz over count frames from `from` (a
// single-bin DFT).
struct TONE {
    double dAmplitude;
    double dPhase;
};
TONE measureTone(const std::vector<float>& x, double dRate, double dHz, std::size_t from,
                 std::size_t count);

struct TONECHECK {
    bool bFound = false;            // a tone starts somewhere
    std::size_t ulOnset = 0;        // first frame of the tone
    double dFrequency = 0;          // strongest frequency near the expected one
    double dAmplitude = 0;          // its amplitude
    std::size_t ulQuietWindows = 0; // 8 ms windows at under half the tone's level
    double dWorstPhaseStep = 0;     // radians: largest jump of the phase from a steady advance
    std::size_t ulWorstAt = 0;      // frame of that jump
    std::size_t ulFrames = 0;       // frames checked
};

// Checks dSeconds of a tone near dExpectedHz at dRate, starting dSettle
// seconds after it begins.
TONECHECK checkTone(const std::vector<float>& x, double dRate, double dExpectedHz, double dSettle,
                    double dSeconds);
