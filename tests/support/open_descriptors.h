// How many descriptors the process has open: a socket left open shows as one more.
#pragma once

#include <filesystem>

namespace nimbrel::test {

inline int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

}  // namespace nimbrel::test
