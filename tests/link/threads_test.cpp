// The exec and poll threads: notifications to the dialog, the poll
// batch and its order under the Lock setting and while streaming.
#include "link_fixture.h"
#include "protocol/comexecute.h"

#include <condition_variable>
#include <mutex>
#include <tuple>
#include <vector>

namespace {

using namespace linktest;

// A window that records what is posted to it.
class RecordingWindow : public Window {
  public:
    using Message = std::tuple<UINT, WPARAM, LPARAM>;
    BOOL post(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(uMsg, wParam, lParam);
        changed_.notify_all();
        return TRUE;
    }
    std::vector<Message> waitFor(std::size_t n, std::chrono::milliseconds timeout = 2s) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return messages_.size() >= n; });
        return messages_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
};

const RecordingWindow::Message radioUpdate{IDUPDATE, RADIO, 0};
const RecordingWindow::Message startUpdate{IDUPDATE, START, 0};

class Exec : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        bSignal = 0;
        bStart = 0;
        hDlgHandle = &window;
        EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR); // the queues, no link threads running
        ASSERT_EQ(execOpen(), NO_ERROR);
        execStart();
    }
    static void respond(const char* szLine) { enqueue(&QueueResponse, szLine, MIN_PRIORITY); }

    RecordingWindow window;
};

TEST_F(Exec, ASignalLinePostsOneRadioUpdate) {
    respond("@S007\r");
    EXPECT_EQ(window.waitFor(1), std::vector{radioUpdate});
    EXPECT_EQ(radio.uSUnits, 7u);
}

TEST_F(Exec, ALineThatRaisesNoFlagPostsNothing) {
    respond("@AF7050000\r");
    respond("@S1\r"); // a marker: everything before it has been handled
    EXPECT_EQ(window.waitFor(1), std::vector{radioUpdate});
    EXPECT_EQ(window.waitFor(2, 100ms).size(), 1u);
    EXPECT_EQ(radio.ulFrequency, 7050000u);
}

TEST_F(Exec, BothFlagsPostRadioThenStart) {
    bSignal = 1; // as if the interpreter had raised both for the next line
    bStart = 1;
    respond("@ZZ\r");
    EXPECT_EQ(window.waitFor(2), (std::vector{radioUpdate, startUpdate}));
    EXPECT_EQ(bSignal, 0);
    EXPECT_EQ(bStart, 0);
}

TEST_F(Exec, TenChangesPostTenUpdates) {
    for (int i = 0; i < 10; ++i)
        respond("@S3\r");
    const auto posted = window.waitFor(10);
    EXPECT_EQ(posted, std::vector<RecordingWindow::Message>(10, radioUpdate));
    EXPECT_EQ(window.waitFor(11, 100ms).size(), 10u);
}

TEST_F(Link, AnswersAndTheStartAnnouncementReachTheDialog) {
    RecordingWindow window;
    hDlgHandle = &window;
    bSignal = 0;
    bStart = 0;
    peer::Peer line;
    startOn(line);
    ASSERT_EQ(execOpen(), NO_ERROR);
    execStart();
    line.send("@S005\r");
    queue("?S\r");
    EXPECT_EQ(window.waitFor(1), std::vector{radioUpdate});
    EXPECT_EQ(radio.uSUnits, 5u);
    line.send("QX4470 START\r"); // unasked, between windows
    queue("?AU\r");
    EXPECT_EQ(window.waitFor(2), (std::vector{radioUpdate, startUpdate}));
}

// The poll thread against QueueMessage, with no transmit thread taking
// from it: the test takes the packets.
class Poll : public Link {
  protected:
    void SetUp() override {
        Link::SetUp();
        EXPECT_NE(comOpen("velkor-no-such-port"), NO_ERROR);
    }
    void start() {
        ASSERT_EQ(updateOpen(), NO_ERROR);
        updateStart();
    }
    static std::string take(std::chrono::milliseconds timeout = 2s) {
        if (WaitForSingleObject(QueueMessage.hQueue, static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0)
            return "";
        int priority = -1;
        const char* p = dequeue(&QueueMessage, &priority);
        EXPECT_EQ(priority, MIN_PRIORITY);
        return p ? p : "<empty>";
    }
};

TEST_F(Poll, EachCycleQueuesTheFiveQueriesInOrder) {
    start();
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (const char* query : {"?AF\r", "?RMM\r", "?RMI\r", "?AU\r", "?S\r"})
            EXPECT_EQ(take(), query) << "cycle " << cycle;
    }
}

TEST_F(Poll, WithTheLockOnOnlyTheLockAndSignalQueries) {
    bLock = TRUE;
    start();
    for (int cycle = 0; cycle < 2; ++cycle) {
        EXPECT_EQ(take(), "?AU\r");
        EXPECT_EQ(take(), "?S\r");
    }
}

TEST_F(Poll, SilentWhileStreamingAndBackWithinACycleAfterwards) {
    bStreaming = 1;
    start();
    EXPECT_EQ(take(350ms), "");
    bLock = TRUE;
    bStreaming = 0;
    EXPECT_EQ(take(), "?AU\r");
    EXPECT_EQ(take(), "?S\r");
}

} // namespace
