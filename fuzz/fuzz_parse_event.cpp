// Fuzz target: any bytes, as one line of the read loop (at most 2047 bytes, NUL-terminated),
// through the parser and the dispatcher. The sanitisers watch every field.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "chat_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char line[nimbrel::kReceiveBufferSize] = {};
    std::memcpy(line, data, size < sizeof line ? size : sizeof line - 1);
    nimbrel::EventRecord record;
    if (nimbrel::ChatClient::ParseEvent(line, record) != 1) std::abort();
    nimbrel::ChatClient client;
    client.DispatchEvent(line);
    return 0;
}
