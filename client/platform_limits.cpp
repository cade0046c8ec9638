// The limits of the program: a connect gives up after 10 s, a send after 5 s, and a silent
// peer is probed after 60 s, every 10 s, five times, so that one that has vanished is found
// within two minutes.
#include "platform.h"

namespace nimbrel::platform {

const Limits kLimits = {10000, 5000, 60, 10, 5};

}  // namespace nimbrel::platform
