// Worker threads: creation, start, join within a second, and what is
// kept for a thread left behind.
#include "platform/worker.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <pthread.h>

// What a thread shares with the close that joins it.
struct WORKERRUN {
    LPCSTR szName;
    LPTHREAD_START_ROUTINE pStart;
    const StopFlag* pbDone;             // the flag whose reads on this thread ...
    std::shared_ptr<Shared<int>> pWord; // ... give this word
    std::mutex mutex;
    bool bEnded = false;      // the module's procedure has returned
    bool bLeftBehind = false; // the join gave up on it
};

namespace {

// The run of the worker procedure on this thread, if any.
thread_local const WORKERRUN* pThisRun = nullptr;

// Objects kept for threads left behind, guarded by keptMutex. The list is
// never destroyed, not even at exit, so that what it holds stays
// reachable while leak checkers look.
union KEPT {
    std::vector<HANDLE> hObjects;
    KEPT() : hObjects() {}
    ~KEPT() {}
};
std::mutex keptMutex;
KEPT kept;
// Release on the thread's end, acquire in workersLeftBehind: a close that
// reads 0 sees all the left-behind threads' work done.
std::atomic<int> iLeftBehind{0};

// Every worker thread starts here: it notes its stop word, runs the
// module's procedure and then tells a close that gave up on it.
DWORD workerEntry(LPVOID pParameter) {
    const std::unique_ptr<std::shared_ptr<WORKERRUN>> pOwned(
        static_cast<std::shared_ptr<WORKERRUN>*>(pParameter));
    const std::shared_ptr<WORKERRUN> pRun = *pOwned;
    pThisRun = pRun.get();
    // Named for top -H and the debugger; the kernel keeps 15 characters.
    pthread_setname_np(pthread_self(), std::string(pRun->szName).substr(0, 15).c_str());
    const DWORD ulExitCode = pRun->pStart(nullptr);
    pThisRun = nullptr;
    const std::lock_guard lock(pRun->mutex);
    pRun->bEnded = true;
    if (pRun->bLeftBehind)
        iLeftBehind.fetch_sub(1, std::memory_order_release);
    return ulExitCode;
}

} // namespace

StopFlag::operator int() const noexcept {
    if (pThisRun != nullptr && pThisRun->pbDone == this)
        return *pThisRun->pWord;
    return *word_;
}

StopFlag& StopFlag::operator=(int value) {
    if (value == 0)
        word_ = std::make_shared<Shared<int>>(0);
    else
        *word_ = value;
    return *this;
}

DWORD workerOpen(WORKER* pWorker) {
    auto pRun = std::make_shared<WORKERRUN>();
    pRun->szName = pWorker->szName;
    pRun->pStart = pWorker->pStart;
    pRun->pbDone = &pWorker->bDone;
    pRun->pWord = pWorker->bDone.word_;
    // The thread owns its parameter from its first instruction on; until
    // then, and for good if it cannot be created, this function does.
    auto pParameter = std::make_unique<std::shared_ptr<WORKERRUN>>(pRun);
    pWorker->hThread = CreateThread(nullptr, 0, workerEntry, pParameter.get(), CREATE_SUSPENDED,
                                    &pWorker->ulThreadID);
    if (pWorker->hThread == nullptr)
        return GetLastError();
    pParameter.release();
    pWorker->pRun = std::move(pRun);
    SetThreadPriority(pWorker->hThread, THREAD_PRIORITY_BELOW_NORMAL);
    return NO_ERROR;
}

void workerStart(WORKER* pWorker) {
    if (pWorker->hThread != nullptr)
        ResumeThread(pWorker->hThread);
}

BOOL workerJoin(WORKER* pWorker) {
    if (pWorker->hThread == nullptr)
        return TRUE;
    BOOL bEnded = JoinThread(pWorker->hThread, pWorker->szName);
    if (!bEnded) {
        const std::lock_guard lock(pWorker->pRun->mutex);
        // It may have ended between the time-out and the lock.
        bEnded = pWorker->pRun->bEnded ? TRUE : FALSE;
        if (!bEnded) {
            pWorker->pRun->bLeftBehind = true;
            iLeftBehind.fetch_add(1, std::memory_order_relaxed);
        }
    }
    CloseHandle(pWorker->hThread); // a thread still running runs on without it
    pWorker->hThread = nullptr;
    pWorker->pRun.reset();
    return bEnded;
}

WORKERREACH::WORKERREACH(HANDLE& hObject, HANDLE hNone)
    : end([phObject = &hObject, hNone](BOOL bRelease) {
          workerRelease(phObject, bRelease, hNone);
      }) {}

BOOL workerClose(std::initializer_list<WORKER*> workers, const std::function<void()>& wake,
                 std::initializer_list<WORKERREACH> reached, WORKERSHARING sharing) {
    bool bAnyThread = false;
    for (WORKER* pWorker : workers) {
        pWorker->bDone = 1;
        bAnyThread = bAnyThread || pWorker->hThread != nullptr;
    }
    BOOL bEnded = TRUE;
    if (bAnyThread) {
        if (wake)
            wake();
        for (WORKER* pWorker : workers)
            if (!workerJoin(pWorker))
                bEnded = FALSE;
    }
    // A thread left behind that has ended since its join gave up on it
    // counts no more.
    const BOOL bRelease =
        sharing == WORKER_SHARED ? (workersLeftBehind() == 0 ? TRUE : FALSE) : bEnded;
    for (const WORKERREACH& reach : reached)
        reach.end(bRelease);
    return bRelease;
}

void workerRelease(HANDLE* phObject, BOOL bRelease, HANDLE hNone) {
    if (!bRelease)
        workerKeep(*phObject);
    else if (*phObject != nullptr && *phObject != INVALID_HANDLE_VALUE)
        CloseHandle(*phObject);
    *phObject = hNone;
}

void workerKeep(HANDLE hObject) {
    if (hObject == nullptr || hObject == INVALID_HANDLE_VALUE)
        return;
    const std::lock_guard lock(keptMutex);
    kept.hObjects.push_back(hObject);
}

int workersLeftBehind() {
    return iLeftBehind.load(std::memory_order_acquire);
}
