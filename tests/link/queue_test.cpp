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
