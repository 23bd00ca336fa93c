// Events, semaphores and threads: the semantics the link threads rely on.
#include "platform/sync.h"
#include "platform/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(Event, AutoResetKeepsASignalGivenBeforeTheWaitAndReleasesOneWait) {
    HANDLE h = CreateEventA(nullptr, FALSE, FALSE, "test");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    SetEvent(h);
    SetEvent(h); // a second signal does not count twice
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    CloseHandle(h);
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, "test");
    SetEvent(h);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    ResetEvent(h);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    CloseHandle(h);
}

TEST(Event, TimedWaitLastsAtLeastItsTimeOut) {
    HANDLE h = CreateEventA(nullptr, TRUE, FALSE, "eventWait");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(h, 5), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5ms);
    CloseHandle(h);
}

TEST(Event, SameNameGivesSeparateObjects) {
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, "syncReceive");
    HANDLE b = CreateEventA(nullptr, FALSE, FALSE, "syncReceive");
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    CloseHandle(a);
    CloseHandle(b);
}

TEST(Semaphore, CountsUpToItsMaximumAndRefusesMore) {
    HANDLE h = CreateSemaphoreA(nullptr, 0, 2, "queue");
    ASSERT_NE(h, nullptr);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(h, 1, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_TRUE(ReleaseSemaphore(h, 1, nullptr));
    previous = -1;
    EXPECT_FALSE(ReleaseSemaphore(h, 1, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(previous, -1); // a refused release changes nothing
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    CloseHandle(h);
}

TEST(Semaphore, EveryUnitReleasedOnAnyThreadIsTakenExactlyOnce) {
    // Waiters asleep before the releases: one release of three wakes all three.
    HANDLE h = CreateSemaphoreA(nullptr, 0, 50, "queue");
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(h, 5000) == WAIT_OBJECT_0)
                woken.fetch_add(1);
        });
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(ReleaseSemaphore(h, 3, nullptr));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    CloseHandle(h);

    // Producers and consumers racing: no unit lost, none taken twice.
    constexpr int PRODUCERS = 3, CONSUMERS = 3, EACH = 20000;
    h = CreateSemaphoreA(nullptr, 0, 1 << 20, "queue");
    std::atomic<int> taken{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> consumers, producers;
    for (int i = 0; i < CONSUMERS; ++i)
        consumers.emplace_back([&] {
            while (WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0 && !done)
                taken.fetch_add(1);
        });
    for (int i = 0; i < PRODUCERS; ++i)
        producers.emplace_back([&] {
            for (int n = 0; n < EACH; ++n)
                ReleaseSemaphore(h, 1, nullptr);
        });
    for (auto& t : producers)
        t.join();
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (taken < PRODUCERS * EACH && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(taken.load(), PRODUCERS * EACH);
    done = true;
    ReleaseSemaphore(h, CONSUMERS, nullptr); // one unit each to see done
    for (auto& t : consumers)
        t.join();
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    CloseHandle(h);
}

TEST(WaitForSingleObject, FailsOnMissingHandles) {
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

std::atomic<int> runs{0};
DWORD countRun(LPVOID) {
    runs.fetch_add(1);
    return 1;
}

TEST(Thread, SuspendedThreadRunsOnlyAfterResumeAndIsWaitable) {
    runs = 0;
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, countRun, nullptr, CREATE_SUSPENDED, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(SetThreadPriority(h, THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);
    EXPECT_EQ(runs.load(), 0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(ResumeThread(h), 1u);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_EQ(ResumeThread(h), 0u);
    CloseHandle(h);
}

TEST(Thread, ClosingASuspendedThreadNeverRunsIt) {
    runs = 0;
    HANDLE h = CreateThread(nullptr, 0, countRun, nullptr, CREATE_SUSPENDED, nullptr);
    CloseHandle(h);
    EXPECT_EQ(runs.load(), 0);
}

Shared<int> stop{0};
HANDLE hWake = nullptr;
DWORD waitUntilStopped(LPVOID) {
    while (!stop)
        WaitForSingleObject(hWake, INFINITE);
    return 1;
}

TEST(Thread, JoinThreadEndsAWokenWorkerAndANeverStartedOne) {
    stop = 0;
    hWake = CreateEventA(nullptr, FALSE, FALSE, "wake");
    HANDLE running = CreateThread(nullptr, 0, waitUntilStopped, nullptr, 0, nullptr);
    HANDLE suspended =
        CreateThread(nullptr, 0, waitUntilStopped, nullptr, CREATE_SUSPENDED, nullptr);
    std::this_thread::sleep_for(5ms);
    stop = 1;
    SetEvent(hWake);
    EXPECT_TRUE(JoinThread(running, "test"));
    EXPECT_TRUE(JoinThread(suspended, "test"));
    CloseHandle(running);
    CloseHandle(suspended);
    CloseHandle(hWake);
}

TEST(Thread, JoinThreadGivesUpAfterASecondAndSaysSo) {
    stop = 0;
    hWake = CreateEventA(nullptr, FALSE, FALSE, "wake");
    HANDLE stuck = CreateThread(nullptr, 0, waitUntilStopped, nullptr, 0, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(JoinThread(stuck, "stuck"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stuck"), std::string::npos);
    stop = 1;
    SetEvent(hWake);
    EXPECT_EQ(WaitForSingleObject(stuck, INFINITE), WAIT_OBJECT_0);
    CloseHandle(stuck);
    CloseHandle(hWake);
}

// A worker whose wait no close wakes: it is left behind, and it must not
// take the clear of a later open for its own.
StopFlag bStuckDone;
HANDLE hStuckThread = nullptr;
DWORD ulStuckThreadID = 0;
Shared<int> iStuckCycles{0};
DWORD cycleUntilStopped(LPVOID) {
    while (!bStuckDone) {
        iStuckCycles += 1;
        WaitForSingleObject(hWake, INFINITE);
    }
    return 1;
}
WORKER stuckWorker{"stuck", cycleUntilStopped, bStuckDone, hStuckThread, ulStuckThreadID};

TEST(Worker, LeftBehindItIsCountedUntilItEndsAndKeepsItsStopAfterALaterOpen) {
    hWake = CreateEventA(nullptr, FALSE, FALSE, "wake");
    iStuckCycles = 0;
    bStuckDone = 0;
    ASSERT_EQ(workerOpen(&stuckWorker), NO_ERROR);
    workerStart(&stuckWorker);
    while (iStuckCycles == 0) // into its first wait
        std::this_thread::sleep_for(1ms);
    bStuckDone = 1; // and no wake-up
    testing::internal::CaptureStderr();
    EXPECT_FALSE(workerJoin(&stuckWorker));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stuck"), std::string::npos);
    EXPECT_EQ(hStuckThread, nullptr);
    EXPECT_EQ(workersLeftBehind(), 1);

    bStuckDone = 0; // the next open's threads start clear
    EXPECT_FALSE(bStuckDone);
    SetEvent(hWake);
    for (int i = 0; i < 3000 && workersLeftBehind() != 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(workersLeftBehind(), 0);
    EXPECT_EQ(iStuckCycles.load(), 1); // it ended instead of cycling on
    CloseHandle(hWake);
}

// One close call: the flag, the wake-up, the join, and then what the
// thread reaches is released, or kept while the thread is left behind.
TEST(Worker, CloseReleasesWhatItsThreadReachesOrKeepsItWhenLeftBehind) {
    hWake = CreateEventA(nullptr, FALSE, FALSE, "wake");
    HANDLE hReached = CreateEventA(nullptr, FALSE, FALSE, "reached");
    std::vector<BOOL> ended;
    const auto note = [&](BOOL bRelease) { ended.push_back(bRelease); };

    iStuckCycles = 0;
    bStuckDone = 0;
    ASSERT_EQ(workerOpen(&stuckWorker), NO_ERROR);
    workerStart(&stuckWorker);
    EXPECT_TRUE(workerClose({&stuckWorker}, [] { SetEvent(hWake); }, {hReached, note}));
    EXPECT_EQ(hStuckThread, nullptr);
    EXPECT_EQ(hReached, nullptr);
    EXPECT_EQ(ended, std::vector<BOOL>{TRUE});

    // Without a wake-up that reaches its wait, the thread is left behind
    // and what it reaches stays.
    hReached = CreateEventA(nullptr, FALSE, FALSE, "reached");
    iStuckCycles = 0;
    bStuckDone = 0;
    ASSERT_EQ(workerOpen(&stuckWorker), NO_ERROR);
    workerStart(&stuckWorker);
    while (iStuckCycles == 0)
        std::this_thread::sleep_for(1ms);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(workerClose({&stuckWorker}, [] {}, {hReached, note}));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(hReached, nullptr); // kept, not closed: the thread may still use it
    EXPECT_EQ(ended, (std::vector<BOOL>{TRUE, FALSE}));
    SetEvent(hWake);
    for (int i = 0; i < 3000 && workersLeftBehind() != 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(workersLeftBehind(), 0);
    CloseHandle(hWake);
}

} // namespace
