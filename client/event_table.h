// The event table: which handler slot receives each known event ID.
#pragma once

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

// ChatClient::ParseEvent, which also gives the entry of the line's ID, or null.
const EventEntry* ParseLine(const char* line, EventRecord& record);

}  // namespace nimbrel
