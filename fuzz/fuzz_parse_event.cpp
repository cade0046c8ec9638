// Fuzz target: any bytes, as one server line, through the parser and the dispatcher.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "chat_client.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The read loop hands the parser lines of at most 2047 bytes, NUL-terminated; a NUL
    // inside ends the line early, which the parser must respect too.
    char line[nimbrel::kReceiveBufferSize];
    const std::size_t length = size < sizeof line - 1 ? size : sizeof line - 1;
    std::memcpy(line, data, length);
    line[length] = '\0';

    nimbrel::EventRecord record;
    Check(nimbrel::ChatClient::ParseEvent(line, record) == 1);
    Check(std::strlen(record.name) < sizeof record.name);
    Check(std::strlen(record.text) < sizeof record.text);

    nimbrel::ChatClient client;
    client.DispatchEvent(line);
    return 0;
}
