// The commands that tune the receiver.
#include "link/tuning.h"

#include "link/comthread.h"
#include "link/queue.h"
#include "protocol/factor.h"

#include <array>
#include <cstdio>

Shared<BOOL> bTune{FALSE};

namespace {

template <typename... Args> void queueFormatted(const char* szFormat, Args... args) {
    std::array<char, MAXRESPONSESIZE> szCommand{};
    std::snprintf(szCommand.data(), szCommand.size(), szFormat, args...);
    enqueue(&QueueMessage, szCommand.data(), MIN_PRIORITY);
}

} // namespace

void queueTuning(DWORD ulValue, int* pR, int* pN) {
    if (!bTune) {
        queueFormatted("*AF%u\r", ulValue);
        return;
    }
    if (factor(static_cast<int>(ulValue), pR, pN)) {
        queueFormatted("*AR%d\r", *pR);
        queueFormatted("*AN%d\r", *pN);
    }
    queueFormatted("*AD%u\r", ulValue);
}
