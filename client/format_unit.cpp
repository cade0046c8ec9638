// Formatting for Send. A chat client's units are text with %s, %c and %% in it, and a
// greeting goes out for every user who joins: those are written out here, without the
// cost of printf's machinery. Any other directive goes to vsnprintf.
#include "format_unit.h"

#include <cstdio>

namespace nimbrel {

int FormatUnit(char (&unit)[kTextSize], const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    int length = 0;
    const auto put = [&unit, &length](char c) {
        if (length < kTextSize - 1) unit[length] = c;
        ++length;
    };
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') {
            put(*f);
        } else if (f[1] == 's') {
            const char* text = va_arg(args, const char*);
            for (const char* s = text != nullptr ? text : "(null)"; *s != '\0'; ++s) put(*s);
            ++f;
        } else if (f[1] == 'c' || f[1] == '%') {
            put(*++f == 'c' ? static_cast<char>(va_arg(args, int)) : '%');
        } else {
            // Begun again from the start: vsnprintf writes the whole unit.
            length = std::vsnprintf(unit, sizeof unit, format, again);
            va_end(again);
            return length;
        }
    }
    va_end(again);
    unit[length < kTextSize ? length : kTextSize - 1] = '\0';
    return length;
}

}  // namespace nimbrel
