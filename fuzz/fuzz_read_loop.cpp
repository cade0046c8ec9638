// Fuzz target: any byte stream through the line framer, in reads of one byte, of a size the
// input's first byte chooses, and whole. Each must give the lines of a plain split at LF,
// up to a partial line that fills the buffer, where the connection would end.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "chat_client.h"
#include "line_buffer.h"

// Each line as a handler would see it, to its first NUL, then "full" if a partial line
// would fill the buffer: the lines before the first LF that lies beyond it.
static std::string Reference(std::string data) {
    std::string lines;
    for (std::size_t end; (end = data.find('\n')) < nimbrel::kReceiveBufferSize;
         data.erase(0, end + 1))
        lines += data.substr(0, end).c_str() + std::string("\n");
    return data.size() < nimbrel::kReceiveBufferSize ? lines : lines + "full";
}

static std::string Framed(const char* data, std::size_t size, std::size_t step) {
    nimbrel::LineBuffer buffer;
    std::string lines;
    for (std::size_t at = 0, take = 0;; at += take) {
        int room = 0;
        char* area = buffer.ReadArea(room);
        if (room == 0) return lines + "full";
        if (at == size) return lines;
        take = std::min({step, size - at, static_cast<std::size_t>(room)});
        std::memcpy(area, data + at, take);
        buffer.Commit(static_cast<int>(take));
        while (const char* line = buffer.NextLine()) lines += line + std::string("\n");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const auto* data = reinterpret_cast<const char*>(bytes + 1);
    const std::string expected = Reference(std::string(data, size - 1));
    for (std::size_t step : {std::size_t{1}, std::size_t{bytes[0]} + 1, size})
        if (Framed(data, size - 1, step) != expected) std::abort();
    return 0;
}
