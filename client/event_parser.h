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

}  // namespace nimbrel
