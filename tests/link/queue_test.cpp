// Priority queues: order, capacity, the 15-character cut, concurrency.
#include "link/queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

class Queue : public testing::Test {
  protected:
    void SetUp() override { openQueue(&q, "queueTest"); }
    void TearDown() override { closeQueue(&q); }

    // Takes the next packet as the consumer does: a unit, then dequeue.
    std::string take(int* pPriority = nullptr) {
        EXPECT_EQ(WaitForSingleObject(q.hQueue, 0), WAIT_OBJECT_0);
        int priority = -999;
        const char* p = dequeue(&q, &priority);
        EXPECT_NE(p, nullptr);
        if (pPriority)
            *pPriority = priority;
        return p ? p : "";
    }

    QUEUE q{};
};

TEST_F(Queue, HighestPriorityFirstThenArrivalOrder) {
    enqueue(&q, "?AF\r", 0);
    enqueue(&q, "*RMC\r", 255);
    enqueue(&q, "?S\r", 0);
    int priority = 0;
    EXPECT_EQ(take(&priority), "*RMC\r");
    EXPECT_EQ(priority, 255);
    EXPECT_EQ(take(&priority), "?AF\r");
    EXPECT_EQ(priority, 0);
    EXPECT_EQ(take(&priority), "?S\r");
    EXPECT_EQ(priority, 0);
}

TEST_F(Queue, UrgentPacketsKeepTheirOwnOrderAheadOfTheRest) {
    for (const char* p : {"a", "b", "c"})
        enqueue(&q, p, 0);
    enqueue(&q, "X", 255);
    enqueue(&q, "Y", 255);
    for (const char* expected : {"X", "Y", "a", "b", "c"})
        EXPECT_EQ(take(), expected);
}

TEST_F(Queue, NegativePrioritiesRankBelowZeroAndEqualAmongThemselves) {
    enqueue(&q, "n1", -5);
    enqueue(&q, "n2", -1);
    enqueue(&q, "n3", -100);
    enqueue(&q, "zero", 0);
    EXPECT_EQ(take(), "zero");
    EXPECT_EQ(take(), "n1");
    EXPECT_EQ(take(), "n2");
    EXPECT_EQ(take(), "n3");
}

TEST_F(Queue, RemovalFromTheMiddleKeepsTheRestInOrder) {
    enqueue(&q, "a", 0);
    enqueue(&q, "b", 0);
    enqueue(&q, "urgent", 7);
    enqueue(&q, "c", 0);
    enqueue(&q, "d", 0);
    EXPECT_EQ(take(), "urgent");
    for (const char* expected : {"a", "b", "c", "d"})
        EXPECT_EQ(take(), expected);
}

TEST_F(Queue, FullQueueRefusesAndStaysUnchangedUntilOneIsTaken) {
    for (int i = 0; i < MAX_QUEUE_ELEMENTS; ++i)
        ASSERT_EQ(enqueue(&q, std::to_string(i).c_str(), 0), QUEUE_SUCCESS);
    EXPECT_EQ(enqueue(&q, "lost", 255), QUEUE_ERROR);
    EXPECT_EQ(q.count, MAX_QUEUE_ELEMENTS);
    EXPECT_EQ(take(), "0");
    EXPECT_EQ(enqueue(&q, "late", 0), QUEUE_SUCCESS);
    for (int i = 1; i < MAX_QUEUE_ELEMENTS; ++i)
        EXPECT_EQ(take(), std::to_string(i));
    EXPECT_EQ(take(), "late");
    EXPECT_EQ(WaitForSingleObject(q.hQueue, 0), WAIT_TIMEOUT);
}

// Commands that belong together (an extended tuning) enter whole or wait
// whole; a kept tuning gives way to a newer one, but never across a
// memory command, which must store or recall what was set before it.
TEST_F(Queue, UnitsEnterWholeOrWaitWholeAndTheLatestTuningWins) {
    const auto tuning = [](DWORD ulHertz) { return commandTuning(ulHertz, TRUE); };
    for (int i = 0; i < MAX_QUEUE_ELEMENTS - 2; ++i)
        ASSERT_EQ(enqueue(&q, "?S\r", 0), QUEUE_SUCCESS);
    // Room for two of the three: all three wait.
    const TUNINGUNIT first = tuning(7000000);
    ASSERT_EQ(first.count, 3);
    EXPECT_EQ(enqueueUnit(&q, first.packets.data(), 3, 0, UNIT_KEEP_LATEST), QUEUE_KEPT);
    EXPECT_EQ(q.count, MAX_QUEUE_ELEMENTS - 2);
    // Nothing overtakes a waiting unit, not even where there is room.
    EXPECT_EQ(enqueue(&q, "?AU\r", 0), QUEUE_ERROR);
    const PACKET lock = commandLock(TRUE);
    EXPECT_EQ(enqueueUnit(&q, &lock, 1, 0, UNIT_KEEP), QUEUE_KEPT);
    const PACKET write = commandMemoryWrite(5);
    EXPECT_EQ(enqueueUnit(&q, &write, 1, 0, UNIT_KEEP), QUEUE_KEPT);
    const TUNINGUNIT second = tuning(9000000);
    EXPECT_EQ(enqueueUnit(&q, second.packets.data(), second.count, 0, UNIT_KEEP_LATEST),
              QUEUE_KEPT);
    const TUNINGUNIT third = tuning(14200000);
    EXPECT_EQ(enqueueUnit(&q, third.packets.data(), third.count, 0, UNIT_KEEP_LATEST), QUEUE_KEPT);
    EXPECT_EQ(q.ulReplaced, 1u); // the second; the first is behind the memory write

    std::vector<std::string> order;
    while (WaitForSingleObject(q.hQueue, 0) == WAIT_OBJECT_0)
        if (const char* p = dequeue(&q, nullptr))
            order.emplace_back(p);
    ASSERT_EQ(order.size(), static_cast<std::size_t>(MAX_QUEUE_ELEMENTS - 2 + 3 + 1 + 1 + 3));
    const std::vector<std::string> tail(order.end() - 8, order.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"*AR1432\r", "*AN20800\r", "*AD7000000\r", "*AL\r",
                                              "*KWA5\r", third.packets[0].szText.data(),
                                              third.packets[1].szText.data(), "*AD14200000\r"}));
    EXPECT_EQ(q.ulRefused, 1u); // the poll that tried to overtake
}

TEST_F(Queue, AScannersUnitIsRefusedWholeAndGoesBelowEveryOtherPacket) {
    const PACKET query = commandQuery(COMMAND_QUERY_SIGNAL);
    EXPECT_EQ(enqueueUnit(&q, &query, 1, -1, UNIT_DROP), QUEUE_SUCCESS);
    enqueue(&q, "?AF\r", 0);
    EXPECT_EQ(take(), "?AF\r");
    EXPECT_EQ(take(), "?S\r");
    EXPECT_EQ(q.kind, COMMAND_QUERY_SIGNAL);
    for (int i = 0; i < MAX_QUEUE_ELEMENTS - 1; ++i)
        enqueue(&q, "?AU\r", 0);
    const TUNINGUNIT unit = commandTuning(7000000, TRUE);
    EXPECT_EQ(enqueueUnit(&q, unit.packets.data(), unit.count, -1, UNIT_DROP), QUEUE_ERROR);
    EXPECT_EQ(q.count, MAX_QUEUE_ELEMENTS - 1); // not one of its packets went in
    EXPECT_TRUE(queueHoldsKind(&q, COMMAND_QUERY_LOCK, 0));
    EXPECT_FALSE(queueHoldsKind(&q, COMMAND_DIVIDER_R, -1));
}

TEST_F(Queue, TextsAreCutToFifteenCharacters) {
    enqueue(&q, "0123456789abcdefXYZ", 0);
    enqueue(&q, "0123456789abcde", 0);
    enqueue(&q, "", 0);
    EXPECT_EQ(q.Element[0].szPacket[MAXRESPONSESIZE - 1], '\0');
    EXPECT_EQ(take(), "0123456789abcde");
    EXPECT_EQ(take(), "0123456789abcde");
    EXPECT_EQ(take(), "");
}

TEST_F(Queue, DequeueOnEmptyReturnsNullAndLeavesThePriorityAlone) {
    int priority = 42;
    EXPECT_EQ(dequeue(&q, &priority), nullptr);
    EXPECT_EQ(priority, 42);
}

TEST_F(Queue, ConcurrentProducersLoseNothingAndDuplicateNothing) {
    constexpr int kProducers = 4;
    constexpr int kEach = 2000;
    std::vector<int> seen(kProducers * kEach, 0);
    std::thread consumer([&] {
        for (int n = 0; n < kProducers * kEach; ++n) {
            ASSERT_EQ(WaitForSingleObject(q.hQueue, INFINITE), WAIT_OBJECT_0);
            int priority = 0;
            const char* p = dequeue(&q, &priority);
            ASSERT_NE(p, nullptr);
            ++seen[static_cast<std::size_t>(std::stoi(p))];
        }
    });
    std::vector<std::thread> producers;
    for (int t = 0; t < kProducers; ++t)
        producers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const std::string text = std::to_string(t * kEach + i);
                while (enqueue(&q, text.c_str(), i % 3) != QUEUE_SUCCESS)
                    std::this_thread::yield();
            }
        });
    for (auto& p : producers)
        p.join();
    consumer.join();
    for (int n : seen)
        ASSERT_EQ(n, 1);
    EXPECT_EQ(q.count, 0);
}

} // namespace
