// A wake-up one thread gives another thread's event loop: signal() from
// any thread never blocks and takes no lock; handle() turns readable
// until drain() is called, so an event loop can watch it like a socket.
// Signals given while nobody watches are kept until the next drain.
#pragma once

class WakeUp {
  public:
    WakeUp();
    ~WakeUp();
    WakeUp(const WakeUp&) = delete;
    WakeUp& operator=(const WakeUp&) = delete;

    void signal() noexcept;
    void drain() noexcept;
    // The descriptor to watch for reading; -1 when none could be made.
    int handle() const noexcept { return fd_; }

  private:
    int fd_;
};
