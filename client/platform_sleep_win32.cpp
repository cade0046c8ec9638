// The client's pauses on Windows. Alone in its file so tests can link their own in its place.
#include <windows.h>

#include "platform.h"

namespace nimbrel::platform {

void SleepMs(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace nimbrel::platform
