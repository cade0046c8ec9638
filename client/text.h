// Bounded copies into the client's fixed-size text fields.
#pragma once

#include <cstddef>

namespace nimbrel {

// Copies at most size - 1 bytes of `source` into `target` and always ends it with a NUL.
// Reads nothing past the NUL of `source`; a null `source` copies as empty text.
inline void CopyText(char* target, std::size_t size, const char* source) {
    std::size_t i = 0;
    if (source != nullptr) {
        for (; i + 1 < size && source[i] != '\0'; ++i) target[i] = source[i];
    }
    target[i] = '\0';
}

template <std::size_t N>
void CopyText(char (&target)[N], const char* source) {
    CopyText(target, N, source);
}

}  // namespace nimbrel
