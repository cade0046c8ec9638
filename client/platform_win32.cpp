// The platform layer on Windows Sockets 1.1 (<winsock.h>, linked with wsock32).
#include <winsock.h>

#include <cstring>

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

int ConnectTo(Socket sock, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in target = Address(address, port);
    return connect(sock, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0 ? 1 : 0;
}

// Windows raises no signal for a send into a closed connection: the call fails.
int SendBytes(Socket sock, const char* bytes, int length) { return send(sock, bytes, length, 0); }

int ReceiveBytes(Socket sock, char* bytes, int length) { return recv(sock, bytes, length, 0); }

// select's first argument is ignored here, and its sets hold sockets of any value.
int WaitReadable(Socket sock, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock, &readable);
    timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
    return select(0, &readable, nullptr, nullptr, &limit);
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
