// LineBuffer: cuts the server's byte stream into lines, in place, without allocating.
//
// The server may split a line across reads or put several lines in one read, so bytes
// wait here until their LF arrives. The buffer keeps `start`, the offset of the first
// byte not yet consumed, and `count`, the number of bytes not yet consumed. Unconsumed
// bytes move to the front only when the free tail is used up, not after every line.
#pragma once

#include <cstddef>

#include "chat_client.h"

namespace nimbrel {

class LineBuffer {
  public:
    // Where the next read goes and how many bytes it may take. A partial line that fills
    // the whole buffer leaves no room (0).
    char* ReadArea(int& room);
    // Takes `received` bytes, just read into the read area.
    void Commit(int received);
    // The next complete line with its LF replaced by NUL (a CR before it stays), or null
    // when only a partial line, or nothing, is left. A line stays intact until the next
    // ReadArea. The buffer's memory goes on for `readable` bytes from the line, its NUL and
    // beyond: the parser may read them a word at a time.
    char* NextLine(std::size_t& readable);

  private:
    // Zeros at first, so that the bytes after a line are never indeterminate.
    char bytes_[kReceiveBufferSize] = {};
    int start_ = 0;
    int count_ = 0;
};

}  // namespace nimbrel
