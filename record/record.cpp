// Recording of the played audio and of the receive stream.
#include "record/record.h"

#include "platform/sound.h"
#include "platform/worker.h"
#include "record/recordfile.h"
#include "record/recordname.h"
#include "record/spscbuffer.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>

RECORDCOUNTERS recordCounters;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto EXISTENCE_PERIOD = std::chrono::seconds(1);
// Below the audio and link threads: playback and the link come first,
// and the buffers cover the writer's wait.
constexpr int WRITER_PRIORITY = THREAD_PRIORITY_BELOW_NORMAL - 1;
constexpr std::size_t WRITE_CHUNK = 4096;

template <typename T, std::size_t N> struct CHANNEL {
    const char* szName; // as the menu says
    const char* szUnit;
    RECORDCOUNTS& counts;
    SpscBuffer<T, N> buffer{};
    Shared<int> bOn{FALSE}; // the hand-off fills the buffer only while set
    // Held by whoever takes from the buffer or touches the file: the
    // writer thread, or a stop.
    std::mutex lock{};
    std::unique_ptr<RecordFile<T>> file{};
    std::string szPath{};
    Clock::time_point lastSync{};
    Clock::time_point lastCheck{};
    std::array<T, WRITE_CHUNK> chunk{};
};

CHANNEL<float, RECORD_AUDIO_BUFFER> audio{"Record Audio", "frames", recordCounters.audio};
CHANNEL<BYTE, RECORD_STREAM_BUFFER> stream{"Record Stream", "octets", recordCounters.stream};

std::mutex controlLock; // start, stop and close
Shared<HWND> hNotify{nullptr};
Shared<UINT> uNotifyMsg{0};

std::mutex faultLock;
std::deque<std::string> faults;

DWORD writerThread(LPVOID);

HANDLE hWriter = nullptr; // under controlLock
DWORD ulWriterID = 0;
HANDLE hWriterWake = nullptr;
StopFlag bWriterDone;
WORKER writerWorker{"recording writer", writerThread, bWriterDone, hWriter, ulWriterID};

void notify() {
    if (HWND hWnd = hNotify)
        PostMessageA(hWnd, uNotifyMsg, 0, 0);
}

void reportFault(std::string szMessage) {
    std::fprintf(stderr, "velkor: %s\n", szMessage.c_str());
    const std::lock_guard lock(faultLock);
    faults.push_back(std::move(szMessage));
}

void raiseTo(Shared<std::uint64_t>& ulMax, std::uint64_t ulValue) {
    if (ulValue > ulMax)
        ulMax = ulValue;
}

// Writes everything waiting; false on a write error. Under ch.lock.
template <typename C> bool drain(C& ch) {
    raiseTo(ch.counts.ulHighestFill, ch.buffer.size());
    while (const std::size_t n = ch.buffer.pop(ch.chunk.data(), ch.chunk.size())) {
        if (!ch.file->write(ch.chunk.data(), n))
            return false;
        ch.counts.ulWritten += n;
    }
    return true;
}

// Closes the file; szFault says why when it is not the operator's stop.
// Under ch.lock.
template <typename C> void finish(C& ch, std::string szFault) {
    if (!ch.file->close() && szFault.empty())
        szFault = ch.file->error();
    ch.file.reset();
    if (!szFault.empty()) {
        reportFault(std::string(ch.szName) + " stopped: " + ch.szPath + ": " + szFault);
    } else {
        std::fprintf(stderr, "velkor: %s stopped: %s, %llu %s", ch.szName, ch.szPath.c_str(),
                     static_cast<unsigned long long>(ch.counts.ulWritten.load()), ch.szUnit);
        if (const std::uint64_t ulDropped = ch.counts.ulDropped; ulDropped != 0)
            std::fprintf(stderr, " (%llu %s dropped: the writer fell behind)",
                         static_cast<unsigned long long>(ulDropped), ch.szUnit);
        std::fprintf(stderr, "\n");
    }
    // Cleared only once the cause is queued, so whoever sees the
    // recording stopped also finds why.
    ch.bOn = FALSE;
    notify();
}

// One round of the writer thread.
template <typename C> void service(C& ch) {
    const std::lock_guard lock(ch.lock);
    if (!ch.file)
        return;
    if (!drain(ch))
        return finish(ch, ch.file->error());
    const auto now = Clock::now();
    if (now - ch.lastSync >= RECORD_HEADER_PERIOD) {
        ch.lastSync = now;
        if (!ch.file->sync())
            return finish(ch, ch.file->error());
    }
    if (now - ch.lastCheck >= EXISTENCE_PERIOD) {
        ch.lastCheck = now;
        std::error_code error;
        if (!std::filesystem::exists(ch.szPath, error))
            return finish(ch, "the file was deleted or moved");
    }
}

DWORD writerThread(LPVOID) {
    while (!bWriterDone) {
        WaitForSingleObject(hWriterWake, RECORD_PERIOD_MS);
        service(audio);
        service(stream);
        recordCounters.ulWriterCpuMicros = GetCurrentThreadCpuMicroseconds();
    }
    return 1;
}

// Under controlLock.
bool startWriter() {
    if (hWriter != nullptr)
        return true;
    bWriterDone = FALSE;
    hWriterWake = CreateEventA(nullptr, FALSE, FALSE, "recordWake");
    if (hWriterWake == nullptr)
        return false;
    if (workerOpen(&writerWorker) != NO_ERROR) {
        CloseHandle(hWriterWake);
        hWriterWake = nullptr;
        return false;
    }
    SetThreadPriority(hWriter, WRITER_PRIORITY);
    workerStart(&writerWorker);
    return true;
}

void stopWriter() {
    if (hWriter == nullptr)
        return;
    // A writer stuck in the file system keeps its event (a small leak
    // rather than a wait on a released object).
    workerClose({&writerWorker}, [] { SetEvent(hWriterWake); }, {hWriterWake});
}

// Under controlLock: makes the directory and the file, or reports why not.
template <typename C, typename Open> BOOL start(C& ch, const char* szWhat, Open open) {
    if (ch.bOn)
        return TRUE;
    const std::string szDirectory = recordDirectory();
    std::error_code error;
    std::filesystem::create_directories(szDirectory, error);
    if (error) {
        reportFault(std::string(ch.szName) + ": cannot create the directory " + szDirectory + ": " +
                    error.message());
        notify();
        return FALSE;
    }
    std::string szPath;
    std::string szError;
    auto file = open(szDirectory, szPath, szError);
    if (!file || !startWriter()) {
        reportFault(std::string(ch.szName) + ": cannot write " + szPath + ": " +
                    (file ? "no writer thread" : szError));
        notify();
        return FALSE;
    }
    std::fprintf(stderr, "velkor: recording %s to %s\n", szWhat, szPath.c_str());
    {
        const std::lock_guard lock(ch.lock);
        ch.buffer.clear(); // left over from a hand-off that raced the last stop
        ch.counts.ulWritten = 0;
        ch.counts.ulDropped = 0;
        ch.counts.ulHighestFill = 0;
        ch.file = std::move(file);
        ch.szPath = szPath;
        ch.lastSync = ch.lastCheck = Clock::now();
        ch.bOn = TRUE;
    }
    notify();
    return TRUE;
}

// Under controlLock: writes what is waiting and closes the file.
template <typename C> void stop(C& ch) {
    ch.bOn = FALSE;
    const std::lock_guard lock(ch.lock);
    if (ch.file)
        finish(ch, drain(ch) ? std::string() : ch.file->error());
}

std::tm localNow(std::time_t* pNow) {
    *pNow = std::time(nullptr);
    std::tm local{};
    local = *std::localtime(pNow); // under controlLock
    return local;
}

} // namespace

void recordOpen(HWND hWnd, UINT uMsg) {
    uNotifyMsg = uMsg;
    hNotify = hWnd;
}

void recordClose() {
    const std::lock_guard control(controlLock);
    stop(audio);
    stop(stream);
    stopWriter();
    hNotify = nullptr;
}

BOOL recordAudioStart(DWORD ulFrequency, DWORD uMode, LPCSTR szStation) {
    const std::lock_guard control(controlLock);
    return start(audio, "audio",
                 [&](const std::string& szDirectory, std::string& szPath, std::string& szError) {
                     std::time_t now = 0;
                     const std::tm local = localNow(&now);
                     szPath = recordUniquePath(
                         szDirectory, recordBaseName(local, ulFrequency, uMode, szStation), ".wav");
                     std::array<char, 32> szTime{};
                     std::strftime(szTime.data(), szTime.size(), "%Y-%m-%d %H:%M:%S", &local);
                     const std::string szComment =
                         "Velkor QX-4470: " + std::to_string(ulFrequency) + " Hz, " +
                         recordModeName(uMode) +
                         (szStation != nullptr ? std::string(", ") + szStation : "") +
                         ", recorded from " + szTime.data();
                     return openWavFile(szPath, szComment, szError);
                 });
}

void recordAudioStop() {
    const std::lock_guard control(controlLock);
    stop(audio);
}

BOOL recordAudioIsRecording() {
    return audio.bOn;
}

BOOL recordStreamStart() {
    const std::lock_guard control(controlLock);
    return start(stream, "the receive stream",
                 [](const std::string& szDirectory, std::string& szPath, std::string& szError) {
                     std::time_t now = 0;
                     szPath = recordUniquePath(szDirectory, recordBaseName(localNow(&now)), ".bin");
                     return openStreamFile(szPath, szError);
                 });
}

void recordStreamStop() {
    const std::lock_guard control(controlLock);
    stop(stream);
}

BOOL recordStreamIsRecording() {
    return stream.bOn;
}

std::string recordAudioPath() {
    const std::lock_guard lock(audio.lock);
    return audio.szPath;
}

std::string recordStreamPath() {
    const std::lock_guard lock(stream.lock);
    return stream.szPath;
}

BOOL recordTakeFault(std::string& szMessage) {
    const std::lock_guard lock(faultLock);
    if (faults.empty())
        return FALSE;
    szMessage = std::move(faults.front());
    faults.pop_front();
    return TRUE;
}

void recordAudioFrames(const float* pFrames, unsigned long ulFrames) {
    if (audio.bOn && !audio.buffer.push(pFrames, ulFrames))
        audio.counts.ulDropped += ulFrames;
}

void recordStreamOctet(BYTE ucOctet) {
    if (stream.bOn && !stream.buffer.push(&ucOctet, 1))
        stream.counts.ulDropped += 1;
}
