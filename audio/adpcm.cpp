#include "audio/adpcm.h"
