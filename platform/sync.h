// Threads, events, semaphores, critical sections and shared words.
//
// Everything here follows the Win32 contract of the same name (critical
// sections, CreateEventA, SetEvent, ResetEvent, CreateSemaphoreA,
// ReleaseSemaphore, WaitForSingleObject, CreateThread, ResumeThread,
// SetThreadPriority, GetExitCodeThread, CloseHandle, GetLastError,
// SetLastError) except three helpers of this project's own, which have
// no Win32 counterpart: Shared (a word threads share without a lock),
// ErrorText (an error code as text) and JoinThread (a bounded join).
// Worker threads built on them are in platform/worker.h.
//
// Semantics the link and audio modules rely on:
// - An auto-reset event stays signalled until exactly one wait has taken
//   it, so a signal given before the wait begins is not lost. A
//   manual-reset event stays signalled until it is reset.
// - A semaphore release that would pass the maximum count fails with
//   ERROR_TOO_MANY_POSTS and changes nothing.
// - WaitForSingleObject takes a time-out in milliseconds or INFINITE;
//   waiting on a thread returns once the thread has ended.
// - Threads may be created suspended; they run their entry only once
//   resumed. A suspended thread whose handle is closed never runs.
// - Object names are kept as labels only: nothing is shared between
//   processes, so two running copies never meet through a name.
#pragma once

#include "platform/types.h"

#include <atomic>
#include <mutex>

// Project helper: a word that threads share without a lock. Every access is a relaxed
// atomic access, so a reader sees either the old or the new value.
template <typename T> class Shared {
  public:
    constexpr Shared() noexcept : value_{} {}
    constexpr Shared(T v) noexcept : value_{v} {} // NOLINT(google-explicit-constructor)
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    Shared& operator=(T v) noexcept {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }
    Shared& operator+=(T v) noexcept {
        value_.fetch_add(v, std::memory_order_relaxed);
        return *this;
    }
    Shared& operator-=(T v) noexcept {
        value_.fetch_sub(v, std::memory_order_relaxed);
        return *this;
    }
    T exchange(T v) noexcept { return value_.exchange(v, std::memory_order_relaxed); }

  private:
    std::atomic<T> value_;
};

// Critical sections: a plain mutual-exclusion lock.
struct CRITICAL_SECTION {
    std::mutex lock;
};
void InitializeCriticalSection(CRITICAL_SECTION* pSection);
void DeleteCriticalSection(CRITICAL_SECTION* pSection);
void EnterCriticalSection(CRITICAL_SECTION* pSection);
void LeaveCriticalSection(CRITICAL_SECTION* pSection);

// Events.
HANDLE CreateEventA(LPVOID pAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR szName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// Counting semaphores.
HANDLE CreateSemaphoreA(LPVOID pAttributes, LONG lInitialCount, LONG lMaximumCount, LPCSTR szName);
BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LONG* plPreviousCount);

// Waits on an event, a semaphore or a thread.
DWORD WaitForSingleObject(HANDLE hObject, DWORD dwMilliseconds);

// Threads.
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);
inline constexpr DWORD CREATE_SUSPENDED = 4;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr DWORD STILL_ACTIVE = 259;

HANDLE CreateThread(LPVOID pAttributes, std::size_t dwStackSize, LPTHREAD_START_ROUTINE pStart,
                    LPVOID pParameter, DWORD dwCreationFlags, DWORD* pThreadId);
DWORD ResumeThread(HANDLE hThread);
BOOL SetThreadPriority(HANDLE hThread, int nPriority);
BOOL GetExitCodeThread(HANDLE hThread, DWORD* pExitCode);

// Releases any handle: event, semaphore, thread, file or port. Closing a
// thread's handle does not stop the thread.
BOOL CloseHandle(HANDLE hObject);

// The error code of the last failed call on this thread.
DWORD GetLastError();
void SetLastError(DWORD dwError);

// Project helper: the last error of a failed call as readable text ("no
// such device").
const char* ErrorText(DWORD dwError);

// Project helper. Stops a worker: resumes it if it never ran (so it sees its stop flag
// and ends), then waits up to one second for it to end. Returns TRUE
// when it ended; otherwise says so on stderr, naming szWhat, and returns
// FALSE. The caller has set the thread's stop flag and woken its wait.
BOOL JoinThread(HANDLE hThread, LPCSTR szWhat);
