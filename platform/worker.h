// Worker threads (transmit, receive, exec, poll, audio), written once.
//
// Each is created suspended at below-normal priority, resumed by its
// module's start, and at close (workerClose) asked to stop (its stop flag
// is set and its module's wake-up ends every wait it may be in), then
// joined for at most one second.
//
// A thread that has not ended by then (stuck in a call that never
// returns, such as a drain of a port that never empties) is named on
// stderr once and left behind. Its module then keeps, and never
// releases, everything the thread can reach (workerKeep), so the thread
// never touches freed memory; the next open makes fresh objects. Every
// open also gives the threads it creates a stop word of their own, so a
// thread left behind still reads "stop" after its module's flag has been
// cleared for the threads of a later open.
#pragma once

#include "platform/sync.h"
#include "platform/types.h"

#include <concepts>
#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

struct WORKER;
struct WORKERRUN;

// A module's stop flag, tested by its threads before every cycle.
// Clearing it starts a new word for the threads created after it;
// setting it sets the word of the latest clear. A thread that workerOpen
// created with this flag reads the word it was created with; any other
// thread reads the latest one.
class StopFlag {
  public:
    StopFlag() = default;
    StopFlag(const StopFlag&) = delete;
    StopFlag& operator=(const StopFlag&) = delete;

    operator int() const noexcept; // NOLINT(google-explicit-constructor)
    // Changed only by the module's open and close, on one thread.
    StopFlag& operator=(int value);

  private:
    friend DWORD workerOpen(WORKER* pWorker);
    std::shared_ptr<Shared<int>> word_ = std::make_shared<Shared<int>>(0);
};

// One worker thread. The module owns the named handle, id and flag; the
// worker refers to them so that the module's code keeps its names.
struct WORKER {
    LPCSTR szName;                 // names the thread on stderr ("transmit")
    LPTHREAD_START_ROUTINE pStart; // the module's thread procedure
    StopFlag& bDone;               // the module's stop flag
    HANDLE& hThread;               // nullptr while there is no thread
    DWORD& ulThreadID;
    std::shared_ptr<WORKERRUN> pRun{}; // what the thread shares with its close
};

// Creates the thread suspended at below-normal priority: NO_ERROR, or the
// platform's error code (and no thread).
DWORD workerOpen(WORKER* pWorker);
// Lets a created thread run; later calls change nothing.
void workerStart(WORKER* pWorker);
// Joins the thread, whose stop flag the caller has set and whose waits
// it has woken; a thread that never ran is run so that it sees its
// flag. Gives up after one second, naming the thread on stderr. The
// handle is closed either way. TRUE when the thread has ended (or there
// was none), so what it used may be released; FALSE when it was left
// behind, and what it can reach must be kept.
BOOL workerJoin(WORKER* pWorker);

// Something a module's threads reach, which their close releases once
// no thread can reach it any more, and keeps for good otherwise.
struct WORKERREACH {
    // A handle: closed, or kept (workerKeep); either way it then reads
    // hNone.
    WORKERREACH(HANDLE& hObject, HANDLE hNone = nullptr); // NOLINT(google-explicit-constructor)
    // Anything else: end(TRUE) releases it, end(FALSE) keeps it.
    template <typename End>
    requires std::invocable<End, BOOL> WORKERREACH(End endIt)
        : end(std::move(endIt)) {} // NOLINT(google-explicit-constructor)
    std::function<void(BOOL bRelease)> end;
};

// Who else reaches what a close lists.
enum WORKERSHARING {
    WORKER_OWN,    // only the threads closed: released once they have ended
    WORKER_SHARED, // other modules' threads too: released only while no
                   // thread is left behind anywhere (workersLeftBehind)
};

// The close of a module's threads, in one call: sets their stop flags;
// when any of them exists, calls wake (which must end every wait they
// may be in) and joins each (workerJoin); then ends everything in
// `reached`, in order: released, or kept when a thread that can reach it
// was left behind. TRUE when it was released.
BOOL workerClose(std::initializer_list<WORKER*> workers, const std::function<void()>& wake,
                 std::initializer_list<WORKERREACH> reached = {},
                 WORKERSHARING sharing = WORKER_OWN);

// Closes *phObject when bRelease is TRUE, keeps it (workerKeep) otherwise;
// either way *phObject then reads hNone.
void workerRelease(HANDLE* phObject, BOOL bRelease, HANDLE hNone = nullptr);

// Keeps an object for good instead of closing it: a thread left behind
// may still use it. It stays reachable, so leak checkers do not report
// it. Nothing is done for a null or invalid handle.
void workerKeep(HANDLE hObject);

// Threads left behind by workerJoin that are still running. Objects that
// several modules' threads reach (the queues) are released only while
// this is 0.
int workersLeftBehind();
