// The audio pipeline.
#include "audio/audio.h"

#include "audio/adpcm.h"
#include "audio/dsp.h"

#include "platform/sound.h"
#include "record/record.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>

std::array<BYTE, CLIPSIZE> ucAudioClip;
HANDLE hAudioClip = nullptr;
HANDLE hGetMore = nullptr;

// ---------------------------------------------------------------------------
// Decoding and resampling of half-clips.
//
// 7812.5 -> 8000 per second is 128/125: up 8, down 5 (to 12500 per second),
// then up 16, down 25. Output frame K of the stream is centred on input
// sample (125K - 539)/128.

namespace {

constexpr int HISTORY = 6;                            // input samples carried between calls
constexpr int INPUT = HISTORY + SAMPLES_PER_HALFCLIP; // 256
constexpr int UP1 = 8;
constexpr int DOWN1 = 5;
constexpr int UP2 = 16;
constexpr int DOWN2 = 25;
constexpr int FILTERED1 = 2020; // outputs of the first filter that the decimator uses
constexpr int MID = (FILTERED1 + DOWN1 - 1) / DOWN1; // 404 samples at 12500 per second
constexpr int FILTERED2 = 6400;
constexpr int TEMP_SIZE = MID * UP2; // 6464
constexpr float FULL_SCALE = 32768.0f;

static_assert(MID == RESAMPLE_WORK_SIZE);
static_assert((FILTERED2 + DOWN2 - 1) / DOWN2 == FRAMES_PER_BLOCK);
// The filters write whole blocks and read three blocks beyond the start of
// their last one.
constexpr int blocksEnd(int m, int l) {
    return (m + l - 1) / l * l;
}
static_assert(INPUT * UP1 >= blocksEnd(FILTERED1, UP1) + 2 * UP1 + 1);
static_assert(TEMP_SIZE >= blocksEnd(FILTERED2, UP2) + 2 * UP2 + 1);

// sAudio and fAudio are the audio thread's: one decoded half-clip, and the
// resampler's work array whose first block is played.
[[maybe_unused]] std::array<std::int16_t, SAMPLES_PER_HALFCLIP> sAudio{};
[[maybe_unused]] std::array<float, RESAMPLE_WORK_SIZE> fAudio{};
std::array<float, HISTORY> fLast{};   // input carried to the next call
std::array<float, TEMP_SIZE> fTemp{}; // upsampled work array

} // namespace

std::int16_t* decode(std::int16_t* sData, const BYTE* ucaCode, int n) {
    for (int j = 0; j < n; ++j) {
        sData[2 * j] = ADPCMDecoder(static_cast<BYTE>(ucaCode[j] & 0x0F));
        sData[2 * j + 1] = ADPCMDecoder(static_cast<BYTE>(ucaCode[j] >> 4));
    }
    return sData;
}

float* resample(float* fAudio, const std::int16_t* sData) {
    std::copy(fLast.begin(), fLast.end(), fAudio);
    for (int i = 0; i < SAMPLES_PER_HALFCLIP; ++i)
        fAudio[HISTORY + i] = static_cast<float>(sData[i]) / FULL_SCALE;
    std::copy(fAudio + INPUT - HISTORY, fAudio + INPUT, fLast.begin());

    upsample(fTemp.data(), fAudio, INPUT, UP1);
    polyphaseFirN32L8(fTemp.data(), fTemp.data(), FILTERED1);
    decimate(fAudio, fTemp.data(), FILTERED1, DOWN1);
    upsample(fTemp.data(), fAudio, MID, UP2);
    polyphaseFirN64L16(fTemp.data(), fTemp.data(), FILTERED2);
    decimate(fAudio, fTemp.data(), FILTERED2, DOWN2);
    return fAudio;
}

void resampleReset() {
    fLast.fill(0.0f);
}

// ---------------------------------------------------------------------------
// Playback: the audio thread, the ring of output blocks and the sound
// callback.

HANDLE hAudioPlayed = nullptr;
Shared<int> bAudioOn{FALSE};
AUDIOCOUNTERS audioCounters;

namespace {

constexpr int OUTPUT_CHANNELS = 1;
constexpr unsigned long FRAMES_PER_BUFFER = FRAMES_PER_BLOCK;

using Clock = std::chrono::steady_clock;

std::int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

struct BLOCK {
    std::array<float, FRAMES_PER_BLOCK> fFrame;
    DWORD ulSession;         // the audioStart it belongs to
    std::int64_t llClipTime; // first block of a clip: when the clip was taken; else 0
    std::uint64_t ulClip;    // the clip's number since audioOpen
};

// Single producer (the audio thread), single consumer (the callback).
// The counts only grow; block n sits in slot n % RING_BLOCKS. Writing a
// count with release and reading the other side's with acquire hands the
// block contents over with it.
struct RING {
    std::array<BLOCK, RING_BLOCKS> block{};
    std::atomic<std::uint64_t> ullWritten{0};
    std::atomic<std::uint64_t> ullRead{0};
};

RING ring;
PaStream* hStream = nullptr;
BOOL bPaInitialized = FALSE;
HANDLE hAudioThread = nullptr;
DWORD ulAudioThreadID = 0;
Shared<int> bAudioThreadDone{FALSE};
// Counts audioStart calls; blocks of an earlier one are stale.
Shared<DWORD> ulSession{0};

void raiseTo(Shared<std::uint64_t>& ulMax, std::uint64_t ulValue) {
    if (ulValue > ulMax)
        ulMax = ulValue;
}

// Puts fAudio's output block into the ring, waiting while it is full.
// Gives up, dropping the block, when audio is switched off or restarted
// meanwhile, or the pipeline closes.
void putBlock(DWORD ulBlockSession, std::int64_t llClipTime, std::uint64_t ulClip) {
    const std::uint64_t ullWritten = ring.ullWritten.load(std::memory_order_relaxed);
    for (;;) {
        if (!bAudioOn || bAudioThreadDone || ulSession != ulBlockSession)
            return;
        if (ullWritten - ring.ullRead.load(std::memory_order_acquire) < RING_BLOCKS)
            break;
        WaitForSingleObject(hAudioPlayed, INFINITE);
    }
    BLOCK& block = ring.block[ullWritten % RING_BLOCKS];
    std::copy(fAudio.begin(), fAudio.begin() + FRAMES_PER_BLOCK, block.fFrame.begin());
    block.ulSession = ulBlockSession;
    block.llClipTime = llClipTime;
    block.ulClip = ulClip;
    ring.ullWritten.store(ullWritten + 1, std::memory_order_release);
    audioCounters.ulBlocksProduced += 1;
    raiseTo(audioCounters.ulHighestFill,
            ullWritten + 1 - ring.ullRead.load(std::memory_order_relaxed));
}

void resampleTimed() {
    const std::int64_t llStart = nowMicros();
    resample(fAudio.data(), sAudio.data());
    const auto ulMicros = static_cast<std::uint64_t>(nowMicros() - llStart);
    audioCounters.ulHalfClips += 1;
    audioCounters.ulWorkMicros += ulMicros;
    raiseTo(audioCounters.ulWorkMaxMicros, ulMicros);
}

// V19 calls back with time stamps and status flags; the pipeline's
// callback takes the output time only.
int streamCallback(const void* pInputBuffer, void* pOutputBuffer, unsigned long ulFramesPerBuffer,
                   const PaStreamCallbackTimeInfo* pTimeInfo, PaStreamCallbackFlags,
                   void* pUserData) {
    return paCallback(pInputBuffer, pOutputBuffer, ulFramesPerBuffer,
                      pTimeInfo ? pTimeInfo->outputBufferDacTime : 0.0, pUserData);
}

void resetCounters() {
    for (auto* counter :
         {&audioCounters.ulCallbacks, &audioCounters.ulBlocksProduced,
          &audioCounters.ulBlocksPlayed, &audioCounters.ulUnderruns, &audioCounters.ulStaleBlocks,
          &audioCounters.ulHighestFill, &audioCounters.ulClipsTaken, &audioCounters.ulClipsPending,
          &audioCounters.ulHalfClips, &audioCounters.ulWorkMicros, &audioCounters.ulWorkMaxMicros,
          &audioCounters.ulThreadCpuMicros})
        *counter = 0;
    for (auto& bucket : audioCounters.ulLatency)
        bucket = 0;
    for (auto& played : audioCounters.llClipPlayed)
        played = 0;
}

// Creates what both kinds of open share, up to the stream.
DWORD openPipeline() {
    sAudio.fill(0);
    fAudio.fill(0.0f);
    fTemp.fill(0.0f);
    resampleReset();
    for (BLOCK& block : ring.block)
        block = BLOCK{};
    ring.ullWritten = 0;
    ring.ullRead = 0;
    resetCounters();
    bAudioOn = FALSE;
    bAudioThreadDone = FALSE;

    // The framer's two events outlive the pipeline: the receive thread may
    // still be inside a hand-off when audio closes, and it is joined only
    // when the link closes later.
    if (hAudioClip == nullptr)
        hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
    if (hGetMore == nullptr)
        hGetMore = CreateEventA(nullptr, FALSE, FALSE, "GetMore");
    ResetEvent(hAudioClip);
    ResetEvent(hGetMore);
    hAudioPlayed = CreateEventA(nullptr, FALSE, FALSE, "AudioPlayed");
    if (hAudioClip == nullptr || hGetMore == nullptr || hAudioPlayed == nullptr)
        return GetLastError();
    return NO_ERROR;
}

DWORD createThread() {
    hAudioThread =
        CreateThread(nullptr, 0, audioThread, nullptr, CREATE_SUSPENDED, &ulAudioThreadID);
    if (hAudioThread == nullptr)
        return GetLastError();
    SetThreadPriority(hAudioThread, THREAD_PRIORITY_BELOW_NORMAL);
    return NO_ERROR;
}

} // namespace

DWORD audioOpen() {
    QuietSoundLibraries();
    const PaError paError = Pa_Initialize();
    if (paError != paNoError)
        return static_cast<DWORD>(paError);
    bPaInitialized = TRUE;
    if (const DWORD dwError = openPipeline(); dwError != NO_ERROR)
        return dwError;
    const PaError paOpen =
        Pa_OpenDefaultStream(&hStream, 0, OUTPUT_CHANNELS, paFloat32, AUDIO_SAMPLE_RATE,
                             FRAMES_PER_BUFFER, streamCallback, audioCallbackData());
    if (paOpen != paNoError) {
        hStream = nullptr;
        return static_cast<DWORD>(paOpen);
    }
    return createThread();
}

DWORD audioOpenWithoutStream() {
    if (const DWORD dwError = openPipeline(); dwError != NO_ERROR)
        return dwError;
    return createThread();
}

void* audioCallbackData() {
    return &ring;
}

int audioStart() {
    if (hAudioThread == nullptr)
        return paNotInitialized;
    if (bAudioOn)
        return paStreamIsNotStopped;
    // A new session: whatever the ring still holds is stale and the
    // callback skips it, so playback starts with silence until the first
    // new block.
    ulSession += 1;
    ResetEvent(hAudioPlayed);
    bAudioOn = TRUE;
    ResumeThread(hAudioThread);
    if (hStream == nullptr)
        return paNoError;
    const PaError paError = Pa_StartStream(hStream);
    if (paError != paNoError) {
        // Nothing will play: let the audio thread and the framer go on.
        bAudioOn = FALSE;
        SetEvent(hAudioPlayed);
    }
    return paError;
}

int audioStop() {
    if (hAudioThread == nullptr)
        return paNotInitialized;
    const BOOL bWasOn = bAudioOn.exchange(FALSE);
    // Wake the audio thread if it waits for room in the ring: it drops
    // what it holds and releases the framer.
    if (hAudioPlayed != nullptr)
        SetEvent(hAudioPlayed);
    if (hStream == nullptr || !bWasOn)
        return hStream == nullptr ? paNoError : paStreamIsStopped;
    return Pa_StopStream(hStream);
}

int audioClose() {
    bAudioOn = FALSE;
    bAudioThreadDone = TRUE;
    if (hStream != nullptr) {
        Pa_CloseStream(hStream);
        hStream = nullptr;
    }
    BOOL bJoined = TRUE;
    if (hAudioThread != nullptr) {
        // The thread waits either for a clip or for room in the ring.
        SetEvent(hAudioClip);
        SetEvent(hAudioPlayed);
        bJoined = JoinThread(hAudioThread, "audio");
        CloseHandle(hAudioThread);
        hAudioThread = nullptr;
    }
    // A framer that handed over a clip the thread never took is released;
    // from now on it drops clips itself.
    if (hGetMore != nullptr)
        SetEvent(hGetMore);
    if (hAudioPlayed != nullptr && bJoined) {
        CloseHandle(hAudioPlayed);
        hAudioPlayed = nullptr;
    }
    PaError paError = paNoError;
    if (bPaInitialized) {
        paError = Pa_Terminate();
        bPaInitialized = FALSE;
    }
    return paError;
}

DWORD audioThread(LPVOID) {
    audioCounters.iThreads += 1;
    while (!bAudioThreadDone) {
        if (WaitForSingleObject(hAudioClip, 0) == WAIT_OBJECT_0)
            audioCounters.ulClipsPending += 1;
        else
            WaitForSingleObject(hAudioClip, INFINITE);
        if (bAudioThreadDone)
            break; // audioClose releases the framer
        const std::int64_t llClipTime = nowMicros();
        const DWORD ulClipSession = ulSession;
        const std::uint64_t ulClip = audioCounters.ulClipsTaken;
        audioCounters.ulClipsTaken += 1;
        // Both halves are always decoded, also while audio is off, so the
        // decoder stays in step with the receiver's encoder.
        decode(sAudio.data(), ucAudioClip.data(), HALFCLIP);
        if (bAudioOn) {
            resampleTimed();
            putBlock(ulClipSession, llClipTime, ulClip);
        }
        decode(sAudio.data(), ucAudioClip.data() + HALFCLIP, HALFCLIP);
        SetEvent(hGetMore); // ucAudioClip is free for the next clip
        if (bAudioOn) {
            resampleTimed();
            putBlock(ulClipSession, 0, ulClip);
        }
        audioCounters.ulThreadCpuMicros = GetCurrentThreadCpuMicroseconds();
    }
    audioCounters.iThreads -= 1;
    return 1;
}

int paCallback(const void*, void* pOutputBuffer, unsigned long ulFramesPerBuffer, double,
               void* pUserData) {
    auto* pRing = static_cast<RING*>(pUserData);
    auto* pOutput = static_cast<float*>(pOutputBuffer);
    const DWORD ulCurrent = ulSession;
    const std::uint64_t ullWritten = pRing->ullWritten.load(std::memory_order_acquire);
    std::uint64_t ullRead = pRing->ullRead.load(std::memory_order_relaxed);
    const BLOCK* pBlock = nullptr;
    while (ullRead != ullWritten && pBlock == nullptr) {
        const BLOCK& block = pRing->block[ullRead % RING_BLOCKS];
        ++ullRead;
        if (block.ulSession == ulCurrent)
            pBlock = &block;
        else
            audioCounters.ulStaleBlocks += 1;
    }
    const unsigned long ulCopy =
        pBlock ? std::min<unsigned long>(ulFramesPerBuffer, FRAMES_PER_BLOCK) : 0;
    if (pBlock) {
        std::copy(pBlock->fFrame.begin(), pBlock->fFrame.begin() + ulCopy, pOutput);
        if (bAudioOn)
            recordAudioFrames(pOutput, ulCopy); // what plays, for a recording
        if (pBlock->llClipTime != 0) {
            const std::int64_t llNow = nowMicros();
            const std::int64_t llMillis = (llNow - pBlock->llClipTime) / 1000;
            if (pBlock->ulClip < PLAYED_LOG)
                audioCounters.llClipPlayed[pBlock->ulClip] = llNow;
            audioCounters.ulLatency[std::clamp<std::int64_t>(llMillis, 0, LATENCY_BUCKETS - 1)] +=
                1;
        }
        audioCounters.ulBlocksPlayed += 1;
    } else {
        audioCounters.ulUnderruns += 1;
    }
    std::fill(pOutput + ulCopy, pOutput + ulFramesPerBuffer, 0.0f);
    // The block is copied out: its slot may be refilled.
    pRing->ullRead.store(ullRead, std::memory_order_release);
    audioCounters.ulCallbacks += 1;
    SetEvent(hAudioPlayed);
    return 0;
}
