// The sound output, and the CPU clock of a thread.
//
// An output plays one channel of 32-bit floats at SOUND_FRAMES_PER_SECOND
// and asks for SOUND_FRAMES_PER_BUFFER frames per callback. By default it
// is the sound library's default output device; a stand-in (a tool's
// clock, a test's hand) can take its place through SetSoundDevice.
#pragma once

#include "platform/types.h"

#include <cstdint>

inline constexpr double SOUND_FRAMES_PER_SECOND = 8000.0;
inline constexpr unsigned long SOUND_FRAMES_PER_BUFFER = 256;

// Fills pOutputBuffer with ulFramesPerBuffer frames and returns 0 to keep
// the output running. pInputBuffer is always null; outTime is when the
// buffer reaches the device, in the output's own seconds (0 when it does
// not tell). Runs on the output's thread: it must neither wait nor
// allocate.
using SOUNDCALLBACK = int (*)(const void* pInputBuffer, void* pOutputBuffer,
                              unsigned long ulFramesPerBuffer, double outTime, LPVOID pUserData);

// Opens the current sound device's output, stopped. Returns its handle,
// or nullptr when it cannot be opened; GetLastError then tells why
// (ERROR_DEVICE_NOT_AVAILABLE when there is no output to play on).
HANDLE OpenSoundOutput(SOUNDCALLBACK pCallback, LPVOID pUserData);
// Starts and stops the callbacks. When StopSoundOutput returns, no
// callback runs any more. Starting a running output fails with
// ERROR_SERVICE_ALREADY_RUNNING, stopping a stopped one with
// ERROR_SERVICE_NOT_ACTIVE.
BOOL StartSoundOutput(HANDLE hOutput);
BOOL StopSoundOutput(HANDLE hOutput);
// Stops the output if it runs, closes it and releases the handle.
BOOL CloseSoundOutput(HANDLE hOutput);
// The time from a frame leaving the callback to its reaching the device,
// in seconds, as the device reports it for this output; FALSE with
// ERROR_NOT_SUPPORTED when the device does not tell.
BOOL GetSoundOutputLatency(HANDLE hOutput, double* pSeconds);

// An implementation of the sound output. Each operation returns NO_ERROR
// or a platform error code; pfnOpen leaves in *ppStream what the others
// are given. pfnStop and pfnClose return only once no callback runs.
struct SOUNDDEVICE {
    DWORD (*pfnOpen)(SOUNDCALLBACK pCallback, LPVOID pUserData, LPVOID* ppStream);
    DWORD (*pfnStart)(LPVOID pStream);
    DWORD (*pfnStop)(LPVOID pStream);
    DWORD (*pfnClose)(LPVOID pStream);
    // How long a frame takes from the callback to the device, in
    // seconds, as the device reports it for the open stream; optional.
    DWORD (*pfnLatency)(LPVOID pStream, double* pSeconds) = nullptr;
};

// Makes pDevice the device that OpenSoundOutput opens from now on;
// nullptr restores the sound library's default output. Outputs already
// open keep their device. Returns the device that was current.
const SOUNDDEVICE* SetSoundDevice(const SOUNDDEVICE* pDevice);

// CPU time used so far by the calling thread, in microseconds.
std::uint64_t GetCurrentThreadCpuMicroseconds();
