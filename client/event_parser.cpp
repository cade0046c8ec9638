// Splits one server line into an EventRecord.
//
// An event line reads as the scanf pattern "%d %s %s %x" (ID, a discarded word, name,
// flags), followed by an optional text between the first and the last double quote. The
// scan is written out by hand so that no line, of any length or byte value, can overrun
// a field or reach an undefined conversion, while giving what that pattern gives.
#include <cstdint>

#include "chat_client.h"
#include "event_table.h"
#include "text.h"

namespace nimbrel {

namespace {

// White space as isspace defines it in the C locale, without its locale or its
// undefined behaviour for negative char values.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

const char* SkipSpace(const char* p) {
    while (IsSpace(*p)) ++p;
    return p;
}

// "%d": white space, an optional sign, at least one decimal digit. A value beyond 32 bits
// saturates at INT32_MAX or INT32_MIN, as strtol does where long has 32 bits. Returns
// the position after the number, or null (and `value` untouched) when there is none.
const char* ScanDecimal(const char* p, std::int32_t& value) {
    p = SkipSpace(p);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (!IsDigit(*p)) return nullptr;
    const std::uint32_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint32_t magnitude = 0;
    for (; IsDigit(*p); ++p) {
        const auto digit = static_cast<std::uint32_t>(*p - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    const std::int64_t signedValue = negative ? -static_cast<std::int64_t>(magnitude) : magnitude;
    value = static_cast<std::int32_t>(signedValue);
    return p;
}

// "%s": white space, then a run of other bytes; at most size - 1 of them are kept and the
// rest of the run is skipped, so the next token is still the next one. Null `target`
// discards the word. Returns the position after the word, or null at the end of the line.
const char* ScanWord(const char* p, char* target, int size) {
    p = SkipSpace(p);
    if (*p == '\0') return nullptr;
    int kept = 0;
    for (; *p != '\0' && !IsSpace(*p); ++p) {
        if (target != nullptr && kept + 1 < size) target[kept++] = *p;
    }
    if (target != nullptr) target[kept] = '\0';
    return p;
}

// "%x": white space, an optional sign, an optional 0x or 0X, hexadecimal digits; a minus
// negates modulo 2^32. A value beyond 32 bits gives 0xFFFFFFFF, as strtoul does where long
// has 32 bits. Without a digit `value` is left as it is.
void ScanHex(const char* p, std::uint32_t& value) {
    p = SkipSpace(p);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    bool digits = false;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        digits = true;  // the 0 alone is a number when no hex digit follows the x
        p += 2;
    }
    std::uint32_t magnitude = 0;
    bool overflow = false;
    for (int digit = HexValue(*p); digit >= 0; digit = HexValue(*++p)) {
        digits = true;
        overflow = overflow || magnitude > 0x0FFFFFFFu;
        magnitude = magnitude << 4 | static_cast<std::uint32_t>(digit);
    }
    if (!digits) return;
    if (overflow) {
        value = 0xFFFFFFFFu;
    } else {
        value = negative ? 0u - magnitude : magnitude;
    }
}

}  // namespace

int ChatClient::ParseEvent(const char* line, EventRecord& record) {
    record.id = 0;
    record.name[0] = '\0';
    record.flags = 0;
    record.text[0] = '\0';

    // The scan stops at the first conversion that fails; later fields keep their defaults.
    const char* p = ScanDecimal(line, record.id);
    const EventEntry* entry = FindEvent(record.id);
    if (p != nullptr && (entry == nullptr || !entry->textOnly)) {
        p = ScanWord(p, nullptr, 0);
        if (p != nullptr) p = ScanWord(p, record.name, kNameSize);
        if (p != nullptr) ScanHex(p, record.flags);
    }

    // The text runs from the first double quote to the last one within its 255 characters;
    // without a closing quote it runs to the end of the line, CR included.
    const char* quote = line;
    while (*quote != '\0' && *quote != '"') ++quote;
    if (*quote == '"') {
        int length = 0;
        for (const char* q = quote + 1; *q != '\0' && length < kTextSize - 1; ++q) {
            record.text[length++] = *q;
        }
        record.text[length] = '\0';
        for (int i = length - 1; i >= 0; --i) {
            if (record.text[i] == '"') {
                record.text[i] = '\0';
                break;
            }
        }
    }
    return 1;
}

}  // namespace nimbrel
