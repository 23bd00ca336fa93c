// WakeUp on Linux: an eventfd, whose counter a write raises and a read
// clears.
#include "platform/wakeup.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

WakeUp::WakeUp() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeUp::~WakeUp() {
    if (fd_ >= 0)
        ::close(fd_);
}

void WakeUp::signal() noexcept {
    const std::uint64_t one = 1;
    if (fd_ >= 0)
        (void)!::write(fd_, &one, sizeof one); // full only after 2^64 signals
}

void WakeUp::drain() noexcept {
    std::uint64_t count = 0;
    if (fd_ >= 0)
        (void)!::read(fd_, &count, sizeof count);
}
