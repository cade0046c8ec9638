// Listening sockets on POSIX.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "listener.h"
#include "socket_address.h"

namespace nimbrel::platform {

Socket BindTcp(std::uint32_t address, std::uint16_t& port) {
    const Socket sock = OpenTcpSocket();
    // A server started again at once must not wait for its old connections to time out.
    const int yes = 1;
    sockaddr_in where = SocketAddress(address, port);
    socklen_t length = sizeof where;
    if (sock == kInvalidSocket ||
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(sock, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        if (sock != kInvalidSocket) CloseSocket(sock);
        return kInvalidSocket;
    }
    port = ntohs(where.sin_port);
    return sock;
}

// Room for a burst of connects, such as ten that a test never accepts.
int ListenOn(Socket sock) { return ::listen(sock, 16) == 0 ? 1 : 0; }

Socket AcceptOn(Socket listener) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd >= 0) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd < 0 ? kInvalidSocket : fd;
}

}  // namespace nimbrel::platform
