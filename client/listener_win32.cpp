// Listening sockets on Windows Sockets 1.1.
#include <winsock.h>

#include "listener.h"
#include "socket_address.h"

namespace nimbrel::platform {

Socket BindTcp(std::uint32_t address, std::uint16_t& port) {
    const Socket sock = OpenTcpSocket();
    sockaddr_in where = SocketAddress(address, port);
    int length = sizeof where;
    if (sock == kInvalidSocket ||
        bind(sock, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        if (sock != kInvalidSocket) CloseSocket(sock);
        return kInvalidSocket;
    }
    port = ntohs(where.sin_port);
    return sock;
}

// Room for a burst of connects, such as ten that a test never accepts.
int ListenOn(Socket sock) { return listen(sock, 16) == 0 ? 1 : 0; }

Socket AcceptOn(Socket listener) { return accept(listener, nullptr, nullptr); }

}  // namespace nimbrel::platform
