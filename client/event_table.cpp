// The event table and the dispatch of one event line to its handler.
#include "event_table.h"

namespace nimbrel {

namespace {

constexpr EventEntry kEvents[] = {
    {1001, &ChatClient::OnEvent1001, false}, {1002, &ChatClient::OnEvent1002, false},
    {1003, &ChatClient::OnEvent1003, false}, {1004, &ChatClient::OnEvent1004, false},
    {1005, &ChatClient::OnEvent1005, false}, {1006, &ChatClient::OnEvent1006, false},
    {1007, &ChatClient::OnEvent1007, true},  {1009, &ChatClient::OnEvent1009, false},
    {1010, &ChatClient::OnEvent1010, false}, {1013, &ChatClient::OnEvent1013, true},
    {1014, &ChatClient::OnEvent1014, true},  {1015, &ChatClient::OnEvent1015, true},
    {1018, &ChatClient::OnEvent1018, true},  {1019, &ChatClient::OnEvent1019, true},
    {1023, &ChatClient::OnEvent1023, false}, {2010, &ChatClient::OnEvent2010, false},
};

}  // namespace

const EventEntry* FindEvent(std::int32_t id) {
    for (const EventEntry& entry : kEvents) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

int ChatClient::DispatchEvent(const char* line) {
    EventRecord record;
    ParseEvent(line, record);
    const EventEntry* entry = FindEvent(record.id);
    if (entry == nullptr) {
        Log("Unhandled event ID %d", static_cast<int>(record.id));
        return 0;
    }
    (this->*entry->handler)(record.name, record.flags, record.text);
    return 1;
}

}  // namespace nimbrel
