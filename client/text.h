// Bounded copies into the client's fixed-size text fields, and the one character test the
// wire needs.
#pragma once

#include <cstddef>

namespace nimbrel {

// An ASCII decimal digit; unlike isdigit, free of the locale and defined for every char.
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
