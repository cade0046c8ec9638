// The platform layer on Windows Sockets 1.1 (<winsock.h>, linked with wsock32).
#include <winsock.h>

#include <cstring>
#include <initializer_list>

#include "platform.h"

namespace nimbrel::platform {

namespace {

sockaddr_in Address(std::uint32_t address, std::uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = address;
    return where;
}

// select's first argument is ignored here, and its sets hold sockets of any value.
int Wait(Socket sock, fd_set* readable, fd_set* writable, fd_set* failed, int timeoutMs) {
    for (fd_set* set : {readable, writable, failed}) {
        if (set == nullptr) continue;
        FD_ZERO(set);
        FD_SET(sock, set);
    }
    timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    return select(0, readable, writable, failed, &limit);
}

}  // namespace

int StartUp(std::uint16_t requested, std::uint16_t& provided) {
    WSADATA data;
    if (WSAStartup(requested, &data) != 0) return 0;
    provided = data.wVersion;
    return 1;
}

void CleanUp() { WSACleanup(); }

int ResolveName(const char* host, std::uint32_t& address) {
    const hostent* found = gethostbyname(host);
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) {
        return 0;
    }
    std::memcpy(&address, found->h_addr_list[0], sizeof address);
    return 1;
}

std::uint32_t NumericAddress(const char* text) { return inet_addr(text); }

Socket OpenTcpSocket() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }

// Without a limit, a connect to a host that drops requests takes minutes: it is made
// without blocking, and waited for. A connect that fails shows in select's error set.
int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in target = Address(address, port);
    u_long nonBlocking = 1;
    ioctlsocket(sock, FIONBIO, &nonBlocking);
    fd_set done, failed;
    if (connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
        (WSAGetLastError() != WSAEWOULDBLOCK ||
         Wait(sock, nullptr, &done, &failed, kLimits.connectMs) != 1 || !FD_ISSET(sock, &done))) {
        return 0;
    }
    nonBlocking = 0;
    ioctlsocket(sock, FIONBIO, &nonBlocking);
    // Windows Sockets 1.1 can switch keepalive on, no more: its timing is the system's.
    const BOOL on = TRUE;
    setsockopt(sock, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    return 1;
}

// Windows raises no signal for a send into a closed connection: the call fails. A send
// that cannot start within the limit gives the connection up, shut both ways (2).
int SendBytes(Socket sock, const char* bytes, int length) {
    fd_set writable;
    if (Wait(sock, nullptr, &writable, nullptr, kLimits.sendMs) == 0) {
        shutdown(sock, 2);
        WSASetLastError(WSAETIMEDOUT);
        return -1;
    }
    return send(sock, bytes, length, 0);
}

int ReceiveBytes(Socket sock, char* bytes, int length) { return recv(sock, bytes, length, 0); }

int WaitReadable(Socket sock, int timeoutMs) {
    fd_set readable;
    return Wait(sock, &readable, nullptr, nullptr, timeoutMs);
}

void CloseSocket(Socket sock) { closesocket(sock); }

Socket BindTcp(std::uint32_t address, std::uint16_t& port) {
    const Socket sock = OpenTcpSocket();
    sockaddr_in where = Address(address, port);
    int length = sizeof where;
    if (sock == kInvalidSocket ||
        bind(sock, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        if (sock != kInvalidSocket) closesocket(sock);
        return kInvalidSocket;
    }
    port = ntohs(where.sin_port);
    return sock;
}

// Room for a burst of connects, such as ten that a test never accepts.
int ListenOn(Socket sock) { return listen(sock, 16) == 0 ? 1 : 0; }

Socket AcceptOn(Socket listener) { return accept(listener, nullptr, nullptr); }

// The socket calls' own numbers, such as 10061 for a refused connect and 10054 for a reset.
unsigned LastError() { return static_cast<unsigned>(WSAGetLastError()); }

}  // namespace nimbrel::platform
