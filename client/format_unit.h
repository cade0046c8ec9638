// FormatUnit: one unit for Send, formatted as vsnprintf formats it, byte for byte.
#pragma once

#include <cstdarg>

#include "chat_client.h"

namespace nimbrel {

// Writes `format` with `args` into `unit`, cut to fit with its NUL, and returns the length
// of the whole text, as vsnprintf does.
int FormatUnit(char (&unit)[kTextSize], const char* format, va_list args) NIMBREL_PRINTF(2, 0);

}  // namespace nimbrel
