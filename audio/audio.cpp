// The audio pipeline.
#include "audio/audio.h"

#include "audio/adpcm.h"
#include "audio/dsp.h"
#include "audio/ring.h"

#include "platform/sound.h"
#include "platform/worker.h"
#include "record/record.h"

#include <algorithm>
#include <chrono>
#include <cstddef>

std::array<BYTE, CLIPSIZE> ucAudioClip;
HANDLE hAudioClip = nullptr;
HANDLE hGetMore = nullptr;
SpscBuffer<TAPPEDCLIP, CLIP_TAP_SIZE> clipTap;
Shared<int> bClipTap{FALSE};
Shared<std::uint64_t> ulClipTapDropped{0};
Shared<void (*)()> pfnClipTapped{nullptr};
SpscBuffer<float, PLAYED_TAP_SIZE> playedTap;
Shared<int> bPlayedTap{FALSE};
Shared<std::uint64_t> ulPlayedTapDropped{0};

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

static_assert(AUDIO_SAMPLE_RATE == SOUND_FRAMES_PER_SECOND);
static_assert(FRAMES_PER_BLOCK == SOUND_FRAMES_PER_BUFFER);

using Clock = std::chrono::steady_clock;

std::int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

RING ring;
DEPTH depth; // the audio thread's
HANDLE hStream = nullptr;
HANDLE hAudioThread = nullptr;
DWORD ulAudioThreadID = 0;
StopFlag bAudioThreadDone;
WORKER audioWorker{"audio", audioThread, bAudioThreadDone, hAudioThread, ulAudioThreadID};
// Counts audioStart calls; blocks of an earlier one are stale.
Shared<DWORD> ulSession{0};
// The session whose first block has played, and when it did: from then
// on an empty ring is a gap in the sound, not the wait for the first
// clip. In the first moments the sound server may call back in a burst
// while it starts; a gap then says nothing about the depth.
Shared<DWORD> ulSessionPlaying{0};
Shared<std::int64_t> llSessionPlaying{0};

void raiseTo(Shared<std::uint64_t>& ulMax, std::uint64_t ulValue) {
    if (ulValue > ulMax)
        ulMax = ulValue;
}

bool sessionGoesOn(DWORD ulThisSession) {
    return bAudioOn && !bAudioThreadDone && ulSession == ulThisSession;
}

// Puts fAudio's output block into the ring, waiting while it is full.
// Gives up, dropping the block, when audio is switched off or restarted
// meanwhile, or the pipeline closes.
void putBlock(DWORD ulBlockSession, std::int64_t llClipTime, std::uint64_t ulClip) {
    std::uint64_t ulFill = 0;
    for (;;) {
        if (!sessionGoesOn(ulBlockSession))
            return;
        if (ringPut(ring, fAudio.data(), {ulBlockSession, llClipTime, ulClip, nowMicros()},
                    &ulFill))
            break;
        WaitForSingleObject(hAudioPlayed, INFINITE);
    }
    audioCounters.ulBlocksProduced += 1;
    raiseTo(audioCounters.ulHighestFill, ulFill);
}

// Waits until the ring has drained to its depth, so that the clip
// requested next lands just before the ring runs dry. Gives up when
// audio is switched off or restarted meanwhile, or the pipeline closes.
void waitForDepth(DWORD ulThisSession) {
    while (sessionGoesOn(ulThisSession) &&
           ringFill(ring) > static_cast<std::uint64_t>(depthBlocks(depth)))
        WaitForSingleObject(hAudioPlayed, INFINITE);
}

// Brings the depth up to date when a clip comes: its wait since the
// request, a gap in the sound since the last clip, a clean stretch.
void updateDepth(std::int64_t llNow, std::int64_t llRequested, std::uint64_t& ulDryRunsSeen) {
    if (llRequested != 0) {
        const auto ulWait = static_cast<std::uint64_t>(llNow - llRequested);
        depthClipArrived(depth, llNow - llRequested);
        audioCounters.ulWaitMicros += ulWait;
        audioCounters.ulWaits += 1;
        raiseTo(audioCounters.ulWaitMaxMicros, ulWait);
    }
    if (const std::uint64_t ulDryRuns = audioCounters.ulDryRuns; ulDryRuns != ulDryRunsSeen) {
        // However long the gap, one block more.
        ulDryRunsSeen = ulDryRuns;
        depthUnderrun(depth, llNow);
        audioCounters.ulDepthGrown += 1;
    }
    depthTick(depth, llNow);
    const auto ulDepth = static_cast<std::uint64_t>(depthBlocks(depth));
    audioCounters.ulDepth = ulDepth;
    raiseTo(audioCounters.ulDeepest, ulDepth);
}

void resampleTimed() {
    const std::int64_t llStart = nowMicros();
    resample(fAudio.data(), sAudio.data());
    const auto ulMicros = static_cast<std::uint64_t>(nowMicros() - llStart);
    audioCounters.ulHalfClips += 1;
    audioCounters.ulWorkMicros += ulMicros;
    raiseTo(audioCounters.ulWorkMaxMicros, ulMicros);
}

void resetCounters() {
    for (auto* counter : {&audioCounters.ulCallbacks,      &audioCounters.ulBlocksProduced,
                          &audioCounters.ulBlocksPlayed,   &audioCounters.ulUnderruns,
                          &audioCounters.ulDryRuns,        &audioCounters.ulDepth,
                          &audioCounters.ulDeepest,        &audioCounters.ulDepthGrown,
                          &audioCounters.ulWaitMicros,     &audioCounters.ulWaitMaxMicros,
                          &audioCounters.ulWaits,          &audioCounters.ulRingMicros,
                          &audioCounters.ulRingBlocks,     &audioCounters.ulStaleBlocks,
                          &audioCounters.ulHighestFill,    &audioCounters.ulClipsTaken,
                          &audioCounters.ulClipsPending,   &audioCounters.ulHalfClips,
                          &audioCounters.ulWorkMicros,     &audioCounters.ulWorkMaxMicros,
                          &audioCounters.ulThreadCpuMicros})
        *counter = 0;
    for (auto& bucket : audioCounters.ulLatency)
        bucket = 0;
    for (auto& played : audioCounters.llClipPlayed)
        played = 0;
    for (auto& taken : audioCounters.llClipTaken)
        taken = 0;
    for (auto& wait : audioCounters.llClipWait)
        wait = 0;
}

// Zeroes the buffers and creates the events.
DWORD openPipeline() {
    sAudio.fill(0);
    fAudio.fill(0.0f);
    fTemp.fill(0.0f);
    resampleReset();
    ringReset(ring);
    depthReset(depth, nowMicros());
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
    return workerOpen(&audioWorker);
}

} // namespace

DWORD audioOpen() {
    if (const DWORD dwError = openPipeline(); dwError != NO_ERROR)
        return dwError;
    hStream = OpenSoundOutput(paCallback, &ring);
    if (hStream == nullptr)
        return GetLastError();
    return createThread();
}

int audioStart() {
    if (hAudioThread == nullptr)
        return ERROR_INVALID_HANDLE;
    if (bAudioOn)
        return ERROR_SERVICE_ALREADY_RUNNING;
    // A new session: whatever the ring still holds is stale and the
    // callback skips it, so playback starts with silence until the first
    // new block.
    ulSession += 1;
    ResetEvent(hAudioPlayed);
    bAudioOn = TRUE;
    workerStart(&audioWorker);
    if (StartSoundOutput(hStream))
        return NO_ERROR;
    const DWORD dwError = GetLastError();
    // Nothing will play: let the audio thread and the framer go on.
    bAudioOn = FALSE;
    SetEvent(hAudioPlayed);
    return static_cast<int>(dwError);
}

int audioStop() {
    if (hAudioThread == nullptr)
        return ERROR_INVALID_HANDLE;
    const BOOL bWasOn = bAudioOn.exchange(FALSE);
    // Wake the audio thread if it waits for room in the ring: it drops
    // what it holds and releases the framer.
    if (hAudioPlayed != nullptr)
        SetEvent(hAudioPlayed);
    if (!bWasOn)
        return ERROR_SERVICE_NOT_ACTIVE;
    return StopSoundOutput(hStream) ? NO_ERROR : static_cast<int>(GetLastError());
}

double audioOutputLatency() {
    double dSeconds = 0;
    return hStream != nullptr && GetSoundOutputLatency(hStream, &dSeconds) ? dSeconds : -1.0;
}

int audioClose() {
    bAudioOn = FALSE;
    bAudioThreadDone = TRUE;
    DWORD dwError = NO_ERROR;
    if (hStream != nullptr) {
        if (!CloseSoundOutput(hStream))
            dwError = GetLastError();
        hStream = nullptr;
    }
    // The thread waits either for a clip or for room in the ring; one
    // left behind may still wait on hAudioPlayed, which is then kept.
    workerClose({&audioWorker},
                [] {
                    SetEvent(hAudioClip);
                    SetEvent(hAudioPlayed);
                },
                {hAudioPlayed});
    // A framer that handed over a clip the thread never took is released;
    // from now on it drops clips itself.
    if (hGetMore != nullptr)
        SetEvent(hGetMore);
    return static_cast<int>(dwError);
}

bool clipTapPut(const TAPPEDCLIP& clip) {
    if (!clipTap.push(&clip, 1)) {
        ulClipTapDropped += 1;
        return false;
    }
    if (void (*pfnTapped)() = pfnClipTapped; pfnTapped != nullptr)
        pfnTapped();
    return true;
}

DWORD audioThread(LPVOID) {
    audioCounters.iThreads += 1;
    // When the clip now awaited was requested (the framer released), in
    // this session; 0 when none was.
    std::int64_t llRequested = 0;
    DWORD ulRequestSession = 0;
    std::uint64_t ulDryRunsSeen = audioCounters.ulDryRuns;
    while (!bAudioThreadDone) {
        if (WaitForSingleObject(hAudioClip, 0) == WAIT_OBJECT_0)
            audioCounters.ulClipsPending += 1;
        else
            WaitForSingleObject(hAudioClip, INFINITE);
        if (bAudioThreadDone)
            break; // audioClose releases the framer
        const std::int64_t llClipTime = nowMicros();
        const DWORD ulClipSession = ulSession;
        if (bAudioOn)
            updateDepth(llClipTime, ulRequestSession == ulClipSession ? llRequested : 0,
                        ulDryRunsSeen);
        const std::uint64_t ulClip = audioCounters.ulClipsTaken;
        audioCounters.ulClipsTaken += 1;
        if (ulClip < PLAYED_LOG) {
            audioCounters.llClipTaken[ulClip] = llClipTime;
            if (ulRequestSession == ulClipSession && llRequested != 0)
                audioCounters.llClipWait[ulClip] = llClipTime - llRequested;
        }
        // Listeners elsewhere hear what the operator hears: nothing while
        // audio is off, also a clip that arrived as it was switched off.
        if (bClipTap && bAudioOn) {
            TAPPEDCLIP tapped;
            ADPCMDecoderState(&tapped.sPredictor, &tapped.ucIndex);
            tapped.ucClip = ucAudioClip;
            tapped.llTaken = llClipTime;
            clipTapPut(tapped);
        }
        // Both halves are always decoded, also while audio is off, so the
        // decoder stays in step with the receiver's encoder.
        decode(sAudio.data(), ucAudioClip.data(), HALFCLIP);
        if (bAudioOn) {
            resampleTimed();
            putBlock(ulClipSession, llClipTime, ulClip);
        }
        decode(sAudio.data(), ucAudioClip.data() + HALFCLIP, HALFCLIP);
        if (bAudioOn) {
            resampleTimed();
            putBlock(ulClipSession, 0, ulClip);
            waitForDepth(ulClipSession);
        }
        llRequested = nowMicros();
        ulRequestSession = ulClipSession;
        SetEvent(hGetMore); // ucAudioClip is free for the next clip
        audioCounters.ulThreadCpuMicros = GetCurrentThreadCpuMicroseconds();
    }
    audioCounters.iThreads -= 1;
    return 1;
}

int paCallback(const void*, void* pOutputBuffer, unsigned long ulFramesPerBuffer, double,
               void* pUserData) {
    auto* pOutput = static_cast<float*>(pOutputBuffer);
    const TAKEN taken =
        ringTake(*static_cast<RING*>(pUserData), ulSession, pOutput, ulFramesPerBuffer);
    audioCounters.ulStaleBlocks += taken.ulStale;
    if (taken.bPlayed) {
        const auto nPlayed = std::min<unsigned long>(ulFramesPerBuffer, FRAMES_PER_BLOCK);
        if (bAudioOn) // what plays, for a recording
            recordAudioFrames(pOutput, nPlayed);
        if (bAudioOn && bPlayedTap && !playedTap.push(pOutput, nPlayed))
            ulPlayedTapDropped += nPlayed;
        if (ulSessionPlaying != taken.tag.ulSession) {
            llSessionPlaying = nowMicros();
            ulSessionPlaying = taken.tag.ulSession;
        }
        if (taken.tag.llClipTime != 0) {
            const std::int64_t llNow = nowMicros();
            audioCounters.ulRingMicros += static_cast<std::uint64_t>(llNow - taken.tag.llPutTime);
            audioCounters.ulRingBlocks += 1;
            const std::int64_t llMillis = (llNow - taken.tag.llClipTime) / 1000;
            if (taken.tag.ulClip < PLAYED_LOG)
                audioCounters.llClipPlayed[taken.tag.ulClip] = llNow;
            audioCounters.ulLatency[std::clamp<std::int64_t>(llMillis, 0, LATENCY_BUCKETS - 1)] +=
                1;
        }
        audioCounters.ulBlocksPlayed += 1;
    } else {
        audioCounters.ulUnderruns += 1;
        if (ulSessionPlaying == ulSession && nowMicros() - llSessionPlaying >= SETTLING_MICROS)
            audioCounters.ulDryRuns += 1;
    }
    audioCounters.ulCallbacks += 1;
    SetEvent(hAudioPlayed);
    return 0;
}
