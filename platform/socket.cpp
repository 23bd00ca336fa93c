// TCP sockets and the wake-up on Linux: non-blocking sockets, poll and
// an eventfd.
#include "platform/socket.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

short toPoll(short events) {
    short result = 0;
    if (events & POLL_READ)
        result |= POLLIN;
    if (events & POLL_WRITE)
        result |= POLLOUT;
    return result;
}

short fromPoll(short revents) {
    short result = 0;
    if (revents & POLLIN)
        result |= POLL_READ;
    if (revents & POLLOUT)
        result |= POLL_WRITE;
    if (revents & (POLLHUP | POLLERR | POLLNVAL))
        result |= POLL_HANGUP;
    return result;
}

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

} // namespace

int WSAPoll(WSAPOLLFD* pSockets, DWORD nSockets, DWORD dwMilliseconds) {
    std::vector<pollfd> fds(nSockets);
    for (DWORD i = 0; i < nSockets; ++i)
        fds[i] = {pSockets[i].fd, toPoll(pSockets[i].events), 0};
    const int timeout = dwMilliseconds == INFINITE ? -1 : static_cast<int>(dwMilliseconds);
    int n = 0;
    do {
        n = poll(fds.data(), nSockets, timeout);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return SOCKET_ERROR;
    for (DWORD i = 0; i < nSockets; ++i)
        pSockets[i].revents = fromPoll(fds[i].revents);
    return n;
}

SOCKET ListenSocket(LPCSTR szHost, WORD wPort, std::string* pszError) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* pInfo = nullptr;
    const std::string szPort = std::to_string(wPort);
    if (const int rc = getaddrinfo(szHost, szPort.c_str(), &hints, &pInfo); rc != 0) {
        *pszError = std::string("not a numeric address: ") + gai_strerror(rc);
        return INVALID_SOCKET;
    }
    const SOCKET s = socket(pInfo->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        *pszError = std::strerror(errno);
        freeaddrinfo(pInfo);
        return INVALID_SOCKET;
    }
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (pInfo->ai_family == AF_INET6)
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    const bool bBound = bind(s, pInfo->ai_addr, pInfo->ai_addrlen) == 0 && listen(s, 16) == 0;
    freeaddrinfo(pInfo);
    if (!bBound) {
        *pszError = std::strerror(errno);
        close(s);
        return INVALID_SOCKET;
    }
    return s;
}

WORD SocketPort(SOCKET hSocket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(hSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

SOCKET AcceptSocket(SOCKET hListen) {
    const SOCKET s = accept4(hListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s < 0)
        return INVALID_SOCKET;
    // Answers are short lines: send each at once.
    const int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

int ReceiveSocket(SOCKET hSocket, char* pBuffer, int nSize) {
    const ssize_t n = recv(hSocket, pBuffer, static_cast<std::size_t>(nSize), 0);
    if (n >= 0)
        return static_cast<int>(n);
    return wouldBlock() ? SOCKET_WOULDBLOCK : SOCKET_ERROR;
}

int SendSocket(SOCKET hSocket, const char* pBuffer, int nSize) {
    const ssize_t n = send(hSocket, pBuffer, static_cast<std::size_t>(nSize), MSG_NOSIGNAL);
    if (n >= 0)
        return static_cast<int>(n);
    return wouldBlock() ? SOCKET_WOULDBLOCK : SOCKET_ERROR;
}

void closesocket(SOCKET hSocket) {
    if (hSocket != INVALID_SOCKET)
        close(hSocket);
}

SOCKET CreateWakeSocket() {
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd < 0 ? INVALID_SOCKET : fd;
}

void SignalWakeSocket(SOCKET hWake) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(hWake, &one, sizeof one);
}

void ClearWakeSocket(SOCKET hWake) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(hWake, &count, sizeof count);
}

void IgnoreBrokenPipeOnThisThread() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}
