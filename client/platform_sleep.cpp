// The client's pauses. Alone in its file so tests can link their own in its place.
#include "platform.h"

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds, Socket wake) {
    WaitForWake(wake, static_cast<int>(milliseconds));
}

}  // namespace nimbrel::platform
