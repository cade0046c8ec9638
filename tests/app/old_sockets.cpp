// Linked around WSAStartup's import (-Wl,--wrap=__imp_WSAStartup): the socket library
// starts, but reports version 1.0 in wVersion, the first field of its WSADATA. The names are
// the linker's, reserved as they are.
#include <cstdint>

using StartUp = int (*)(std::uint16_t requested, void* data);

extern "C" {
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern StartUp __real___imp_WSAStartup;
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
StartUp __wrap___imp_WSAStartup = [](std::uint16_t requested, void* data) {
    const int result = __real___imp_WSAStartup(requested, data);
    *static_cast<std::uint16_t*>(data) = 0x0001;
    return result;
};
}
