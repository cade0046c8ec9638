// Linked around WSAStartup's import (-Wl,--wrap=__imp_WSAStartup): the socket library
// starts, but reports version 1.0 in wVersion, the first field of its WSADATA.
#include <cstdint>

using StartUp = int (*)(std::uint16_t requested, void* data);

extern "C" {
extern StartUp __real___imp_WSAStartup;
StartUp __wrap___imp_WSAStartup = [](std::uint16_t requested, void* data) {
    const int result = __real___imp_WSAStartup(requested, data);
    *static_cast<std::uint16_t*>(data) = 0x0001;
    return result;
};
}
