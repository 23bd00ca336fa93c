#include "protocol/swap.h"
