// The event table and the dispatch of one event line to its handler.
#include "event_table.h"

#include <cstddef>
#include <cstring>

#include "event_parser.h"
#include "text.h"

namespace nimbrel {

namespace {

constexpr EventEntry kEvents[] = {
    {&ChatClient::OnEvent1001, 1001, false}, {&ChatClient::OnEvent1002, 1002, false},
    {&ChatClient::OnEvent1003, 1003, false}, {&ChatClient::OnEvent1004, 1004, false},
    {&ChatClient::OnEvent1005, 1005, false}, {&ChatClient::OnEvent1006, 1006, false},
    {&ChatClient::OnEvent1007, 1007, true},  {&ChatClient::OnEvent1009, 1009, false},
    {&ChatClient::OnEvent1010, 1010, false}, {&ChatClient::OnEvent1013, 1013, true},
    {&ChatClient::OnEvent1014, 1014, true},  {&ChatClient::OnEvent1015, 1015, true},
    {&ChatClient::OnEvent1018, 1018, true},  {&ChatClient::OnEvent1019, 1019, true},
    {&ChatClient::OnEvent1023, 1023, false}, {&ChatClient::OnEvent2010, 2010, false},
};

}  // namespace

const EventEntry* FindEvent(std::int32_t id) {
    for (const EventEntry& entry : kEvents) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

int DispatchLine(ChatClient& client, const char* line, std::size_t readable) {
    // Only lines that start with a decimal event ID are events; the rest, empty lines
    // included, is dropped without a word.
    if (!IsDigit(line[0])) return 0;
    EventRecord record;
    const EventEntry* entry = ParseLine(line, readable, record);
    if (entry == nullptr) {
        client.Log("Unhandled event ID %d", static_cast<int>(record.id));
        return 0;
    }
    (client.*entry->handler)(record.name, record.flags, record.text);
    return 1;
}

int ChatClient::DispatchEvent(const char* line) {
    return DispatchLine(*this, line, std::strlen(line) + 1);
}

}  // namespace nimbrel
