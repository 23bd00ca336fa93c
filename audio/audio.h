// The audio pipeline: decoding, resampling and playback of audio clips.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"
#include "record/spscbuffer.h"

#include <array>
#include <cstdint>

inline constexpr int CLIPSIZE = 250;

// One half-clip: 125 octets give 250 samples, which resample to one output
// block of 256 frames.
inline constexpr int HALFCLIP = CLIPSIZE / 2;
inline constexpr int SAMPLES_PER_HALFCLIP = 2 * HALFCLIP;
inline constexpr int FRAMES_PER_BLOCK = 256;
// Size of the resampler's work array; its first FRAMES_PER_BLOCK floats are
// the output block.
inline constexpr int RESAMPLE_WORK_SIZE = 404;

// The clip hand-off with the framer: it fills ucAudioClip, sets
// hAudioClip and waits for hGetMore before it touches the clip again.
extern std::array<BYTE, CLIPSIZE> ucAudioClip;
extern HANDLE hAudioClip;
extern HANDLE hGetMore;

// A copy of each clip the audio thread takes, with the decoder state it
// is decoded from, for listeners elsewhere (the web panel), who can then
// decode it exactly as the program does from any clip on. Only clips
// taken while audio is on (bAudioOn) are copied: they hear what the
// operator hears. The audio thread never waits for them: while bClipTap
// is off nothing is copied, and a clip that finds the tap full is
// dropped.
struct TAPPEDCLIP {
    std::int16_t sPredictor = 0;
    std::uint8_t ucIndex = 0;
    std::array<BYTE, CLIPSIZE> ucClip{};
    // When the audio thread took it, its last octet just in (the steady
    // clock's microseconds since its epoch): listeners' delay is counted
    // from here.
    std::int64_t llTaken = 0;
};
inline constexpr std::size_t CLIP_TAP_SIZE = 32; // about two seconds of clips
extern SpscBuffer<TAPPEDCLIP, CLIP_TAP_SIZE> clipTap;
extern Shared<int> bClipTap;
// Called by the audio thread after each clip it put in the tap, so that
// the taker wakes at once rather than looking at the tap on a timer. Set
// by the taker; it must return at once and never wait.
extern Shared<void (*)()> pfnClipTapped;
// Clips the tap had no room for.
extern Shared<std::uint64_t> ulClipTapDropped;
// Puts a clip in the tap and wakes its taker; one the tap has no room
// for is counted in ulClipTapDropped. From the audio thread only (the
// tap has one writer).
bool clipTapPut(const TAPPEDCLIP& clip);

// What the sound output plays of the received audio (8000 frames per
// second), for a streamer (Icecast). The callback never waits: while
// bPlayedTap is off nothing is copied, and frames that do not fit are
// dropped (counted in ulPlayedTapDropped).
inline constexpr std::size_t PLAYED_TAP_SIZE = 16384; // about two seconds
extern SpscBuffer<float, PLAYED_TAP_SIZE> playedTap;
extern Shared<int> bPlayedTap;
extern Shared<std::uint64_t> ulPlayedTapDropped;

// Decodes n octets into 2n samples, low nibble first; the decoder state
// carries on from the previous call. Returns sData.
std::int16_t* decode(std::int16_t* sData, const BYTE* ucaCode, int n);

// Converts the SAMPLES_PER_HALFCLIP samples in sData from 7812.5 to 8000 per
// second into FRAMES_PER_BLOCK frames at the start of fAudio, which must hold
// RESAMPLE_WORK_SIZE floats (the rest is scratch). The last input samples
// are carried into the next call, so consecutive calls join seamlessly.
// Returns fAudio.
float* resample(float* fAudio, const std::int16_t* sData);

// Forgets the carried input samples, as if no half-clip had been resampled.
void resampleReset();

// ---------------------------------------------------------------------------
// Playback.
//
// The audio thread decodes and resamples each clip into a small ring of
// output blocks; the sound callback plays one block per call, from the
// first block on. The thread holds the framer (and so the request for the
// next clip) until the ring has drained to its depth (audio/ring.h), so
// the next clip lands just before the ring runs dry and its sound leaves
// the callback soon after it came off the line.

inline constexpr double AUDIO_SAMPLE_RATE = 8000.0;
// Ring capacity in blocks of 32 ms: the deepest the ring is held at, and
// the two blocks of the clip that arrives on top of it.
inline constexpr int RING_BLOCKS = 6;

// For this long after a start's first block has played, an empty ring
// does not deepen it: the sound server may call back in a burst as it
// starts.
inline constexpr std::int64_t SETTLING_MICROS = 500000;

extern HANDLE hAudioPlayed;
// TRUE from audioStart to audioStop. While it is FALSE the framer drops a
// completed clip at once instead of handing it over, and requests no more.
extern Shared<int> bAudioOn;

// audioOpen returns 0 or the platform's error code (the sound output's
// own, when it cannot be opened: ERROR_DEVICE_NOT_AVAILABLE when there
// is none). audioStart, audioStop and audioClose return 0 or the sound
// output's error code. The pipeline plays on whatever sound device is
// current (SetSoundDevice) when it opens.
DWORD audioOpen();
int audioStart();
int audioStop();
int audioClose();
DWORD audioThread(LPVOID);
// What the sound output adds after the callback, in seconds, as it
// reports it; a negative value when it does not tell.
double audioOutputLatency();
// The sound output's callback: plays the next block of the ring in
// pUserData (silence if there is none) and raises hAudioPlayed. Never
// waits, locks or allocates.
int paCallback(const void* pInputBuffer, void* pOutputBuffer, unsigned long ulFramesPerBuffer,
               double outTime, void* pUserData);

// What the pipeline has done since audioOpen.
inline constexpr int LATENCY_BUCKETS = 500; // 1 ms each; the last one holds everything longer
inline constexpr int PLAYED_LOG = 4096;     // clips, a little over four minutes
struct AUDIOCOUNTERS {
    Shared<std::uint64_t> ulCallbacks;
    Shared<std::uint64_t> ulBlocksProduced;  // put into the ring
    Shared<std::uint64_t> ulBlocksPlayed;    // taken by a callback
    Shared<std::uint64_t> ulUnderruns;       // callbacks that found no block and played silence
    Shared<std::uint64_t> ulDryRuns;         // the same, once the session has played for a while
    Shared<std::uint64_t> ulDepth;           // blocks the ring is held at now
    Shared<std::uint64_t> ulDeepest;         // the deepest it has been held at
    Shared<std::uint64_t> ulDepthGrown;      // times an underrun deepened it
    Shared<std::uint64_t> ulWaitMicros;      // request to clip taken, summed over clips
    Shared<std::uint64_t> ulWaitMaxMicros;   // the longest of them
    Shared<std::uint64_t> ulWaits;           // clips counted in ulWaitMicros
    Shared<std::uint64_t> ulRingMicros;      // a clip's first block, put to taken, summed
    Shared<std::uint64_t> ulRingBlocks;      // blocks counted in ulRingMicros
    Shared<std::uint64_t> ulStaleBlocks;     // left over from before an audioStart, never played
    Shared<std::uint64_t> ulHighestFill;     // most blocks ever waiting in the ring
    Shared<std::uint64_t> ulClipsTaken;      // clips the thread took from the framer
    Shared<std::uint64_t> ulClipsPending;    // clips already waiting when the thread looked
    Shared<std::uint64_t> ulHalfClips;       // half-clips decoded and resampled
    Shared<std::uint64_t> ulWorkMicros;      // time spent decoding and resampling them
    Shared<std::uint64_t> ulWorkMaxMicros;   // the longest of them
    Shared<std::uint64_t> ulThreadCpuMicros; // CPU used by the audio thread
    Shared<int> iThreads;                    // audio threads running now
    // From the audio thread taking a clip to the callback taking its first
    // block, in whole milliseconds.
    std::array<Shared<std::uint64_t>, LATENCY_BUCKETS> ulLatency;
    // When the first block of clip n (counted from audioOpen) left the
    // callback, in microseconds of the steady clock; 0 if it never did.
    std::array<Shared<std::int64_t>, PLAYED_LOG> llClipPlayed;
    // When the audio thread took clip n, likewise.
    std::array<Shared<std::int64_t>, PLAYED_LOG> llClipTaken;
    // How long clip n took from its request to the audio thread, in
    // microseconds; 0 when it was not requested in this session.
    std::array<Shared<std::int64_t>, PLAYED_LOG> llClipWait;
};
extern AUDIOCOUNTERS audioCounters;
