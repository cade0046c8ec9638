// Fuzz target: any bytes as the server's stream, through the line framer in reads of a size
// the first byte chooses, and each line it cuts through the parser and the dispatcher, as
// the read loop does. The lines must be those of a plain split at LF, up to a partial line
// that fills the buffer, where the connection would end; and each must parse as the C
// library's sscanf reads it, wherever sscanf is defined and the project's rules are not its
// own, whether the parser may read on past its end or not.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "event_fields.h"
#include "event_table.h"
#include "line_buffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const std::string data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    nimbrel::LineBuffer buffer;
    nimbrel::ChatClient client;
    for (std::size_t read = 0, next = 0;;) {  // bytes read, and where the next line starts
        int room = 0;
        char* area = buffer.ReadArea(room);
        if (room == 0 && data.find('\n', next) < next + nimbrel::kReceiveBufferSize) std::abort();
        if (room == 0 || read == data.size()) return 0;
        const auto take = std::min(
            {std::size_t{bytes[0]} + 1, data.size() - read, static_cast<std::size_t>(room)});
        std::memcpy(area, data.data() + read, take);
        buffer.Commit(static_cast<int>(take));
        read += take;
        // The parser may read on past a line's NUL, as far as `readable` says it may.
        for (std::size_t readable = 0; const char* line = buffer.NextLine(readable);) {
            const std::size_t end = data.find('\n', next);
            if (end >= read || std::strcmp(data.substr(next, end - next).c_str(), line) != 0 ||
                readable <= std::strlen(line)) {
                std::abort();
            }
            next = end + 1;
            const std::string expected = nimbrel::test::ScanfFields(line);
            if (!expected.empty() && nimbrel::test::Parsed(line) != expected) std::abort();
            nimbrel::DispatchLine(client, line, readable);
        }
    }
}
