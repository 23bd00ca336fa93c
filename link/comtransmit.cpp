// Writing one command to the serial port and waiting until it has left.
#include "link/comtransmit.h"

#include "platform/serial.h"
#include "platform/sync.h"

#include <cstring>

namespace {

COMSTAT ComStat; // fetched after every write; kept for inspection only

} // namespace

void comTransmit(HANDLE hCom, LPCSTR szMessage) {
    if (hCom == INVALID_HANDLE_VALUE)
        return;
    DWORD ulWritten = 0;
    DWORD ulErrors = 0;
    WriteFile(hCom, szMessage, static_cast<DWORD>(std::strlen(szMessage)), &ulWritten, nullptr);
    // Clear any line error so that it blocks neither later writes nor reads.
    ClearCommError(hCom, &ulErrors, &ComStat);
}

DWORD comTransmitWait(HANDLE hCom) {
    if (hCom == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    DWORD ulEvent = 0;
    if (!WaitCommEvent(hCom, &ulEvent, nullptr))
        return GetLastError();
    return NO_ERROR;
}
