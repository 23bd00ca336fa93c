// Interpretation of response lines into the receiver state.
#include "protocol/comexecute.h"

#include "protocol/comreceive.h"

#include <cstdlib>
#include <cstring>

RADIOSTATE radio;
Shared<BOOL> bSignal{FALSE};
Shared<int> bStart{0};
const std::array<DWORD, 8> ulJog = {10, 100, 1000, 1250, 2500, 5000, 10000, 100000};

namespace {

constexpr char szStartWord[] = "START";

// The character at offset k, or NUL when the line ends before it: a short
// line is never read past its terminator.
char charAt(const char* p, int k) {
    for (int i = 0; i < k; ++i)
        if (p[i] == '\0')
            return '\0';
    return p[k];
}

// The decimal number from offset k as the standard conversion reads it:
// white space (CR included) skipped, an optional sign, digits up to the
// first non-digit; no digits, or a line that ends before k, read as 0.
// Out-of-range values saturate in the conversion and keep their low 32
// bits, as no range test is made.
DWORD numberAt(const char* p, int k) {
    for (int i = 0; i < k; ++i)
        if (p[i] == '\0')
            return 0;
    return static_cast<DWORD>(std::strtol(p + k, nullptr, 10));
}

void executeStatusRecord() {
    const auto& status = header.field;
    radio.ulFrequency = status.ulFreqVCO.load();
    // A step code the table does not know leaves the step as it was.
    if (const BYTE ucJog = status.ucJog; ucJog < ulJog.size())
        radio.uSpeed = ulJog[ucJog];
    radio.uMode = status.ucMode.load();
    radio.uSUnits = status.ucSignal.load();
    radio.bLock = (status.ucFlags1 & FLAG_LOCK) ? TRUE : FALSE;
    bSignal = TRUE;
}

void executeMode(char cMode) {
    switch (cMode) {
    case '0':
    case '1':
        radio.uMode = MODE_SSB;
        break;
    case '2':
    case '3':
        radio.uMode = MODE_CW;
        break;
    case '4':
        radio.uMode = MODE_AM;
        break;
    default:
        break;
    }
}

void executeA(const char* p) {
    switch (charAt(p, 2)) {
    case 'F':
        radio.ulFrequency = numberAt(p, 3);
        break;
    case 'L':
        radio.bLock = TRUE;
        break;
    case 'U':
        radio.bLock = FALSE;
        break;
    default:
        break;
    }
}

void executeR(const char* p) {
    const char c2 = charAt(p, 2);
    if (c2 != 'M' && c2 != 'S')
        return;
    switch (charAt(p, 3)) {
    case 'I':
        radio.uSpeed = numberAt(p, 4);
        break;
    case 'M':
        executeMode(charAt(p, 4));
        break;
    case 'C':
        executeStatusRecord();
        break;
    default:
        break;
    }
}

} // namespace

void comExecute(const char* szResponse) {
    if (szResponse[0] != cPreamble) {
        // The receiver's start-up announcement.
        if (std::strstr(szResponse, szStartWord) != nullptr)
            bStart += 1;
        return;
    }
    switch (szResponse[1]) {
    case 'A':
        executeA(szResponse);
        break;
    case 'R':
        executeR(szResponse);
        break;
    case 'S':
        radio.uSUnits = numberAt(szResponse, 4);
        bSignal = TRUE;
        break;
    default:
        break;
    }
}
