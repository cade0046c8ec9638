// The tests' SleepMs: it records every pause the client asks for and returns at once,
// unless a test asks for real pauses.
#pragma once

#include <functional>
#include <vector>

namespace nimbrel::test {

struct SleepSeam {
    std::vector<unsigned> calls;  // every pause asked for, in milliseconds, in order
    bool realPauses = false;      // sleep for the time asked too
    // Called with the pause's number (1 for the first) before it returns: lets a test
    // change the world between two attempts.
    std::function<void(int)> onPause;
};

// The one seam of this process; tests reset it in their set-up.
SleepSeam& Sleeps();

}  // namespace nimbrel::test
