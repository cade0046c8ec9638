// Links in place of the client's own SleepMs.
#include "support/fake_sleep.h"

#include <chrono>
#include <thread>

#include "platform.h"

namespace nimbrel::test {

SleepSeam& Sleeps() {
    static SleepSeam seam;
    return seam;
}

}  // namespace nimbrel::test

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds) {
    test::SleepSeam& seam = test::Sleeps();
    seam.calls.push_back(milliseconds);
    if (seam.realPauses) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    if (seam.onPause) seam.onPause(static_cast<int>(seam.calls.size()));
}

}  // namespace nimbrel::platform
