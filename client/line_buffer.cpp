// Line framing for the read loop.
#include "line_buffer.h"

#include <cstring>

namespace nimbrel {

char* LineBuffer::ReadArea(int& room) {
    if (kReceiveBufferSize - start_ - count_ == 0) {
        std::memmove(bytes_, bytes_ + start_, static_cast<std::size_t>(count_));
        start_ = 0;
    }
    room = kReceiveBufferSize - start_ - count_;
    return bytes_ + start_ + count_;
}

void LineBuffer::Commit(int received) { count_ += received; }

char* LineBuffer::NextLine(std::size_t& readable) {
    if (count_ == 0) return nullptr;
    char* line = bytes_ + start_;
    auto* end = static_cast<char*>(std::memchr(line, '\n', static_cast<std::size_t>(count_)));
    if (end == nullptr) return nullptr;
    *end = '\0';
    const int consumed = static_cast<int>(end - line) + 1;
    start_ += consumed;
    count_ -= consumed;
    if (count_ == 0) start_ = 0;
    readable = static_cast<std::size_t>(bytes_ + kReceiveBufferSize - line);
    return line;
}

}  // namespace nimbrel
