// Formatting for Send. A chat client's units are text with %s, %c and %% in it, and a
// greeting goes out for every user who joins: those are written out here, without the
// cost of printf's machinery. Any other directive goes to vsnprintf.
#include "format_unit.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace nimbrel {

int FormatUnit(char (&unit)[kTextSize], const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    std::size_t length = 0;  // of the whole text, as vsnprintf counts it
    // The last byte may be written here too: the NUL put in at the end takes its place.
    const auto put = [&unit, &length](char c) {
        if (length < kTextSize) unit[length] = c;
        ++length;
    };
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') {
            put(*f);
        } else if (f[1] == 's') {
            // A name from the server, at every greeting: copied in one go, as much as fits.
            const char* text = va_arg(args, const char*);
            if (text == nullptr) text = "(null)";
            const std::size_t size = std::strlen(text);
            if (length < kTextSize)
                std::memcpy(unit + length, text, std::min(size, kTextSize - length));
            length += size;
            ++f;
        } else if (f[1] == 'c' || f[1] == '%') {
            put(*++f == 'c' ? static_cast<char>(va_arg(args, int)) : '%');
        } else {
            // Begun again from the start: vsnprintf writes the whole unit.
            const int whole = std::vsnprintf(unit, sizeof unit, format, again);
            va_end(again);
            return whole;
        }
    }
    va_end(again);
    unit[std::min<std::size_t>(length, kTextSize - 1)] = '\0';
    return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

}  // namespace nimbrel
