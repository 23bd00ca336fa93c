#include "protocol/comexecute.h"
