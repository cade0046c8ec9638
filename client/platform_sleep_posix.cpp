// The client's pauses on POSIX. Alone in its file so tests can link their own in its place.
#include <cerrno>
#include <ctime>

#include "platform.h"

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds, const StopFlag& stop) {
    WaitInSlices(static_cast<int>(milliseconds), stop, [](int ms) {
        timespec left{0, ms * 1000000L};
        // A signal that does not stop the client cuts the slice short; sleep the rest.
        while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
        return 0;
    });
}

}  // namespace nimbrel::platform
