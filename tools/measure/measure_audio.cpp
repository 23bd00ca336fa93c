// velkor-measure-audio: streams from the emulated receiver at the real
// line rate through the link and the audio path into the default sound
// output, and reports how the playback went. Run it through
// scripts/measure-audio (a null sink at 8000 frames/s).
//
//   velkor-measure-audio [--stand-in] [--usb] [--record] [--web N] [SECONDS]
//
// --stand-in plays the sound device's part with a steady clock instead of
// the sound output. --usb delivers the receiver's octets in USB-adapter
// packets (62 octets, or fewer after 16 ms). --record records the played
// audio and the receive stream meanwhile (into VELKOR_RECORDINGS, else a
// temporary directory that is removed afterwards) and reports the
// writer's CPU and what it wrote and dropped. --web N serves the web
// panel on loopback meanwhile, with N listeners played by velkor-web-load
// (beside this program), so that its cost shows in the playback and the
// link. With VELKOR_MEASURE_TRACE set it also reports a clip
// stream that stops for 300 ms and lists the first commands the receiver
// got with the times of their answers.
#include "audio/audio.h"
#include "link/comthread.h"
#include "protocol/comreceive.h"
#include "protocol/radiostate.h"
#include "record/record.h"
#include "record/recordname.h"
#include "sim/signalmodel.h"
#include "tools/measure/audiorun.h"
#include "tools/measure/capture.h"
#include "web/web.h"

#include <QCoreApplication>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto STARTUP = 500ms; // after the first block has played

std::int64_t micros(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto k = static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[k];
}

// The latency histogram's percentile, in milliseconds.
double histogramPercentile(double p) {
    std::uint64_t total = 0;
    for (const auto& bucket : audioCounters.ulLatency)
        total += bucket;
    std::uint64_t seen = 0;
    for (int ms = 0; ms < LATENCY_BUCKETS; ++ms) {
        seen += audioCounters.ulLatency[static_cast<std::size_t>(ms)];
        if (total > 0 && static_cast<double>(seen) >= p / 100.0 * static_cast<double>(total))
            return ms;
    }
    return LATENCY_BUCKETS;
}

} // namespace

int main(int argc, char** argv) {
    // --stand-in: a stand-in sound clock instead of the sound output;
    // --usb: the receiver's octets come through a USB serial adapter.
    bool bStandIn = false;
    bool bUsb = false;
    bool bRecord = false;
    int nWebListeners = -1; // no web panel
    const std::string szProgram = argv[0];
    int argcQt = 1;
    for (; argc > 1 && argv[1][0] == '-'; --argc, ++argv) {
        const std::string option = argv[1];
        if (option == "--stand-in") {
            bStandIn = true;
        } else if (option == "--usb") {
            bUsb = true;
        } else if (option == "--record") {
            bRecord = true;
        } else if (option == "--web" && argc > 2) {
            nWebListeners = std::atoi(argv[2]);
            --argc;
            ++argv;
        } else {
            std::fprintf(stderr, "usage: velkor-measure-audio [--stand-in] [--usb] [--record] "
                                 "[--web N] [SECONDS, 2..240]\n");
            return 2;
        }
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (!(seconds >= 2 && seconds <= 240)) {
        std::fprintf(stderr, "usage: velkor-measure-audio [--stand-in] [--usb] [--record] [--web "
                             "N] [SECONDS, 2..240]\n");
        return 2;
    }
    AudioLinkRun run(!bStandIn, TEST_TONE_FREQUENCY);
    if (bUsb)
        run.emulator().frontPanel("usb on");
    if (const DWORD dwError = run.open(); dwError != NO_ERROR) {
        std::fprintf(stderr,
                     "velkor-measure-audio: cannot open the sound output or the link (%d)\n",
                     static_cast<int>(dwError));
        return 1;
    }
    // The web panel, and its listeners in a process of their own.
    std::unique_ptr<QCoreApplication> app;
    pid_t webLoad = -1;
    if (nWebListeners >= 0) {
        app = std::make_unique<QCoreApplication>(argcQt, argv);
        std::string szError;
        setenv(szWebListenersEnv, "1000", 1);
        if (!webOpen("127.0.0.1:0", {}, &szError)) {
            std::fprintf(stderr, "velkor-measure-audio: web panel: %s\n", szError.c_str());
            return 1;
        }
        const std::string szLoad =
            std::filesystem::path(szProgram).parent_path() / "velkor-web-load";
        const std::string szUrl = "ws://127.0.0.1:" + std::to_string(webPort()) + "/ws";
        const std::string szListeners = std::to_string(nWebListeners);
        const std::string szSeconds = std::to_string(static_cast<int>(seconds) + 8);
        char* argvLoad[] = {const_cast<char*>(szLoad.c_str()), const_cast<char*>(szUrl.c_str()),
                            const_cast<char*>(szListeners.c_str()),
                            const_cast<char*>(szSeconds.c_str()), nullptr};
        if (posix_spawn(&webLoad, szLoad.c_str(), nullptr, nullptr, argvLoad, environ) != 0) {
            std::fprintf(stderr, "velkor-measure-audio: cannot start %s\n", szLoad.c_str());
            return 1;
        }
    }
    std::string szTemporary;
    if (bRecord) {
        if (std::getenv(szRecordEnv) == nullptr) {
            std::string szDir = "/tmp/velkor-measure-recording.XXXXXX";
            if (mkdtemp(szDir.data()) != nullptr) {
                szTemporary = szDir;
                setenv(szRecordEnv, szDir.c_str(), 1);
            }
        }
        if (!recordAudioStart(TEST_TONE_FREQUENCY, MODE_AM) || !recordStreamStart()) {
            std::fprintf(stderr, "velkor-measure-audio: cannot record\n");
            return 1;
        }
    }
    const auto enabled = Clock::now();
    run.enable();
    while (audioCounters.ulBlocksPlayed.load() == 0 && Clock::now() - enabled < 5s)
        std::this_thread::sleep_for(1ms);
    const auto firstPlayed = Clock::now();
    std::this_thread::sleep_for(STARTUP);
    const std::uint64_t ulCallbacks0 = audioCounters.ulCallbacks;
    const std::uint64_t ulPlayed0 = audioCounters.ulBlocksPlayed;
    const std::uint64_t ulUnderruns0 = audioCounters.ulUnderruns;
    const std::uint64_t ulCpu0 = audioCounters.ulThreadCpuMicros;
    const std::uint64_t ulWriterCpu0 = recordCounters.ulWriterCpuMicros;
    const auto measureStart = Clock::now();
    if (std::getenv("VELKOR_MEASURE_TRACE")) {
        std::uint64_t last = 0;
        auto lastChange = Clock::now();
        while (Clock::now() - measureStart < std::chrono::duration<double>(seconds)) {
            std::this_thread::sleep_for(10ms);
            const std::uint64_t now = audioCounters.ulClipsTaken;
            if (now != last) {
                last = now;
                lastChange = Clock::now();
            } else if (Clock::now() - lastChange > 300ms) {
                std::printf(
                    "stall at %.0f ms: inFrame %d streaming %d clips %llu produced %llu played "
                    "%llu callbacks %llu sent %zu\n",
                    std::chrono::duration<double, std::milli>(Clock::now() - enabled).count(),
                    comReceiveInFrame(), bStreaming.load(), (unsigned long long)now,
                    (unsigned long long)audioCounters.ulBlocksProduced.load(),
                    (unsigned long long)audioCounters.ulBlocksPlayed.load(),
                    (unsigned long long)audioCounters.ulCallbacks.load(),
                    run.emulator().octetsSent());
                lastChange = Clock::now() + 10s;
            }
        }
    } else {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
    const auto measureEnd = Clock::now();
    const std::uint64_t ulCallbacks = audioCounters.ulCallbacks - ulCallbacks0;
    const std::uint64_t ulPlayed = audioCounters.ulBlocksPlayed - ulPlayed0;
    const std::uint64_t ulUnderruns = audioCounters.ulUnderruns - ulUnderruns0;
    const double cpuSeconds = static_cast<double>(audioCounters.ulThreadCpuMicros - ulCpu0) * 1e-6;
    const double wall = std::chrono::duration<double>(measureEnd - measureStart).count();
    const double writerCpuSeconds =
        static_cast<double>(recordCounters.ulWriterCpuMicros - ulWriterCpu0) * 1e-6;
    if (bRecord)
        recordClose();
    const int nWebHeard = webListeners();
    const unsigned long long ulWebSkipped = webSkipped();
    if (webLoad > 0) {
        std::fflush(stdout);
        waitpid(webLoad, nullptr, 0); // its line: the clips each listener got
    }
    webClose();
    if (!szTemporary.empty())
        std::filesystem::remove_all(szTemporary);
    run.disable();
    std::this_thread::sleep_for(200ms);

    // Latency: the n-th clip answers the n-th "?RMC" after the start; from
    // the last octet handed to the line to its first frame leaving the
    // callback.
    std::vector<double> latency;
    std::vector<double> handOff; // last octet to the audio thread taking the clip
    std::vector<double> taken;   // the audio thread taking it to its first frame out
    std::size_t clip = 0;
    for (const CommandRecord& record : run.emulator().log()) {
        if (record.szCommand != "?RMC" || record.received < enabled || !record.answerEnd)
            continue;
        if (clip >= static_cast<std::size_t>(PLAYED_LOG))
            break;
        const std::int64_t played = audioCounters.llClipPlayed[clip];
        const std::int64_t tookAt = audioCounters.llClipTaken[clip++];
        if (played != 0 && *record.answerEnd > firstPlayed + STARTUP &&
            *record.answerEnd < measureEnd) {
            latency.push_back(static_cast<double>(played - micros(*record.answerEnd)) / 1000.0);
            handOff.push_back(static_cast<double>(tookAt - micros(*record.answerEnd)) / 1000.0);
            taken.push_back(static_cast<double>(played - tookAt) / 1000.0);
        }
    }
    if (std::getenv("VELKOR_MEASURE_TRACE")) {
        int n = 0;
        for (const CommandRecord& record : run.emulator().log()) {
            if (n++ > 400)
                break;
            std::printf(
                "%-6s recv %+8.1f  start %+8.1f  end %+8.1f ms\n", record.szCommand.c_str(),
                std::chrono::duration<double, std::milli>(record.received - enabled).count(),
                record.answerStart
                    ? std::chrono::duration<double, std::milli>(*record.answerStart - enabled)
                          .count()
                    : -1.0,
                record.answerEnd
                    ? std::chrono::duration<double, std::milli>(*record.answerEnd - enabled).count()
                    : -1.0);
        }
    }
    const std::uint64_t ulAbandoned = linkCounters.ulFramesAbandoned;
    const std::uint64_t ulUnanswered = linkCounters.ulRequestsUnanswered;
    const std::uint64_t ulStreamsEnded = linkCounters.ulStreamsEnded;
    const std::uint64_t ulHalfClips = audioCounters.ulHalfClips;
    const double outputLatency = audioOutputLatency();
    auto meanOf = [](std::uint64_t ulSum, std::uint64_t ulCount) {
        return ulCount ? static_cast<double>(ulSum) / static_cast<double>(ulCount) / 1000.0 : 0.0;
    };
    const double ringMean = meanOf(audioCounters.ulRingMicros, audioCounters.ulRingBlocks);
    const double waitMean = meanOf(audioCounters.ulWaitMicros, audioCounters.ulWaits);
    // The slowest requests, and when they were answered.
    std::vector<std::pair<std::int64_t, std::size_t>> slowest;
    for (std::size_t n = 0; n < static_cast<std::size_t>(PLAYED_LOG); ++n)
        if (audioCounters.llClipWait[n] > 0)
            slowest.emplace_back(audioCounters.llClipWait[n], n);
    std::sort(slowest.rbegin(), slowest.rend());
    slowest.resize(std::min<std::size_t>(slowest.size(), 3));
    const double workMean = ulHalfClips ? static_cast<double>(audioCounters.ulWorkMicros) /
                                              static_cast<double>(ulHalfClips)
                                        : 0;
    run.close();

    std::printf("streamed %.1f s after start-up (first block %.0f ms after Enable)\n", wall,
                std::chrono::duration<double, std::milli>(firstPlayed - enabled).count());
    std::printf("callbacks                      %llu (%.2f per second)\n",
                static_cast<unsigned long long>(ulCallbacks),
                static_cast<double>(ulCallbacks) / wall);
    std::printf("callbacks with a fresh block   %.4f\n",
                ulCallbacks ? static_cast<double>(ulPlayed) / static_cast<double>(ulCallbacks)
                            : 0.0);
    std::printf("underruns after start-up       %llu\n",
                static_cast<unsigned long long>(ulUnderruns));
    std::printf("frames abandoned               %llu\n",
                static_cast<unsigned long long>(ulAbandoned));
    std::printf("requests unanswered            %llu (streams ended by them: %llu)\n",
                static_cast<unsigned long long>(ulUnanswered),
                static_cast<unsigned long long>(ulStreamsEnded));
    std::printf("highest ring fill              %llu of %d blocks\n",
                static_cast<unsigned long long>(audioCounters.ulHighestFill.load()), RING_BLOCKS);
    std::printf("ring depth                     %llu at the end, deepest %llu, grown by underruns "
                "%llu times\n",
                static_cast<unsigned long long>(audioCounters.ulDepth.load()),
                static_cast<unsigned long long>(audioCounters.ulDeepest.load()),
                static_cast<unsigned long long>(audioCounters.ulDepthGrown.load()));
    std::printf("request to clip taken          mean %.1f ms, max %.1f ms\n", waitMean,
                static_cast<double>(audioCounters.ulWaitMaxMicros.load()) / 1000.0);
    for (const auto& [llWait, n] : slowest)
        std::printf("  slow: clip %zu took %.1f ms, %.0f ms after Enable\n", n,
                    static_cast<double>(llWait) / 1000.0,
                    static_cast<double>(audioCounters.llClipTaken[n] - micros(enabled)) / 1000.0);
    std::printf("clips already waiting          %llu of %llu\n",
                static_cast<unsigned long long>(audioCounters.ulClipsPending.load()),
                static_cast<unsigned long long>(audioCounters.ulClipsTaken.load()));
    std::printf("latency, last octet to first frame out of the callback: p50 %.1f ms, p99 %.1f ms, "
                "max %.1f ms (%zu clips)\n",
                percentile(latency, 50), percentile(latency, 99), percentile(latency, 100),
                latency.size());
    std::printf("  where it goes: last octet to the audio thread       p50 %.1f ms, p99 %.1f ms\n",
                percentile(handOff, 50), percentile(handOff, 99));
    std::printf("                 audio thread to first frame out      p50 %.1f ms, p99 %.1f ms\n",
                percentile(taken, 50), percentile(taken, 99));
    std::printf("                   of which in the ring (blocks ahead and the wait for the "
                "callback) mean %.1f ms\n",
                ringMean);
    std::printf("  after the callback: output latency the sound output reports %.1f ms (not in "
                "the figures above)\n",
                outputLatency < 0 ? 0.0 : 1000.0 * outputLatency);
    std::printf("  last octet to the device, p50: %.1f ms\n",
                percentile(latency, 50) + (outputLatency < 0 ? 0.0 : 1000.0 * outputLatency));
    std::printf(
        "latency, clip taken by the audio thread to first frame out: p50 %.0f ms, p99 %.0f ms\n",
        histogramPercentile(50), histogramPercentile(99));
    std::printf("audio thread CPU               %.3f s in %.1f s (%.2f %% of one core)\n",
                cpuSeconds, wall, 100.0 * cpuSeconds / wall);
    std::printf("decode + resample per half-clip: mean %.0f us, max %llu us, against 32000 us "
                "(%.2f %% of real time)\n",
                workMean, static_cast<unsigned long long>(audioCounters.ulWorkMaxMicros.load()),
                100.0 * workMean / 32000.0);
    // What the link dropped, cut or resynchronised over the whole run.
    const std::string szCounters = linkCountersText();
    std::printf("link counters%s\n%s", szCounters.empty() ? ": all zero" : ":", szCounters.c_str());

    if (nWebListeners >= 0)
        std::printf("web panel                      %d listening at the end, %llu clips skipped "
                    "for slow ones\n",
                    nWebHeard, ulWebSkipped);
    if (bRecord) {
        std::printf("recording writer CPU           %.3f s in %.1f s (%.2f %% of one core)\n",
                    writerCpuSeconds, wall, 100.0 * writerCpuSeconds / wall);
        std::printf("recorded                       %llu frames (%llu dropped, most waiting %llu), "
                    "%llu octets (%llu dropped, most waiting %llu)\n",
                    static_cast<unsigned long long>(recordCounters.audio.ulWritten.load()),
                    static_cast<unsigned long long>(recordCounters.audio.ulDropped.load()),
                    static_cast<unsigned long long>(recordCounters.audio.ulHighestFill.load()),
                    static_cast<unsigned long long>(recordCounters.stream.ulWritten.load()),
                    static_cast<unsigned long long>(recordCounters.stream.ulDropped.load()),
                    static_cast<unsigned long long>(recordCounters.stream.ulHighestFill.load()));
    }
    if (const char* szCapture = std::getenv("VELKOR_CAPTURE")) {
        const TONECHECK tone =
            checkTone(readCapture(szCapture), 8000.0, TEST_TONE_HZ, 0.5, std::min(seconds, 30.0));
        if (tone.bFound)
            std::printf("captured tone %.1f Hz, amplitude %.3f, quiet 8 ms windows %zu, largest "
                        "phase step %.3f rad\n",
                        tone.dFrequency, tone.dAmplitude, tone.ulQuietWindows,
                        tone.dWorstPhaseStep);
        else
            std::printf("captured tone: not found in %s\n", szCapture);
    }
    return 0;
}
