// Threads, events, semaphores and critical sections on the C++ standard
// library and POSIX.
#include "platform/sync.h"
#include "platform/kernel_object.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>

#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

thread_local DWORD dwLastError = NO_ERROR;

using Clock = std::chrono::steady_clock;

// Waits on cv until ready() holds or the time-out ends; true when ready.
template <typename Ready>
bool waitUntilReady(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                    DWORD dwMilliseconds, Ready ready) {
    if (dwMilliseconds == INFINITE) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, Clock::now() + std::chrono::milliseconds(dwMilliseconds), ready);
}

// The futex calls on one word: FUTEX_WAIT sleeps only while the word
// still holds val, so a change between a look at it and the sleep is
// never lost.
void futex(std::atomic<int>& word, int op, int val, const timespec* timeout) {
    static_assert(sizeof(std::atomic<int>) == sizeof(int) && std::atomic<int>::is_always_lock_free);
    syscall(SYS_futex, reinterpret_cast<int*>(&word), op, val, timeout, nullptr, 0);
}

// Until take() succeeds (WAIT_OBJECT_0) or the time-out ends
// (WAIT_TIMEOUT), sleeping while word holds 0.
template <typename Take> DWORD waitOnWord(std::atomic<int>& word, DWORD dwMilliseconds, Take take) {
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(dwMilliseconds == INFINITE ? 0 : dwMilliseconds);
    for (;;) {
        if (take())
            return WAIT_OBJECT_0;
        if (dwMilliseconds == INFINITE) {
            futex(word, FUTEX_WAIT_PRIVATE, 0, nullptr);
            continue;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return WAIT_TIMEOUT;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        futex(word, FUTEX_WAIT_PRIVATE, 0, &ts);
    }
}

// An event is one word: 1 signalled, 0 not. Setting it is a store and a
// futex wake, with no lock, so a real-time thread (the sound callback)
// may set it without ever blocking behind a waiter.
class Event final : public KernelObject {
  public:
    Event(LPCSTR szName, bool manualReset, bool initialState)
        : KernelObject(szName), manualReset_(manualReset), signalled_(initialState ? 1 : 0) {}

    void set() {
        signalled_.store(1, std::memory_order_release);
        futex(signalled_, FUTEX_WAKE_PRIVATE, manualReset_ ? INT_MAX : 1, nullptr);
    }
    void reset() { signalled_.store(0, std::memory_order_relaxed); }
    DWORD wait(DWORD dwMilliseconds) override {
        return waitOnWord(signalled_, dwMilliseconds, [this] { return take(); });
    }

  private:
    // Takes the signal (auto-reset) or looks at it (manual-reset).
    bool take() {
        if (manualReset_)
            return signalled_.load(std::memory_order_acquire) == 1;
        int expected = 1;
        return signalled_.compare_exchange_strong(expected, 0, std::memory_order_acquire,
                                                  std::memory_order_relaxed);
    }

    const bool manualReset_;
    std::atomic<int> signalled_;
};

// A semaphore is one word, its count. Releasing and taking a unit are
// compare-and-swaps, with no lock, so a thread woken by a release never
// finds the releaser still holding one.
class Semaphore final : public KernelObject {
  public:
    Semaphore(LPCSTR szName, LONG initial, LONG maximum)
        : KernelObject(szName), count_(static_cast<int>(initial)), maximum_(maximum) {}

    bool release(LONG n, LONG* pPrevious) {
        int count = count_.load(std::memory_order_relaxed);
        do {
            if (n <= 0 || n > maximum_ - count)
                return false;
        } while (!count_.compare_exchange_weak(count, count + static_cast<int>(n),
                                               std::memory_order_release,
                                               std::memory_order_relaxed));
        if (pPrevious)
            *pPrevious = count;
        futex(count_, FUTEX_WAKE_PRIVATE, static_cast<int>(n), nullptr);
        return true;
    }
    DWORD wait(DWORD dwMilliseconds) override {
        return waitOnWord(count_, dwMilliseconds, [this] { return take(); });
    }

  private:
    bool take() {
        int count = count_.load(std::memory_order_relaxed);
        while (count > 0)
            if (count_.compare_exchange_weak(count, count - 1, std::memory_order_acquire,
                                             std::memory_order_relaxed))
                return true;
        return false;
    }

    std::atomic<int> count_;
    const LONG maximum_;
};

// What a thread and its handle share; outlives the handle if the thread
// is still running when the handle is closed.
struct ThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    bool resumed = false;
    bool cancelled = false;
    bool finished = false;
    DWORD exitCode = STILL_ACTIVE;
    pid_t tid = 0;
    int priority = THREAD_PRIORITY_NORMAL;
};

// Below-normal priority is one nice step below the process's own.
void applyPriority(pid_t tid, int nPriority) {
    if (tid == 0)
        return;
    const int base = getpriority(PRIO_PROCESS, 0);
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), base - nPriority);
}

class Thread final : public KernelObject {
  public:
    Thread(LPTHREAD_START_ROUTINE pStart, LPVOID pParameter, bool suspended)
        : KernelObject("thread"), state_(std::make_shared<ThreadState>()) {
        state_->resumed = !suspended;
        thread_ = std::thread(&Thread::run, state_, pStart, pParameter);
    }
    ~Thread() override {
        std::unique_lock lock(state_->mutex);
        if (!state_->resumed) {
            // A thread that never ran never will: let it end without
            // running its entry.
            state_->cancelled = true;
            state_->cv.notify_all();
        } else if (!state_->finished) {
            lock.unlock();
            thread_.detach();
            return;
        }
        lock.unlock();
        thread_.join();
    }

    DWORD resume() {
        std::lock_guard lock(state_->mutex);
        const DWORD previous = state_->resumed ? 0 : 1;
        state_->resumed = true;
        state_->cv.notify_all();
        return previous;
    }
    void setPriority(int nPriority) {
        std::lock_guard lock(state_->mutex);
        state_->priority = nPriority;
        if (state_->resumed)
            applyPriority(state_->tid, nPriority);
    }
    DWORD exitCode() {
        std::lock_guard lock(state_->mutex);
        return state_->exitCode;
    }
    DWORD wait(DWORD dwMilliseconds) override {
        std::unique_lock lock(state_->mutex);
        return waitUntilReady(state_->cv, lock, dwMilliseconds, [this] { return state_->finished; })
                   ? WAIT_OBJECT_0
                   : WAIT_TIMEOUT;
    }

  private:
    static void run(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE pStart,
                    LPVOID pParameter) {
        {
            std::unique_lock lock(state->mutex);
            state->tid = static_cast<pid_t>(syscall(SYS_gettid));
            state->cv.wait(lock, [&] { return state->resumed || state->cancelled; });
            if (state->cancelled) {
                state->finished = true;
                state->cv.notify_all();
                return;
            }
            applyPriority(state->tid, state->priority);
        }
        const DWORD code = pStart(pParameter);
        std::lock_guard lock(state->mutex);
        state->exitCode = code;
        state->finished = true;
        state->cv.notify_all();
    }

    std::shared_ptr<ThreadState> state_;
    std::thread thread_;
};

std::atomic<DWORD> nextThreadId{1};

} // namespace

DWORD KernelObject::wait(DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE adoptHandle(std::unique_ptr<KernelObject> object) {
    return object.release();
}

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* pSection) {
    pSection->lock.lock();
}
void LeaveCriticalSection(CRITICAL_SECTION* pSection) {
    pSection->lock.unlock();
}

HANDLE CreateEventA(LPVOID, BOOL bManualReset, BOOL bInitialState, LPCSTR szName) {
    return adoptHandle(
        std::make_unique<Event>(szName, bManualReset != FALSE, bInitialState != FALSE));
}

BOOL SetEvent(HANDLE hEvent) {
    auto* event = objectOf<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto* event = objectOf<Event>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->reset();
    return TRUE;
}

HANDLE CreateSemaphoreA(LPVOID, LONG lInitialCount, LONG lMaximumCount, LPCSTR szName) {
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return adoptHandle(std::make_unique<Semaphore>(szName, lInitialCount, lMaximumCount));
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LONG* plPreviousCount) {
    auto* semaphore = objectOf<Semaphore>(hSemaphore);
    if (!semaphore) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!semaphore->release(lReleaseCount, plPreviousCount)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hObject, DWORD dwMilliseconds) {
    if (hObject == nullptr || hObject == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return hObject->wait(dwMilliseconds);
}

HANDLE CreateThread(LPVOID, std::size_t, LPTHREAD_START_ROUTINE pStart, LPVOID pParameter,
                    DWORD dwCreationFlags, DWORD* pThreadId) {
    if (pStart == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        HANDLE h = adoptHandle(std::make_unique<Thread>(pStart, pParameter,
                                                        (dwCreationFlags & CREATE_SUSPENDED) != 0));
        if (pThreadId)
            *pThreadId = nextThreadId.fetch_add(1, std::memory_order_relaxed);
        return h;
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

DWORD ResumeThread(HANDLE hThread) {
    auto* thread = objectOf<Thread>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    return thread->resume();
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    auto* thread = objectOf<Thread>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    thread->setPriority(nPriority);
    return TRUE;
}

BOOL GetExitCodeThread(HANDLE hThread, DWORD* pExitCode) {
    auto* thread = objectOf<Thread>(hThread);
    if (!thread || !pExitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *pExitCode = thread->exitCode();
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == nullptr || hObject == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::unique_ptr<KernelObject> owned(hObject);
    return TRUE;
}

DWORD GetLastError() {
    return dwLastError;
}
void SetLastError(DWORD dwError) {
    dwLastError = dwError;
}

const char* ErrorText(DWORD dwError) {
    switch (dwError) {
    case NO_ERROR:
        return "no error";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "no such device";
    case ERROR_ACCESS_DENIED:
        return "permission denied";
    case ERROR_INVALID_HANDLE:
        return "invalid handle";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "not enough memory";
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    case ERROR_FILENAME_EXCED_RANGE:
        return "name too long";
    case ERROR_BAD_DEVICE:
        return "not a terminal";
    case ERROR_TOO_MANY_POSTS:
        return "semaphore count at its maximum";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "too many open files";
    case ERROR_GEN_FAILURE:
        return "device error";
    case ERROR_NOT_SUPPORTED:
        return "not supported";
    case ERROR_DEV_NOT_EXIST:
        return "the device has gone away";
    case ERROR_INVALID_PARAMETER:
        return "invalid parameter";
    case ERROR_OPERATION_ABORTED:
        return "aborted";
    case ERROR_SERVICE_ALREADY_RUNNING:
        return "already running";
    case ERROR_SERVICE_NOT_ACTIVE:
        return "not running";
    case ERROR_DEVICE_NOT_AVAILABLE:
        return "device unavailable";
    default:
        return "system error";
    }
}

BOOL JoinThread(HANDLE hThread, LPCSTR szWhat) {
    if (objectOf<Thread>(hThread) == nullptr)
        return TRUE;
    ResumeThread(hThread);
    if (WaitForSingleObject(hThread, 1000) == WAIT_OBJECT_0)
        return TRUE;
    std::fprintf(stderr, "velkor: the %s thread did not stop within a second\n",
                 szWhat ? szWhat : "worker");
    return FALSE;
}
