// Fuzz target: any byte stream through the line framer, whole, byte by byte, and split at
// reads of a size the input chooses. All three must give the same lines; each line is
// dispatched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "chat_client.h"
#include "line_buffer.h"
#include "text.h"

namespace {

// A running digest of the lines seen, so the three feeds can be compared without storing
// them.
struct Digest {
    std::uint64_t hash = 1469598103934665603ull;
    std::size_t lines = 0;
    bool full = false;  // a partial line filled the buffer: the connection would end here

    void Add(const char* line) {
        for (const char* p = line; *p != '\0'; ++p) {
            hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        }
        hash = (hash ^ 0x100u) * 1099511628211ull;
        ++lines;
    }
};

nimbrel::ChatClient client;

// Feeds `size` bytes in reads of at most `step` bytes, as recv would hand them over.
Digest Feed(const std::uint8_t* data, std::size_t size, std::size_t step) {
    nimbrel::LineBuffer buffer;
    Digest digest;
    for (std::size_t at = 0; at < size;) {
        int room = 0;
        char* area = buffer.ReadArea(room);
        if (room == 0) {
            digest.full = true;
            break;
        }
        std::size_t take = size - at < step ? size - at : step;
        if (take > static_cast<std::size_t>(room)) take = static_cast<std::size_t>(room);
        std::memcpy(area, data + at, take);
        buffer.Commit(static_cast<int>(take));
        at += take;
        while (char* line = buffer.NextLine()) {
            digest.Add(line);
            if (nimbrel::IsDigit(line[0])) client.DispatchEvent(line);
        }
    }
    return digest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t split = data[0];
    ++data;
    --size;
    const Digest whole = Feed(data, size, size == 0 ? 1 : size);
    const Digest bytes = Feed(data, size, 1);
    const Digest halves = Feed(data, size, split == 0 ? 1 : split);
    // A stream that fills the buffer with one partial line ends the connection; where it
    // does depends on the reads, so only streams that never do are compared.
    if (!whole.full && !bytes.full && !halves.full) {
        if (whole.hash != bytes.hash || whole.lines != bytes.lines) std::abort();
        if (whole.hash != halves.hash || whole.lines != halves.lines) std::abort();
    }
    return 0;
}
