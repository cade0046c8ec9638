// Linked into nimbrel_quick in place of the library's own: pauses a hundred times shorter and
// limits of a second or so, so that tests of faults and of hundreds of connections take
// seconds. A vanished peer is found after 1 + 1 * 2 seconds.
#include <chrono>
#include <thread>

#include "platform.h"

namespace nimbrel::platform {

const Limits kLimits = {1000, 1000, 1, 1, 2};

void SleepMs(unsigned milliseconds, Socket) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / 100));
}

}  // namespace nimbrel::platform
