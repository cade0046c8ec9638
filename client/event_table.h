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

// ChatClient::DispatchEvent for a line in memory that goes on for `readable` bytes, as the
// read loop's buffer does.
int DispatchLine(ChatClient& client, const char* line, std::size_t readable);

}  // namespace nimbrel
