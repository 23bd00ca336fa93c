// Serial port and link threads.
#include "link/comthread.h"

QUEUE QueueMessage;
QUEUE QueueResponse;
std::array<char, MAXRESPONSESIZE> szResponse;
Shared<int> bStreaming{0};
