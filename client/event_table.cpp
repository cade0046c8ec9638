// The event table and the dispatch of one event line to its handler.
#include "event_table.h"

#include <array>
#include <cstddef>
#include <iterator>

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

// Every ID in the table lies in 1001..1023 but the last, so a line's entry is found by
// indexing, not by searching: the read path looks up every line it receives.
constexpr std::int32_t kFirst = 1001;
constexpr std::array<std::int8_t, 23> kSlot = [] {
    std::array<std::int8_t, 23> slots{};
    for (auto& slot : slots) slot = -1;
    for (std::size_t i = 0; i + 1 < std::size(kEvents); ++i)
        slots[static_cast<std::size_t>(kEvents[i].id - kFirst)] = static_cast<std::int8_t>(i);
    return slots;
}();

}  // namespace

const EventEntry* FindEvent(std::int32_t id) {
    const auto offset = static_cast<std::uint32_t>(id) - static_cast<std::uint32_t>(kFirst);
    if (offset < kSlot.size()) return kSlot[offset] < 0 ? nullptr : &kEvents[kSlot[offset]];
    const EventEntry& last = kEvents[std::size(kEvents) - 1];
    return id == last.id ? &last : nullptr;
}

int ChatClient::DispatchEvent(const char* line) {
    EventRecord record;
    const EventEntry* entry = ParseLine(line, record);
    if (entry == nullptr) {
        Log("Unhandled event ID %d", static_cast<int>(record.id));
        return 0;
    }
    (this->*entry->handler)(record.name, record.flags, record.text);
    return 1;
}

}  // namespace nimbrel
