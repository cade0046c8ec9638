// One event's fields as text, as the parser gives them and as the C library's sscanf reads
// them, so that the two can be compared on the same line.
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "chat_client.h"
#include "event_parser.h"

namespace nimbrel::test {

// "first:name:flags:text"; first is the event's ID or its slot.
inline std::string Fields(long first, const char* name, std::uint32_t flags, const char* text) {
    return std::to_string(first) + ':' + name + ':' + std::to_string(flags) + ':' + text;
}

// The line's fields as ParseEvent gives them; empty where the read loop, whose buffer goes
// on after a line's NUL, would read them otherwise.
inline std::string Parsed(const char* line) {
    EventRecord r, loop;
    std::memset(&r, 0x5A, sizeof r);  // nothing stale may show through
    std::memset(&loop, 0xA5, sizeof loop);
    // In memory of its own size, so that the sanitisers catch a parse that reads past it.
    const std::size_t size = std::strlen(line) + 1;
    const std::unique_ptr<char[]> exact(new char[size]);
    ChatClient::ParseEvent(static_cast<char*>(std::memcpy(exact.get(), line, size)), r);
    const std::string memory =
        line + std::string(1, '\0') + "1 W n 1 \"x\" 2 W m " + std::string(64, '2');
    ParseLine(memory.data(), memory.size(), loop);
    const std::string fields = Fields(r.id, r.name, r.flags, r.text);
    return fields == Fields(loop.id, loop.name, loop.flags, loop.text) ? fields : "";
}

// What "%d %s %s %x", and the first and the last double quote, give for the line; empty
// where sscanf is undefined or the project's rules are its own: a run of nine or more hex
// digits (eight fit in 32 bits) and a token of 127 bytes or more (cut, and the rest skipped).
inline std::string ScanfFields(const char* line) {
    int hex = 0, token = 0;
    for (const char* p = line; *p != '\0'; ++p) {
        hex = std::isxdigit(static_cast<unsigned char>(*p)) ? hex + 1 : 0;
        token = std::isspace(static_cast<unsigned char>(*p)) ? 0 : token + 1;
        if (hex == 9 || token == 127) return "";
    }
    EventRecord r{};
    r.id = static_cast<std::int32_t>(std::strtol(line, nullptr, 10));
    const bool textOnly = std::strstr(" 1007 1013 1014 1015 1018 1019 ",
                                      (' ' + std::to_string(r.id) + ' ').c_str()) != nullptr;
    if (!textOnly) std::sscanf(line, "%d %*s %127s %x", &r.id, r.name, &r.flags);
    if (const char* quote = std::strchr(line, '"')) {
        std::strncpy(r.text, quote + 1, sizeof r.text - 1);
        if (char* last = std::strrchr(r.text, '"')) *last = '\0';
    }
    return Fields(r.id, r.name, r.flags, r.text);
}

}  // namespace nimbrel::test
