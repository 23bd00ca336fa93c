// A bounded lock-free buffer from one producer to one consumer.
//
// The producer never waits: a block that does not fit is refused whole.
// Consumers may take turns if something else orders them (a lock held
// around pop and clear); the producer is one thread at a time.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

template <typename T, std::size_t N> class SpscBuffer {
    static_assert(N > 0 && (N & (N - 1)) == 0, "the capacity is a power of two");

  public:
    static constexpr std::size_t capacity() { return N; }

    // Producer: appends all n items, or none when they do not fit (false).
    bool push(const T* pItems, std::size_t n) noexcept {
        const std::uint64_t ullWritten = written_.load(std::memory_order_relaxed);
        const std::uint64_t ullRead = read_.load(std::memory_order_acquire);
        if (N - (ullWritten - ullRead) < n)
            return false;
        for (std::size_t i = 0; i < n; ++i)
            item_[(ullWritten + i) & (N - 1)] = pItems[i];
        written_.store(ullWritten + n, std::memory_order_release);
        return true;
    }

    // Consumer: takes up to nMax items, oldest first; returns how many.
    std::size_t pop(T* pItems, std::size_t nMax) noexcept {
        const std::uint64_t ullRead = read_.load(std::memory_order_relaxed);
        const std::uint64_t ullWritten = written_.load(std::memory_order_acquire);
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(ullWritten - ullRead, nMax));
        for (std::size_t i = 0; i < n; ++i)
            pItems[i] = item_[(ullRead + i) & (N - 1)];
        read_.store(ullRead + n, std::memory_order_release);
        return n;
    }

    // Consumer: drops everything waiting.
    void clear() noexcept {
        read_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
    }

    // Items waiting; exact only on the consumer's side.
    std::size_t size() const noexcept {
        return static_cast<std::size_t>(written_.load(std::memory_order_acquire) -
                                        read_.load(std::memory_order_acquire));
    }

  private:
    std::array<T, N> item_{};
    alignas(64) std::atomic<std::uint64_t> written_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
};
