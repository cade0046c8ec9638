// The parse of one event line, for the dispatch, which needs the table entry the parse
// found, and for the read loop, whose buffer lets the parse read on past a line's end.
#pragma once

#include <cstddef>

#include "chat_client.h"
#include "event_table.h"

namespace nimbrel {

// ChatClient::ParseEvent, which also gives the entry of the line's ID, or null. `readable`
// bytes from `line` may be read, its NUL at least: the usual line is read a word at a time.
const EventEntry* ParseLine(const char* line, std::size_t readable, EventRecord& record);

// The line that servers send: "<id> <word> <name> <flags>" with single blanks, within the
// first 32 bytes and followed by white space or the line's end; the ID of 1 to 9 decimal
// digits, the flags of 1 to 8 hexadecimal ones. Fills `record`'s ID, name and flags as the
// byte-wise scan would; false for a line of any other shape, which ParseLine then scans a
// byte at a time, and always on a big-endian machine. `readable` bytes from `line` may be
// read: what follows its NUL changes nothing.
bool ScanUsual(const char* line, std::size_t readable, EventRecord& record);

}  // namespace nimbrel
