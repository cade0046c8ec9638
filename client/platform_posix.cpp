// The platform layer on POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"
#include "socket_address.h"

namespace nimbrel::platform {

namespace {

// The descriptor must not outlive the program in a child it starts.
int OpenStreamSocket() {
#ifdef SOCK_CLOEXEC
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
#else
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
#endif
}

// Waits at most `timeoutMs` for `events`: 0 on time-out. poll rather than select: select
// cannot watch a descriptor numbered FD_SETSIZE or above.
int Wait(Socket sock, short events, int timeoutMs) {
    pollfd watched{};
    watched.fd = sock;
    watched.events = events;
    return ::poll(&watched, 1, timeoutMs);
}

template <typename Value>
bool Set(int fd, int level, int name, const Value& value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// Gives a connection up when it cannot go on: a send that cannot be queued within the limit
// fails (SO_SNDTIMEO), and a silent connection is probed, so that a peer that vanished
// without a word is found; on Linux, data left unacknowledged as long is given up too.
bool Watch(int fd) {
    timeval sendLimit{};
    sendLimit.tv_sec = kLimits.sendMs / 1000;
    sendLimit.tv_usec = static_cast<suseconds_t>(kLimits.sendMs % 1000) * 1000;
    bool set = Set(fd, SOL_SOCKET, SO_SNDTIMEO, sendLimit) && Set(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
    set = set && Set(fd, IPPROTO_TCP, TCP_KEEPIDLE, kLimits.keepIdleSeconds) &&
          Set(fd, IPPROTO_TCP, TCP_KEEPINTVL, kLimits.keepIntervalSeconds) &&
          Set(fd, IPPROTO_TCP, TCP_KEEPCNT, kLimits.keepCount);
#endif
#ifdef TCP_USER_TIMEOUT
    const unsigned silentMs =
        1000u * (kLimits.keepIdleSeconds + kLimits.keepIntervalSeconds * kLimits.keepCount);
    set = set && Set(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, silentMs);
#endif
    return set;
}

}  // namespace

// POSIX sockets need no start-up; they "cannot be used" when no IPv4 TCP socket can be made.
int StartUp(std::uint16_t requested, std::uint16_t& provided) {
    const int probe = OpenStreamSocket();
    if (probe < 0) return 0;
    ::close(probe);
    (void)requested;
    provided = 0x0101;  // what the client asks for: the calls it uses all exist here
    return 1;
}

void CleanUp() {}

int ResolveName(const char* host, std::uint32_t& address) {
    // Only the address is taken: the entries for other socket types carry the same one.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return 0;
    sockaddr_in first{};
    std::memcpy(&first, found->ai_addr, sizeof first);
    ::freeaddrinfo(found);
    address = first.sin_addr.s_addr;
    return 1;
}

std::uint32_t NumericAddress(const char* text) { return ::inet_addr(text); }

Socket OpenTcpSocket() {
    const int fd = OpenStreamSocket();
    return fd < 0 ? kInvalidSocket : fd;
}

// Without a limit, a connect to a host that drops requests takes minutes: it is made
// without blocking, and waited for. A connection without its limits could wait for ever on
// a vanished server: it is given up, not used.
// A signal that does not stop the client only ends a slice of the wait early.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, const StopFlag& stop) {
    const sockaddr_in target = SocketAddress(address, port);
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) return 0;
    const auto writable = [sock](int ms) {
        const int ready = Wait(sock, POLLOUT, ms);
        return ready < 0 && errno == EINTR ? 0 : ready;
    };
    int error = 0;
    socklen_t length = sizeof error;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        (errno != EINPROGRESS || WaitInSlices(kLimits.connectMs, stop, writable) != 1 ||
         ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) {
        return 0;
    }
    return ::fcntl(sock, F_SETFL, flags) == 0 && Watch(sock) ? 1 : 0;
}

// MSG_NOSIGNAL: a send into a connection that the peer has closed fails with EPIPE
// instead of ending the process with SIGPIPE. A send that the limit cut short, or ended
// before it began, leaves a connection that cannot be used: shut both ways, it reads as
// ended.
int SendBytes(Socket sock, const char* bytes, int length) {
    const auto sent = ::send(sock, bytes, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < length && (sent >= 0 || errno == EAGAIN || errno == EWOULDBLOCK)) {
        ::shutdown(sock, SHUT_RDWR);
        errno = ETIMEDOUT;
        return -1;
    }
    return static_cast<int>(sent);
}

int ReceiveBytes(Socket sock, char* bytes, int length) {
    return static_cast<int>(::recv(sock, bytes, static_cast<std::size_t>(length), 0));
}

// Like select, poll reports the end of the stream and errors as readable. An interrupted
// wait is a short time-out, not a fault for recv to report. poll would skip a closed
// socket and only time out, for ever; select fails on it, and so does this.
int WaitReadable(Socket sock, int timeoutMs, const StopFlag& stop) {
    if (sock == kInvalidSocket) return -1;
    const int ready =
        WaitInSlices(timeoutMs, stop, [sock](int ms) { return Wait(sock, POLLIN, ms); });
    return ready < 0 && errno == EINTR ? 0 : ready;
}

void CloseSocket(Socket sock) { ::close(sock); }

int AppendWhole(std::FILE* file, const char* bytes, int length) {
    const int fd = ::fileno(file);
    const ssize_t written = ::write(fd, bytes, static_cast<std::size_t>(length));
    if (written == length) return 1;
    // Opened for appending, the part written ends the file: cut it off again.
    struct stat status {};
    const bool takenBack =
        written > 0 && ::fstat(fd, &status) == 0 && ::ftruncate(fd, status.st_size - written) == 0;
    static_cast<void>(takenBack);  // if not, the next line still starts after the part
    return 0;
}

unsigned LastError() { return static_cast<unsigned>(errno); }

}  // namespace nimbrel::platform
