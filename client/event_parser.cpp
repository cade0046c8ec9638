// Splits one server line into an EventRecord.
//
// An event line reads as the scanf pattern "%d %s %s %x" (ID, a discarded word, name,
// flags), followed by an optional text between the first and the last double quote. The
// scan is written out by hand so that no line, of any length or byte value, can overrun
// a field or reach an undefined conversion, while giving what that pattern gives. Every
// line the server sends is scanned: the usual ones are read without a branch for each byte.
#include "event_parser.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chat_client.h"
#include "text.h"

namespace nimbrel {

namespace {

// What each byte is to the scan, as the C locale's isspace and isxdigit see it, without
// their locale or their undefined behaviour for negative char values: the hexadecimal
// digit's value, or one of the marks below. Every byte of every line is read through it.
constexpr std::int8_t kOther = -1;  // any other byte: part of a word
constexpr std::int8_t kSpace = -2;  // white space: between words
constexpr std::int8_t kEnd = -3;    // the NUL at the end of the line
constexpr std::array<std::int8_t, 256> kClass = [] {
    std::array<std::int8_t, 256> classes{};
    for (auto& c : classes) c = kOther;
    for (int digit = 0; digit < 16; ++digit) {
        classes["0123456789abcdef"[digit]] = static_cast<std::int8_t>(digit);
        classes["0123456789ABCDEF"[digit]] = static_cast<std::int8_t>(digit);
    }
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        classes[static_cast<unsigned char>(c)] = kSpace;
    classes[0] = kEnd;
    return classes;
}();

int Class(char c) { return kClass[static_cast<unsigned char>(c)]; }

const char* SkipSpace(const char* p) {
    while (Class(*p) == kSpace) ++p;
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
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    std::uint64_t magnitude = 0;  // at most limit * 10 + 9 before it is held at the limit
    for (; IsDigit(*p); ++p) {
        if (magnitude <= limit) magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    magnitude = std::min(magnitude, limit);
    const auto signedValue =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    value = static_cast<std::int32_t>(signedValue);
    return p;
}

// "%s": white space, then a run of other bytes; at most size - 1 of them are kept and the
// rest of the run is skipped, so the next token is still the next one. Null `target`
// discards the word. Returns the position after the word, or null at the end of the line.
const char* ScanWord(const char* p, char* target, int size) {
    p = SkipSpace(p);
    if (*p == '\0') return nullptr;
    // Copied while scanned: names are short, and a memcpy of a few bytes costs more.
    char* const full = target != nullptr ? target + size - 1 : nullptr;
    for (; Class(*p) > kSpace; ++p) {
        if (target < full) *target++ = *p;
    }
    if (target != nullptr) *target = '\0';
    return p;
}

// "%x": white space, an optional sign, an optional 0x or 0X, hexadecimal digits; a minus
// negates modulo 2^32. A value beyond 32 bits gives 0xFFFFFFFF, as strtoul does where long
// has 32 bits. Without a digit `value` is left as it is. Returns the position after it.
const char* ScanHex(const char* p, std::uint32_t& value) {
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
    for (int digit = Class(*p); digit >= 0; digit = Class(*++p)) {
        digits = true;
        overflow = overflow || magnitude > 0x0FFFFFFFu;
        magnitude = magnitude << 4 | static_cast<std::uint32_t>(digit);
    }
    if (digits) value = overflow ? 0xFFFFFFFFu : negative ? 0u - magnitude : magnitude;
    return p;
}

// The text: from the first double quote to the last one within its 255 characters; without
// a closing quote it runs to the end of the line, CR included.
void ScanText(const char* line, EventRecord& record) {
    const char* quote = std::strchr(line, '"');
    if (quote == nullptr) return;
    // At most 255 bytes, up to the line's end; the closing quote lies near the end.
    const auto* copied =
        static_cast<const char*>(memccpy(record.text, quote + 1, '\0', kTextSize - 1));
    char* last =
        copied != nullptr ? record.text + (copied - record.text) - 1 : record.text + kTextSize - 1;
    *last = '\0';
    while (last > record.text && *--last != '"') {
    }
    if (*last == '"') *last = '\0';
}

// The line that servers send: "<id> <word> <name> <flags>" with single blanks, within the
// first 32 bytes and followed by white space or the line's end; the ID of 1 to 9 decimal
// digits, the flags of 1 to 8 hexadecimal ones. Fills `record`'s ID, name and flags as the
// byte-wise scan would; false for a line of any other shape, which ParseLine then scans a
// byte at a time. `readable` bytes from `line` may be read: what follows its NUL changes
// nothing. Reads without a branch for each byte: the word-wide steps below hold only where
// the first byte in memory is the lowest of a word, and need gcc's or clang's count of
// trailing zeros. Elsewhere, or built with NIMBREL_BYTE_SCAN, every line is scanned a byte
// at a time, with the same results.
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && \
    !defined(NIMBREL_BYTE_SCAN)
bool ScanUsual(const char* line, std::size_t readable, EventRecord& record) {
    char copy[64] = {};  // zeros after the line's memory read as its end
    const char* head = line;
    if (readable < sizeof copy) head = static_cast<const char*>(std::memcpy(copy, line, readable));
    // A bit for each of the first 32 bytes that lies below '!': white space, the NUL and the
    // other control bytes. Exact for each byte, as no carry crosses from one to the next.
    std::uint32_t low = 0;
    for (unsigned at = 0; at < 32; at += 8) {
        constexpr std::uint64_t kBytes = 0x0101010101010101u;
        std::uint64_t chunk;
        std::memcpy(&chunk, head + at, sizeof chunk);
        const std::uint64_t tops =
            ~(((chunk & kBytes * 0x7F) + kBytes * 0x5F) | chunk) & kBytes * 0x80;
        low |= static_cast<std::uint32_t>((tops >> 7) * 0x0102040810204080u >> 56) << at;
    }
    unsigned gaps[4];  // where the ID, the word, the name and the flags end
    for (unsigned& gap : gaps) {
        if (low == 0) return false;
        gap = static_cast<unsigned>(__builtin_ctz(low));
        low &= low - 1;
    }
    if (gaps[0] == 0 || gaps[0] > 9 || gaps[1] == gaps[0] + 1 || gaps[2] == gaps[1] + 1 ||
        gaps[3] == gaps[2] + 1 || gaps[3] > gaps[2] + 9 || head[gaps[0]] != ' ' ||
        head[gaps[1]] != ' ' || head[gaps[2]] != ' ' || Class(head[gaps[3]]) > kSpace) {
        return false;
    }
    std::int32_t id = 0;
    for (unsigned at = 0; at < gaps[0]; ++at) {
        if (!IsDigit(head[at])) return false;
        id = id * 10 + (head[at] - '0');
    }
    std::uint32_t flags = 0;
    for (unsigned at = gaps[2] + 1; at < gaps[3]; ++at) {
        if (Class(head[at]) < 0) return false;
        flags = flags << 4 | static_cast<std::uint32_t>(Class(head[at]));
    }
    record.id = id;
    record.flags = flags;
    std::memcpy(record.name, head + gaps[1] + 1, 32);  // the name, and what follows it
    record.name[gaps[2] - gaps[1] - 1] = '\0';
    return true;
}
#else
bool ScanUsual(const char*, std::size_t, EventRecord&) { return false; }
#endif

}  // namespace

int ChatClient::ParseEvent(const char* line, EventRecord& record) {
    ParseLine(line, std::strlen(line) + 1, record);
    return 1;
}

const EventEntry* ParseLine(const char* line, std::size_t readable, EventRecord& record) {
    record.id = 0;
    record.name[0] = '\0';
    record.flags = 0;
    record.text[0] = '\0';

    const EventEntry* entry = nullptr;
    if (ScanUsual(line, readable, record)) {
        entry = FindEvent(record.id);
        if (entry != nullptr && entry->textOnly) {  // they carry the text alone
            record.name[0] = '\0';
            record.flags = 0;
        }
    } else {
        // The scan stops at the first conversion that fails; later fields keep their defaults.
        const char* p = ScanDecimal(line, record.id);
        entry = FindEvent(record.id);
        if (p != nullptr && (entry == nullptr || !entry->textOnly)) {
            p = ScanWord(p, nullptr, 0);
            if (p != nullptr) p = ScanWord(p, record.name, kNameSize);
            if (p != nullptr) ScanHex(p, record.flags);
        }
    }
    ScanText(line, record);
    return entry;
}

}  // namespace nimbrel
