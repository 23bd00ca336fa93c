// The exec thread: interprets every response line and tells the dialog.
#include "link/execthread.h"

#include "link/comthread.h"
#include "platform/sync.h"
#include "protocol/comexecute.h"

HWND hDlgHandle = nullptr;

namespace {

HANDLE hExecThread = nullptr;
DWORD ulExecThreadID = 0;
Shared<int> bExecThreadDone{0};

} // namespace

DWORD execOpen() {
    bExecThreadDone = 0;
    hExecThread = CreateThread(nullptr, 0, execThread, nullptr, CREATE_SUSPENDED, &ulExecThreadID);
    if (hExecThread == nullptr)
        return GetLastError();
    SetThreadPriority(hExecThread, THREAD_PRIORITY_BELOW_NORMAL);
    return NO_ERROR;
}

void execStart() {
    if (hExecThread != nullptr)
        ResumeThread(hExecThread);
}

void execClose() {
    if (hExecThread == nullptr)
        return;
    bExecThreadDone = 1;
    // A unit without a packet: the thread wakes, sees its flag and ends.
    ReleaseSemaphore(QueueResponse.hQueue, 1, nullptr);
    JoinThread(hExecThread, "exec");
    CloseHandle(hExecThread);
    hExecThread = nullptr;
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
