// Fuzz target: any bytes, as one line of the read loop (at most 2047 bytes, NUL-terminated),
// through the parser and the dispatcher, and against the C library's sscanf: wherever
// sscanf is defined and the project's rules are not its own, the two must agree.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "event_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char line[nimbrel::kReceiveBufferSize] = {};
    std::memcpy(line, data, size < sizeof line ? size : sizeof line - 1);
    const std::string parsed = nimbrel::test::Parsed(line);
    const std::string expected = nimbrel::test::ScanfFields(line);
    if (parsed.empty() || (!expected.empty() && parsed != expected)) std::abort();
    nimbrel::ChatClient client;
    client.DispatchEvent(line);
    return 0;
}
