// velkor-stream2wav: plays a replay or recorded receive stream into a WAV
// file at 8000 frames/s, through the program's decoder and resampler.
#include "tools/replay.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: velkor-stream2wav IN.bin OUT.wav\n"
                     "  Decodes the audio frames of IN.bin into a WAV file at 8000 frames/s.\n");
        return 2;
    }
    std::string szError;
    std::vector<BYTE> ucStream;
    if (!readFile(argv[1], ucStream, szError)) {
        std::fprintf(stderr, "velkor-stream2wav: %s\n", szError.c_str());
        return 1;
    }
    std::size_t ulSkipped = 0;
    const auto clips = parseStream(ucStream, ulSkipped);
    if (clips.empty()) {
        std::fprintf(stderr, "velkor-stream2wav: %s: no audio frames\n", argv[1]);
        return 1;
    }
    if (!writeWav(argv[2], decodeClips(clips), szError)) {
        std::fprintf(stderr, "velkor-stream2wav: %s\n", szError.c_str());
        return 1;
    }
    std::fprintf(stderr, "velkor-stream2wav: %zu frames, %zu octets outside frames\n", clips.size(),
                 ulSkipped);
    return 0;
}
