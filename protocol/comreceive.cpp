#include "protocol/comreceive.h"
