#include "protocol/factor.h"
