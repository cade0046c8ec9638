// The client's pauses on POSIX. Alone in its file so tests can link their own in its place.
#include <cerrno>
#include <ctime>

#include "platform.h"

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(milliseconds / 1000);
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal that does not end the process cuts the pause short; sleep the rest.
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace nimbrel::platform
