// The default sound device: the sound library's default output.
#pragma once

#include "platform/sound.h"

extern const SOUNDDEVICE PortAudioSound;
