// The client's pauses on Windows. Alone in its file so tests can link their own in its place.
#include <windows.h>

#include "platform.h"

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds, const StopFlag& stop) {
    WaitInSlices(static_cast<int>(milliseconds), stop, [](int ms) {
        Sleep(static_cast<DWORD>(ms));
        return 0;
    });
}

}  // namespace nimbrel::platform
