// The exec thread: interprets every response line and tells the dialog.
#include "link/execthread.h"

#include "link/comthread.h"
#include "link/control.h"
#include "platform/sync.h"
#include "platform/worker.h"
#include "protocol/comexecute.h"

HWND hDlgHandle = nullptr;

namespace {

HANDLE hExecThread = nullptr;
DWORD ulExecThreadID = 0;
StopFlag bExecThreadDone;
WORKER execWorker{"exec", execThread, bExecThreadDone, hExecThread, ulExecThreadID};

} // namespace

DWORD execOpen() {
    bExecThreadDone = 0;
    return workerOpen(&execWorker);
}

void execStart() {
    workerStart(&execWorker);
}

void execClose() {
    if (hExecThread == nullptr)
        return;
    // A unit without a packet: the thread wakes, sees its flag and ends.
    // A thread left behind keeps using QueueResponse; comClose keeps it.
    workerClose({&execWorker}, [] { ReleaseSemaphore(QueueResponse.hQueue, 1, nullptr); });
}

DWORD execThread(LPVOID) {
    while (!bExecThreadDone) {
        if (WaitForSingleObject(QueueResponse.hQueue, INFINITE) != WAIT_OBJECT_0)
            break; // no queue to wait on
        if (bExecThreadDone)
            break;
        const char* szPacket = dequeue(&QueueResponse, nullptr);
        if (szPacket == nullptr)
            continue; // a wake-up unit left by an earlier close
        comExecute(szPacket);
        controlAnswered(szPacket);
        if (bSignal) {
            bSignal = 0;
            PostMessageA(hDlgHandle, IDUPDATE, RADIO, 0);
        }
        if (bStart) {
            bStart = 0;
            PostMessageA(hDlgHandle, IDUPDATE, START, 0);
        }
    }
    return 1;
}
