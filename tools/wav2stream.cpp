// velkor-wav2stream: turns a WAV file into a receive stream that the
// program can replay ("../wwv.bin").
#include "tools/replay.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD MIN_FREQUENCY_HZ = 100000;
constexpr DWORD MAX_FREQUENCY_HZ = 30000000;

int usage() {
    std::fprintf(stderr,
                 "usage: velkor-wav2stream [-f HERTZ] [-m AM|CW|SSB] [-s S-UNITS] IN.wav OUT.bin\n"
                 "  Resamples IN.wav to 7812.5 samples/s and writes it as audio frames\n"
                 "  (\"@RMC\", status record, 250 octets of IMA ADPCM). Defaults: -f 10000000 -m "
                 "AM -s 7.\n");
    return 2;
}

bool parseNumber(const char* szText, unsigned long ulMin, unsigned long ulMax,
                 unsigned long& ulValue) {
    char* end = nullptr;
    ulValue = std::strtoul(szText, &end, 10);
    return end != szText && *end == '\0' && szText[0] != '-' && ulValue >= ulMin &&
           ulValue <= ulMax;
}

} // namespace

int main(int argc, char** argv) {
    STATUSRECORD status;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i += 2) {
        const std::string option = argv[i];
        unsigned long ulValue = 0;
        if (option == "-f" && parseNumber(argv[i + 1], MIN_FREQUENCY_HZ, MAX_FREQUENCY_HZ, ulValue))
            status.ulFrequency = static_cast<DWORD>(ulValue);
        else if (option == "-m" && parseMode(argv[i + 1], status.ucMode))
            continue;
        else if (option == "-s" && parseNumber(argv[i + 1], 0, 15, ulValue))
            status.ucSignal = static_cast<BYTE>(ulValue);
        else {
            std::fprintf(stderr, "velkor-wav2stream: bad option %s %s\n", argv[i], argv[i + 1]);
            return usage();
        }
    }
    if (argc - i != 2)
        return usage();

    std::string szError;
    SOUND wav;
    SOUND line;
    if (!readWav(argv[i], wav, szError) || !convertRate(wav, RECEIVER_RATE, line, szError) ||
        !writeFile(argv[i + 1], encodeStream(line, status), szError)) {
        std::fprintf(stderr, "velkor-wav2stream: %s\n", szError.c_str());
        return 1;
    }
    return 0;
}
