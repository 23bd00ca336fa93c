// When thread creation fails: the opens report it, and every close is
// still safe; the queues the other threads use exist all the same.
#include "link_fixture.h"

#include <atomic>

namespace {

// Counts down on every CreateThread; the call that finds it at 0 fails.
std::atomic<int> failingCall{-1};

} // namespace

// Every CreateThread of the program under test comes here first (the
// test program is linked with --wrap for it).
extern "C" HANDLE __real__Z12CreateThreadPvmPFjS_ES_jPj(LPVOID, std::size_t, LPTHREAD_START_ROUTINE,
                                                        LPVOID, DWORD, DWORD*);
extern "C" HANDLE __wrap__Z12CreateThreadPvmPFjS_ES_jPj(LPVOID pAttributes, std::size_t size,
                                                        LPTHREAD_START_ROUTINE pStart,
                                                        LPVOID pParameter, DWORD flags,
                                                        DWORD* pId) {
    if (failingCall.fetch_sub(1) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return __real__Z12CreateThreadPvmPFjS_ES_jPj(pAttributes, size, pStart, pParameter, flags, pId);
}

namespace {

using namespace linktest;

class FailingThreads : public Link {
  protected:
    void TearDown() override {
        failingCall = -1;
        testing::internal::CaptureStderr();
        Link::TearDown();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    }
    // Runs the poll and exec threads on whatever comOpen left behind.
    static void runTheOtherThreads() {
        ASSERT_EQ(execOpen(), NO_ERROR);
        ASSERT_EQ(updateOpen(), NO_ERROR);
        comStart();
        execStart();
        updateStart();
        std::this_thread::sleep_for(250ms);
    }
};

TEST_F(FailingThreads, NoTransmitThread) {
    peer::Peer line;
    failingCall = 0;
    EXPECT_EQ(comOpen(line.slavePath().c_str()), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(enqueue(&QueueMessage, "?AF\r", MIN_PRIORITY), QUEUE_SUCCESS);
    runTheOtherThreads();
    EXPECT_EQ(line.received(), ""); // no port was opened, nothing is sent
}

TEST_F(FailingThreads, NoReceiveThread) {
    peer::Peer line;
    failingCall = 1;
    EXPECT_EQ(comOpen(line.slavePath().c_str()), ERROR_NOT_ENOUGH_MEMORY);
    runTheOtherThreads();
    EXPECT_EQ(line.received(), "");
}

TEST_F(FailingThreads, NoExecOrPollThread) {
    EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    failingCall = 0;
    EXPECT_EQ(execOpen(), ERROR_NOT_ENOUGH_MEMORY);
    failingCall = 0;
    EXPECT_EQ(updateOpen(), ERROR_NOT_ENOUGH_MEMORY);
    comStart();
    execStart();
    updateStart();
    execClose();
    updateClose();
}

} // namespace
