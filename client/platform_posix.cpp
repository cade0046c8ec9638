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
#include <chrono>
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

// What a wait gives: the socket ready, the time up, the wake raised, or a failure.
enum Ready { kFailed = -1, kTimeUp = 0, kReady = 1, kWoken = 2 };

using Clock = std::chrono::steady_clock;

// The milliseconds left until `end`, rounded up: 0 or less once it has passed.
int MsUntil(Clock::time_point end) {
    return static_cast<int>(
        std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count());
}

// Waits at most `timeoutMs` for `events` on `sock` (none: kInvalidSocket) or for the wake.
// poll rather than select: select cannot watch a descriptor numbered FD_SETSIZE or above.
// A signal that raised no wake cuts nothing short: the wait goes on for the time left.
Ready Wait(Socket sock, short events, Socket wake, int timeoutMs) {
    pollfd watched[2] = {{sock, events, 0}, {wake, POLLIN, 0}};
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int left = timeoutMs;;) {
        const int ready = ::poll(watched, 2, left);
        if (ready > 0) return watched[1].revents != 0 ? kWoken : kReady;
        if (ready == 0) return kTimeUp;
        if (errno != EINTR) return kFailed;
        left = MsUntil(end);
        if (left <= 0) return kTimeUp;
    }
}

template <typename Value>
bool Set(int fd, int level, int name, const Value& value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

// A silent connection is probed, so that a peer that vanished without a word is found; on
// Linux, data left unacknowledged as long is given up too.
bool Watch(int fd) {
    bool set = Set(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
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

// Neither end of the wake may outlive the program in a child it starts, nor block.
bool Unblocked(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
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
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port, Socket wake) {
    const sockaddr_in target = SocketAddress(address, port);
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) return 0;
    int error = 0;
    socklen_t length = sizeof error;
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        (errno != EINPROGRESS || Wait(sock, POLLOUT, wake, kLimits.connectMs) != kReady ||
         ::getsockopt(sock, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)) {
        return 0;
    }
    return ::fcntl(sock, F_SETFL, flags) == 0 && Watch(sock) ? 1 : 0;
}

// Each send takes what fits without blocking, and waits for room only when there is none,
// so that a wake ends the wait; the limit runs from the first such wait. MSG_NOSIGNAL: a
// send into a connection that the peer has closed fails with EPIPE instead of ending the
// process with SIGPIPE. A send that the limit cut short leaves a connection that cannot be
// used: shut both ways, it reads as ended.
int SendBytes(Socket sock, const char* bytes, int length, Socket wake) {
    if (sock == kInvalidSocket) return -1;
    Clock::time_point end{};
    for (int sent = 0;;) {
        const auto n = ::send(sock, bytes + sent, static_cast<std::size_t>(length - sent),
                              MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (n > 0) sent += static_cast<int>(n);
        if (sent == length) return length;
        if (end == Clock::time_point{})
            end = Clock::now() + std::chrono::milliseconds(kLimits.sendMs);
        const int left = MsUntil(end);
        const Ready ready = left > 0 ? Wait(sock, POLLOUT, wake, left) : kTimeUp;
        if (ready == kWoken || ready == kFailed) return -1;
        if (ready == kTimeUp) {
            ::shutdown(sock, SHUT_RDWR);
            errno = ETIMEDOUT;
            return -1;
        }
    }
}

int ReceiveBytes(Socket sock, char* bytes, int length) {
    return static_cast<int>(::recv(sock, bytes, static_cast<std::size_t>(length), 0));
}

// Like select, poll reports the end of the stream and errors as readable. poll would skip
// a closed socket and only time out, for ever; select fails on it, and so does this.
int WaitReadable(Socket sock, int timeoutMs, Socket wake) {
    if (sock == kInvalidSocket) return -1;
    const Ready ready = Wait(sock, POLLIN, wake, timeoutMs);
    return ready == kWoken ? 0 : ready;
}

int WaitForWake(Socket wake, int milliseconds) {
    return Wait(kInvalidSocket, 0, wake, milliseconds) == kWoken ? 1 : 0;
}

int OpenWake(Socket& in, Socket& out) {
    int ends[2];
    if (::pipe(ends) != 0) return 0;
    if (!Unblocked(ends[0]) || !Unblocked(ends[1])) {
        ::close(ends[0]), ::close(ends[1]);
        return 0;
    }
    in = ends[0], out = ends[1];
    return 1;
}

// write is async-signal-safe; a full pipe is raised already. errno is the interrupted
// code's, and stays as it was.
void RaiseWake(Socket out) noexcept {
    const int saved = errno;
    const char byte = 1;
    const auto written = ::write(out, &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

void ClearWake(Socket in) {
    char bytes[64];
    while (::read(in, bytes, sizeof bytes) > 0) {
    }
}

void CloseWake(Socket in, Socket out) {
    if (in != kInvalidSocket) ::close(in);
    if (out != kInvalidSocket && out != in) ::close(out);
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
