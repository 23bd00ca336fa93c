// The default sound device on PortAudio (V19), which plays through ALSA,
// PulseAudio or JACK. Its error codes become the platform's here and
// nowhere else.
#include "platform/sound_portaudio.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <memory>

#include <sys/prctl.h>

namespace {

constexpr int OUTPUT_CHANNELS = 1;
// The output buffer asked of the library, in seconds: one callback's
// worth. The library rounds it up to what the device can do; its default
// for a default stream (the device's "high" latency) adds around a tenth
// of a second after every frame leaves the callback.
constexpr PaTime SUGGESTED_LATENCY = SOUND_FRAMES_PER_BUFFER / SOUND_FRAMES_PER_SECOND;

struct STREAM {
    PaStream* pStream = nullptr;
    SOUNDCALLBACK pCallback = nullptr;
    LPVOID pUserData = nullptr;
};

DWORD platformError(PaError paError) {
    switch (paError) {
    case paNoError:
        return NO_ERROR;
    case paInsufficientMemory:
        return ERROR_NOT_ENOUGH_MEMORY;
    case paDeviceUnavailable:
    case paInvalidDevice:
    case paHostApiNotFound:
    case paInvalidHostApi:
        return ERROR_DEVICE_NOT_AVAILABLE;
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported:
    case paBadIODeviceCombination:
    case paBufferTooBig:
    case paBufferTooSmall:
        return ERROR_NOT_SUPPORTED;
    case paNotInitialized:
    case paBadStreamPtr:
        return ERROR_INVALID_HANDLE;
    case paStreamIsNotStopped:
        return ERROR_SERVICE_ALREADY_RUNNING;
    case paStreamIsStopped:
        return ERROR_SERVICE_NOT_ACTIVE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void alsaQuiet(const char*, int, const char*, int, const char*, ...) {}
void jackQuiet(const char*) {}

// ALSA and JACK, which PortAudio loads, print dozens of diagnostic lines
// on stderr when no sound card or server is present; they go nowhere.
void quietSoundLibraries() {
    snd_lib_error_set_handler(alsaQuiet);
    jack_set_error_function(jackQuiet);
    jack_set_info_function(jackQuiet);
}

// The library's callback thread is named once, so that a list of the
// program's threads (top -H, scripts/measure-panel) tells it from the
// dialog's, whose name it would otherwise carry. No wait, no allocation.
void nameCallbackThread() {
    thread_local bool bNamed = false;
    if (!bNamed) {
        bNamed = true;
        prctl(PR_SET_NAME, "sound", 0, 0, 0);
    }
}

// V19 calls back with time stamps and status flags; the platform's
// callback takes the output time only.
int streamCallback(const void* pInputBuffer, void* pOutputBuffer, unsigned long ulFramesPerBuffer,
                   const PaStreamCallbackTimeInfo* pTimeInfo, PaStreamCallbackFlags,
                   void* pUserData) {
    nameCallbackThread();
    const auto* stream = static_cast<const STREAM*>(pUserData);
    return stream->pCallback(pInputBuffer, pOutputBuffer, ulFramesPerBuffer,
                             pTimeInfo ? pTimeInfo->outputBufferDacTime : 0.0, stream->pUserData);
}

DWORD openStream(SOUNDCALLBACK pCallback, LPVOID pUserData, LPVOID* ppStream) {
    quietSoundLibraries();
    if (const PaError paError = Pa_Initialize(); paError != paNoError)
        return platformError(paError);
    auto stream = std::make_unique<STREAM>();
    stream->pCallback = pCallback;
    stream->pUserData = pUserData;
    // The default output, as a default stream would take it, with a short
    // output buffer. No stream flags: the library's default clipping and
    // dithering apply when it converts the floats for the device.
    PaStreamParameters output{};
    output.device = Pa_GetDefaultOutputDevice();
    output.channelCount = OUTPUT_CHANNELS;
    output.sampleFormat = paFloat32;
    output.suggestedLatency = SUGGESTED_LATENCY;
    const PaError paError =
        output.device == paNoDevice
            ? paDeviceUnavailable
            : Pa_OpenStream(&stream->pStream, nullptr, &output, SOUND_FRAMES_PER_SECOND,
                            SOUND_FRAMES_PER_BUFFER, paNoFlag, streamCallback, stream.get());
    if (paError != paNoError) {
        Pa_Terminate();
        return platformError(paError);
    }
    *ppStream = stream.release();
    return NO_ERROR;
}

DWORD startStream(LPVOID pStream) {
    return platformError(Pa_StartStream(static_cast<STREAM*>(pStream)->pStream));
}

DWORD stopStream(LPVOID pStream) {
    return platformError(Pa_StopStream(static_cast<STREAM*>(pStream)->pStream));
}

DWORD streamLatency(LPVOID pStream, double* pSeconds) {
    const PaStreamInfo* pInfo = Pa_GetStreamInfo(static_cast<STREAM*>(pStream)->pStream);
    if (pInfo == nullptr)
        return ERROR_INVALID_HANDLE;
    *pSeconds = pInfo->outputLatency;
    return NO_ERROR;
}

// Closing a running stream stops it first.
DWORD closeStream(LPVOID pStream) {
    const std::unique_ptr<STREAM> stream(static_cast<STREAM*>(pStream));
    Pa_CloseStream(stream->pStream);
    return platformError(Pa_Terminate());
}

} // namespace

const SOUNDDEVICE PortAudioSound = {openStream, startStream, stopStream, closeStream,
                                    streamLatency};
