// Set-up of the sound libraries on ALSA and JACK.
#include "platform/sound.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <ctime>

namespace {

void alsaQuiet(const char*, int, const char*, int, const char*, ...) {}
void jackQuiet(const char*) {}

} // namespace

void QuietSoundLibraries() {
    snd_lib_error_set_handler(alsaQuiet);
    jack_set_error_function(jackQuiet);
    jack_set_info_function(jackQuiet);
}

std::uint64_t GetCurrentThreadCpuMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}
