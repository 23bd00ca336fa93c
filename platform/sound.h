// Set-up of the sound libraries, and the CPU clock of a thread.
#pragma once

#include <cstdint>

// ALSA and JACK, which PortAudio loads, print dozens of diagnostic lines
// on stderr when no sound card or server is present. Sends their error
// and information output nowhere. Call before Pa_Initialize.
void QuietSoundLibraries();

// CPU time used so far by the calling thread, in microseconds.
std::uint64_t GetCurrentThreadCpuMicroseconds();
