#include "audio/dsp.h"
