// Shutdown in every state: never opened, never started, without a port,
// and with every thread blocked in each of its waits. Each close wakes and
// joins its thread before it releases anything, so the closes report no
// thread that failed to stop, and the sanitizers see no use after release.
// A thread stuck where no wake-up reaches it is named and left behind with
// everything it can reach.
#include "audio/audio.h"
#include "link_fixture.h"
#include "platform/serial.h"
#include "platform/worker.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// A drain that does not end until the test lets it go, as on a port
// whose output never empties: the next drain after holdNextDrain() waits.
struct DRAINHOLD {
    std::mutex mutex;
    std::condition_variable cv;
    bool bArmed = false;
    bool bHeld = false;
    bool bLetGo = false;
} drainHold;

void holdNextDrain() {
    const std::lock_guard lock(drainHold.mutex);
    drainHold.bArmed = true;
    drainHold.bLetGo = false;
}

bool waitUntilDrainHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(drainHold.mutex);
    return drainHold.cv.wait_for(lock, timeout, [] { return drainHold.bHeld; });
}

void letTheDrainGo() {
    const std::lock_guard lock(drainHold.mutex);
    drainHold.bLetGo = true;
    drainHold.cv.notify_all();
}

} // namespace

// Every drain of the program under test comes here first (the test
// program is linked with --wrap for it).
extern "C" BOOL __real__Z13WaitCommEventP12KernelObjectPjPv(HANDLE, DWORD*, LPVOID);
extern "C" BOOL __wrap__Z13WaitCommEventP12KernelObjectPjPv(HANDLE hFile, DWORD* pEvtMask,
                                                            LPVOID pOverlapped) {
    {
        std::unique_lock lock(drainHold.mutex);
        if (drainHold.bArmed) {
            drainHold.bArmed = false;
            drainHold.bHeld = true;
            drainHold.cv.notify_all();
            drainHold.cv.wait(lock, [] { return drainHold.bLetGo; });
            drainHold.bHeld = false;
        }
    }
    return __real__Z13WaitCommEventP12KernelObjectPjPv(hFile, pEvtMask, pOverlapped);
}

namespace {

using namespace linktest;
using peer::Answer;

class Shutdown : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        testing::internal::CaptureStderr();
    }
    // The close sequence as shutdown runs it; true when every thread
    // stopped in time.
    static bool closeAll() {
        execClose();
        updateClose();
        comClose();
        const std::string complaints = testing::internal::GetCapturedStderr();
        EXPECT_EQ(complaints, "");
        return complaints.empty();
    }
    static void openAll(const char* szPort) {
        comOpen(szPort);
        ASSERT_EQ(execOpen(), NO_ERROR);
        ASSERT_EQ(updateOpen(), NO_ERROR);
    }
    static void startAll() {
        comStart();
        execStart();
        updateStart();
    }
};

TEST_F(Shutdown, NeverOpenedAndTwice) {
    EXPECT_TRUE(closeAll());
    execClose();
    updateClose();
    comClose();
}

TEST_F(Shutdown, OpenedButNeverStarted) {
    peer::Peer line;
    openAll(line.slavePath().c_str());
    EXPECT_TRUE(closeAll());
    comClose();
    EXPECT_TRUE(line.received().empty());
}

TEST_F(Shutdown, AfterTheOpenOfThePortFailed) {
    openAll("velkor-no-such-port");
    startAll();
    std::this_thread::sleep_for(150ms); // polls flow through the portless link
    EXPECT_TRUE(closeAll());
}

TEST_F(Shutdown, WithEveryThreadIdle) {
    // Answered polls: the exec thread ends up waiting for a response, the
    // transmit thread for a packet, the receive thread for a window and
    // the poll thread for its next cycle.
    peer::Peer line([](const std::string&) { return Answer{{0ms, "@S4\r"}}; });
    openAll(line.slavePath().c_str());
    startAll();
    ASSERT_TRUE(line.waitForCommands(5, 3s));
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(closeAll());
}

TEST_F(Shutdown, WhileAWindowIsHeldOpen) {
    // Octets keep coming without a line: the receive thread stays in its
    // window, the transmit thread waits for the window's end.
    Answer trickle;
    for (int i = 0; i < 1000; ++i)
        trickle.push_back({1ms, "x"});
    // Only the first command is answered: should a loaded machine let the
    // window end between two octets, later commands must not pile up
    // further trickles in the peer.
    bool bFirst = true;
    peer::Peer line(
        [&](const std::string&) { return std::exchange(bFirst, false) ? trickle : Answer{}; });
    openAll(line.slavePath().c_str());
    startAll();
    ASSERT_TRUE(line.waitForCommands(1, 3s));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(closeAll());
}

TEST_F(Shutdown, WhileTheFramerWaitsForTheAudioSide) {
    bAudioOn = TRUE; // clips are handed over
    hAudioClip = CreateEventA(nullptr, FALSE, FALSE, "AudioClip");
    hGetMore = CreateEventA(nullptr, FALSE, FALSE, "GetMore");
    std::string frame = "@RMC";
    frame += std::string(1, '\0') + std::string(15, '\x01') + std::string(CLIPSIZE, '\x08');
    peer::Peer line;
    openAll(line.slavePath().c_str());
    startAll();
    line.send(frame);
    enqueue(&QueueMessage, "?RMC\r", MAX_PRIORITY);
    EXPECT_EQ(WaitForSingleObject(hAudioClip, 3000), WAIT_OBJECT_0);
    EXPECT_TRUE(closeAll());
    CloseHandle(hAudioClip);
    CloseHandle(hGetMore);
    hAudioClip = hGetMore = nullptr;
    bAudioOn = FALSE;
}

TEST_F(Shutdown, WhileTheLineIsUnplugged) {
    peer::Peer line;
    openAll(line.slavePath().c_str());
    startAll();
    ASSERT_TRUE(line.waitForCommands(2, 3s));
    line.unplug();
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(closeAll());
}

TEST_F(Shutdown, ReopenAfterClose) {
    peer::Peer line;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(comOpen(line.slavePath().c_str()), NO_ERROR) << round;
        comStart();
        line.send("@AU\r");
        enqueue(&QueueMessage, "?AU\r", MIN_PRIORITY);
        EXPECT_EQ(nextResponse(), "@AU\r");
        comClose();
    }
    EXPECT_TRUE(closeAll());
}

TEST_F(Shutdown, WithTheTransmitThreadStuckInADrain) {
    peer::Peer line;
    openAll(line.slavePath().c_str());
    holdNextDrain();
    startAll(); // the first poll is written and its drain never ends
    ASSERT_TRUE(waitUntilDrainHeld(3s));
    const auto start = Clock::now();
    execClose();
    updateClose();
    comClose();
    // Bounded, not timed: the close gives up on the thread instead of
    // waiting for it.
    EXPECT_LT(Clock::now() - start, 10s);
    const std::string complaints = testing::internal::GetCapturedStderr();
    EXPECT_NE(complaints.find("transmit thread"), std::string::npos) << complaints;
    EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), 1) << complaints;
    EXPECT_EQ(workersLeftBehind(), 1);

    // A later open makes fresh objects and works while the old thread is
    // still stuck; once its drain ends, the old thread stops without
    // joining in.
    peer::Peer second;
    ASSERT_EQ(comOpen(second.slavePath().c_str()), NO_ERROR);
    comStart();
    second.send("@AU\r");
    queue("?AU\r");
    EXPECT_EQ(nextResponse(), "@AU\r");
    letTheDrainGo();
    const auto end = Clock::now() + 3s;
    while (workersLeftBehind() != 0 && Clock::now() < end)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(workersLeftBehind(), 0);
    for (const char* szAnswer : {"@AF7050000\r", "@S4\r"}) {
        second.send(szAnswer);
        queue("?AF\r");
        EXPECT_EQ(nextResponse(), szAnswer);
    }
    EXPECT_EQ(line.received(), "?AF\r"); // nothing more went out on the old port
    testing::internal::CaptureStderr();
    EXPECT_TRUE(closeAll());
}

} // namespace
