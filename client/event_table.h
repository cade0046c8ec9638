// The event table: which handler slot receives each known event ID.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chat_client.h"

namespace nimbrel {

using EventHandler = int (ChatClient::*)(const char* name, std::uint32_t flags, const char* text);

struct EventEntry {
    EventHandler handler;  // reached through the client's handler table, so overrides get it
    std::int32_t id;
    bool textOnly;  // the line carries only a quoted text: no name or flags are read
};

// The entry for `id`, or null for an ID without a handler.
const EventEntry* FindEvent(std::int32_t id);

// ChatClient::ParseEvent, which also gives the entry of the line's ID, or null. `readable`
// bytes from `line` may be read, its NUL at least: the scan takes them a word at a time.
const EventEntry* ParseLine(const char* line, std::size_t readable, EventRecord& record);

// ParseLine's path for the line that servers send: "<id> <word> <name> <flags>" with single
// blanks, within the first 32 bytes and followed by white space or the line's end; the ID of
// 1 to 9 decimal digits, the flags of 1 to 8 hexadecimal ones. Fills `record`'s ID, name and
// flags as the byte-wise scan would and gives the position after the flags; null for a line
// of any other shape. `readable` bytes from `line` may be read, as for ParseLine.
const char* ScanUsual(const char* line, std::size_t readable, EventRecord& record);

// ChatClient::DispatchEvent for a line in memory that goes on for `readable` bytes, as the
// read loop's buffer does.
int DispatchLine(ChatClient& client, const char* line, std::size_t readable);

}  // namespace nimbrel
