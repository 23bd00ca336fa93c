// Faults stop one recording, with a message naming the cause, and leave
// a valid file; a killed program loses at most the last second.
#include "record_fixture.h"

#include "protocol/radiostate.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace recordtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

// Hands over audio at about four times real time until the recording
// stops by itself or the time runs out; returns the frames handed over.
std::uint64_t feedAudioUntilStopped(std::chrono::seconds limit) {
    std::array<float, 256> block;
    std::uint64_t k = 0;
    for (const auto end = Clock::now() + limit; recordAudioIsRecording() && Clock::now() < end;) {
        for (float& f : block)
            f = rampFrame(k++);
        recordAudioFrames(block.data(), block.size());
        std::this_thread::sleep_for(8ms);
    }
    return k;
}

// A tiny file system that fills up: a tmpfs of 16 kB where this process
// may mount one, else a limit on the size of any file this process
// writes. Undone on destruction.
class FullDisk {
  public:
    explicit FullDisk(const std::string& szDir) : szDir_(szDir) {
        std::filesystem::create_directories(szDir);
        bMounted_ = ::mount("tmpfs", szDir.c_str(), "tmpfs", 0, "size=16k") == 0;
        if (!bMounted_) {
            getrlimit(RLIMIT_FSIZE, &old_);
            const rlimit tiny{16384, old_.rlim_max};
            std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &tiny);
        }
    }
    ~FullDisk() {
        if (bMounted_)
            ::umount2(szDir_.c_str(), MNT_DETACH);
        else
            setrlimit(RLIMIT_FSIZE, &old_);
    }
    bool mounted() const { return bMounted_; }

  private:
    std::string szDir_;
    bool bMounted_ = false;
    rlimit old_{};
};

TEST_F(Recording, ADirectoryThatCannotBeMadeOrWrittenStopsOnlyThatRecording) {
    ASSERT_TRUE(recordStreamStart()); // in a good directory, and stays on
    const std::string szBin = recordStreamPath();
    recordStreamOctet(1);

    std::ofstream(szTop + "/plain") << "a file, not a directory";
    std::vector<std::pair<std::string, std::string>> bad{
        {szTop + "/plain/recordings", "Not a directory"}};
    const std::string szReadOnly = szTop + "/readonly";
    std::filesystem::create_directories(szReadOnly);
    if (::mount("tmpfs", szReadOnly.c_str(), "tmpfs", MS_RDONLY, "size=16k") == 0)
        bad.emplace_back(szReadOnly, "Read-only file system");
    else if (geteuid() != 0 && ::chmod(szReadOnly.c_str(), 0555) == 0)
        bad.emplace_back(szReadOnly, "Permission denied");

    for (const auto& [szDir, szCause] : bad) {
        const int iPosts = notified.iPosts;
        useDirectory(szDir);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(recordAudioStart(10000000, MODE_AM)) << szDir;
        const std::string szErr = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(recordAudioIsRecording());
        const auto all = faults();
        ASSERT_EQ(all.size(), 1u) << szDir;
        EXPECT_THAT(all[0], HasSubstr("Record Audio"));
        EXPECT_THAT(all[0], HasSubstr(szDir));
        EXPECT_THAT(all[0], HasSubstr(szCause));
        EXPECT_THAT(szErr, HasSubstr(all[0]));
        EXPECT_GT(notified.iPosts.load(), iPosts) << "the dialog was not told";
    }
    ::umount2(szReadOnly.c_str(), MNT_DETACH);

    EXPECT_TRUE(recordStreamIsRecording());
    recordStreamOctet(2);
    recordStreamStop();
    std::ifstream in(szBin, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("\1\2", 2));
}

TEST_F(Recording, AFullDiskStopsEachRecordingWithAMessageAndLeavesAValidFile) {
    useDirectory(szTop + "/tiny");
    const FullDisk disk(szTop + "/tiny");
    ASSERT_TRUE(recordAudioStart(10000000, MODE_AM));
    ASSERT_TRUE(recordStreamStart());
    const std::string szWav = recordAudioPath();
    const std::string szBin = recordStreamPath();
    const std::uint64_t ulFed = feedAudioUntilStopped(10s);
    ASSERT_FALSE(recordAudioIsRecording()) << "the full disk went unnoticed";
    std::uint64_t ulOctets = 0;
    for (const auto end = Clock::now() + 10s; recordStreamIsRecording() && Clock::now() < end;) {
        for (int i = 0; i < 64; ++i)
            recordStreamOctet(static_cast<BYTE>(ulOctets++));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_FALSE(recordStreamIsRecording());

    const auto all = faults();
    ASSERT_EQ(all.size(), 2u);
    const auto cause = AnyOf(HasSubstr("No space left on device"), HasSubstr("File too large"));
    // Either may find the disk full first.
    EXPECT_THAT(all,
                UnorderedElementsAre(AllOf(HasSubstr("Record Audio stopped: " + szWav), cause),
                                     AllOf(HasSubstr("Record Stream stopped: " + szBin), cause)));

    const WAV wav = readWav(szWav);
    ASSERT_TRUE(wav.bOpened) << "not a valid file";
    EXPECT_GT(wav.sample.size(), 1000u);
    EXPECT_LT(wav.sample.size(), ulFed);
    for (std::size_t k = 0; k < wav.sample.size(); ++k)
        ASSERT_EQ(wav.sample[k], rampSample(k)) << "frame " << k;
    std::ifstream in(szBin, std::ios::binary);
    const std::string octets(std::istreambuf_iterator<char>(in), {});
    for (std::size_t i = 0; i < octets.size(); ++i)
        ASSERT_EQ(static_cast<BYTE>(octets[i]), static_cast<BYTE>(i)) << "octet " << i;
}

TEST_F(Recording, AFileThatDisappearsStopsItsRecording) {
    ASSERT_TRUE(recordAudioStart(10000000, MODE_AM));
    ASSERT_TRUE(recordStreamStart());
    std::filesystem::remove(recordStreamPath());
    for (const auto end = Clock::now() + 3s; recordStreamIsRecording() && Clock::now() < end;) {
        recordStreamOctet(7);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(recordStreamIsRecording());
    const auto all = faults();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_THAT(all[0], HasSubstr("Record Stream stopped: " + recordStreamPath() +
                                  ": the file was deleted or moved"));
    EXPECT_TRUE(recordAudioIsRecording()) << "the other recording went on";
}

// Run as a child process by the next test: records a ramp at real time
// and says after each block how many frames it has handed over, until it
// is killed.
TEST(RecordKillChild, RecordsUntilKilled) {
    if (std::getenv("VELKOR_RECORD_KILL_CHILD") == nullptr)
        GTEST_SKIP() << "runs only as the child of RecordKill";
    ASSERT_TRUE(recordAudioStart(10000000, MODE_AM));
    std::printf("%s\n", recordAudioPath().c_str());
    std::array<float, 256> block;
    for (std::uint64_t k = 0;;) {
        for (float& f : block)
            f = rampFrame(k++);
        recordAudioFrames(block.data(), block.size());
        std::printf("%llu\n", static_cast<unsigned long long>(k));
        std::fflush(stdout);
        std::this_thread::sleep_for(32ms);
    }
}

TEST_F(Recording, AfterSigkillTheFileOpensAndHoldsAllButAtMostTheLastSecond) {
    std::array<int, 2> fds{};
    ASSERT_EQ(pipe(fds.data()), 0);
    setenv("VELKOR_RECORD_KILL_CHILD", "1", 1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        execl("/proc/self/exe", "record-child", "--gtest_filter=RecordKillChild.*", nullptr);
        _exit(127);
    }
    unsetenv("VELKOR_RECORD_KILL_CHILD");
    close(fds[1]);
    ASSERT_GT(pid, 0);
    FILE* pOut = fdopen(fds[0], "r");
    std::array<char, 4096> szLine{};
    std::string szPath;
    unsigned long long ullFrames = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < 2700ms && std::fgets(szLine.data(), szLine.size(), pOut)) {
        if (szLine[0] == '/')
            szPath = std::string(szLine.data(), std::strlen(szLine.data()) - 1);
        else
            std::sscanf(szLine.data(), "%llu", &ullFrames);
    }
    kill(pid, SIGKILL);
    while (std::fgets(szLine.data(), szLine.size(), pOut)) // what it said before it died
        std::sscanf(szLine.data(), "%llu", &ullFrames);
    std::fclose(pOut);
    int iStatus = 0;
    waitpid(pid, &iStatus, 0);
    ASSERT_TRUE(WIFSIGNALED(iStatus));
    ASSERT_THAT(szPath, HasSubstr(szDir_));
    ASSERT_GT(ullFrames, 2u * 8000u) << "the child hardly ran";

    const WAV wav = readWav(szPath);
    ASSERT_TRUE(wav.bOpened) << "libsndfile cannot open the file of a killed recording";
    EXPECT_LE(wav.sample.size(), ullFrames);
    EXPECT_GE(wav.sample.size() + 8000, ullFrames) << "more than the last second lost";
    for (std::size_t k = 0; k < wav.sample.size(); ++k)
        ASSERT_EQ(wav.sample[k], rampSample(k)) << "frame " << k;
}

} // namespace
