// Event line parsing: table-driven cases, and a comparison with the C library's scanf.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "chat_client.h"

namespace nimbrel {
namespace {

struct ParseCase {
    const char* label;
    std::string line;
    std::int32_t id;
    std::string name;
    std::uint32_t flags;
    std::string text;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.label; }

class ParseEventTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseEventTest, GivesTheFourFields) {
    const ParseCase& c = GetParam();
    EventRecord record;
    std::memset(&record, 0x5A, sizeof record);  // stale bytes must not leak through
    ASSERT_EQ(ChatClient::ParseEvent(c.line.c_str(), record), 1);
    EXPECT_EQ(record.id, c.id);
    EXPECT_EQ(std::string(record.name), c.name);
    EXPECT_EQ(record.flags, c.flags);
    EXPECT_EQ(std::string(record.text), c.text);
}

const std::string k127(127, 'n');
const std::string k255(255, 't');

// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, ParseEventTest, ::testing::Values(
    ParseCase{"JoinWithoutText", "1002 USER Alice 0010", 1002, "Alice", 0x10, ""},
    ParseCase{"CrStaysOutOfFlags", "1002 USER Alice 0010\r", 1002, "Alice", 0x10, ""},
    ParseCase{"TalkText", "1005 TALK Bob 0010 \"hello there\"\r", 1005, "Bob", 0x10, "hello there"},
    ParseCase{"ChannelIsTextOnly", "1007 CHANNEL \"The Void\"", 1007, "", 0, "The Void"},
    ParseCase{"TextOnlyIgnoresWords", "1007 a b 0010 c \"The Void\"\r", 1007, "", 0, "The Void"},
    ParseCase{"TextOnlyIds", "1019 w n 10 \"x\"", 1019, "", 0, "x"},
    ParseCase{"InnerQuotesCutAtLast", "1005 T n 1 \"a\"b\"", 1005, "n", 1, "a\"b"},
    ParseCase{"UnclosedTextKeepsCr", "1005 T n 1 \"open\r", 1005, "n", 1, "open\r"},
    ParseCase{"QuoteInName", "1002 W \"Al\" 2", 1002, "\"Al\"", 2, "Al"},
    ParseCase{"OnlyTheId", "1001", 1001, "", 0, ""},
    ParseCase{"IdAndWord", "1001 USER", 1001, "", 0, ""},
    ParseCase{"NoFlags", "1001 USER Al", 1001, "Al", 0, ""},
    ParseCase{"FlagsNotHex", "1002 USER Al zz", 1002, "Al", 0, ""},
    ParseCase{"FlagsHexPrefix", "1002 USER Al 0x1F", 1002, "Al", 0x1F, ""},
    ParseCase{"FlagsUpperPrefix", "1002 USER Al 0XaBc", 1002, "Al", 0xABC, ""},
    ParseCase{"FlagsPrefixOnly", "1002 USER Al 0x", 1002, "Al", 0, ""},
    ParseCase{"FlagsPrefixThenJunk", "1002 USER Al 0xg1", 1002, "Al", 0, ""},
    ParseCase{"FlagsStopAtNonHex", "1002 USER Al 12g4", 1002, "Al", 0x12, ""},
    ParseCase{"FlagsMinusWraps", "1002 USER Al -10", 1002, "Al", 0xFFFFFFF0u, ""},
    ParseCase{"FlagsPlus", "1002 USER Al +0x10", 1002, "Al", 0x10, ""},
    ParseCase{"FlagsSignOnly", "1002 USER Al -", 1002, "Al", 0, ""},
    ParseCase{"Flags32Bits", "1002 USER Al FFFFFFFF", 1002, "Al", 0xFFFFFFFFu, ""},
    ParseCase{"FlagsLeadingZeros", "1002 USER Al 000000000000001", 1002, "Al", 1, ""},
    ParseCase{"FlagsBeyond32Bits", "1002 USER Al 123456789", 1002, "Al", 0xFFFFFFFFu, ""},
    ParseCase{"FlagsBeyond32BitsNegative", "1002 USER Al -123456789", 1002, "Al", 0xFFFFFFFFu, ""},
    ParseCase{"OtherWhiteSpace", "\t\v1002\fUSER\rAl\t\t10", 1002, "Al", 0x10, ""},
    ParseCase{"LeadingBlanks", "   1002 USER Al 1", 1002, "Al", 1, ""},
    ParseCase{"PlusId", "+1002 USER Al 1", 1002, "Al", 1, ""},
    ParseCase{"MinusId", "-1002 USER Al 1", -1002, "Al", 1, ""},
    ParseCase{"SignWithoutDigits", "- 1002 USER Al 1", 0, "", 0, ""},
    ParseCase{"NoNumber", "hello \"x\"", 0, "", 0, "x"},
    ParseCase{"EmptyLine", "", 0, "", 0, ""},
    ParseCase{"IdGluedToWord", "1002USER Al 1", 1002, "Al", 1, ""},
    ParseCase{"IdMax", "2147483647 W n 1", 2147483647, "n", 1, ""},
    ParseCase{"IdMin", "-2147483648 W n 1", INT32_MIN, "n", 1, ""},
    ParseCase{"IdSaturatesHigh", "99999999999 W n 1", 2147483647, "n", 1, ""},
    ParseCase{"IdSaturatesLow", "-99999999999 W n 1", INT32_MIN, "n", 1, ""},
    ParseCase{"HighBytesAreNotSpace", "1002 \xA0\xFF \xE9t\xE9 1", 1002, "\xE9t\xE9", 1, ""},
    ParseCase{"Name127", "1002 W " + k127 + " 1", 1002, k127, 1, ""},
    ParseCase{"Name128CutAndSkipped", "1002 W " + k127 + "XYZ 7", 1002, k127, 7, ""},
    ParseCase{"LongDiscardedWord", "1002 " + std::string(5000, 'w') + " Al 3", 1002, "Al", 3, ""},
    ParseCase{"Text255", "1005 T n 1 \"" + k255 + "\"", 1005, "n", 1, k255},
    ParseCase{"Text255NoQuote", "1005 T n 1 \"" + k255, 1005, "n", 1, k255},
    ParseCase{"Text256CutBeforeQuote", "1005 T n 1 \"" + k255 + "u\"", 1005, "n", 1, k255},
    ParseCase{"CloseBeyond255UsesLastInside", "1005 T n 1 \"ab\"" + k255 + "\"", 1005, "n", 1, "ab"},
    ParseCase{"EmptyText", "1005 T n 1 \"\"", 1005, "n", 1, ""},
    ParseCase{"LoneQuote", "1005 T n 1 \"", 1005, "n", 1, ""}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.label); });
// clang-format on

TEST(ParseEvent, StopsAtTheLineNul) {
    const char bytes[] = "1002 W Al\0ice 10 \"x\"";
    EventRecord record;
    ChatClient::ParseEvent(bytes, record);
    EXPECT_EQ(record.id, 1002);
    EXPECT_STREQ(record.name, "Al");
    EXPECT_EQ(record.flags, 0u);
    EXPECT_STREQ(record.text, "");
}

// What the standard library's scan gives for a line, in the fields the parser fills.
EventRecord ScanfReference(const char* line) {
    EventRecord expected{};
    expected.id = static_cast<std::int32_t>(std::strtol(line, nullptr, 10));
    static const int kTextOnly[] = {1007, 1013, 1014, 1015, 1018, 1019};
    bool textOnly = false;
    for (int id : kTextOnly) textOnly = textOnly || expected.id == id;
    if (!textOnly) {
        // The generated lines are far shorter than a field, so the widths never cut.
        char word[kNameSize];
        unsigned flags = 0;
        int id = expected.id;
        if (std::sscanf(line, "%d %127s %127s %x", &id, word, expected.name, &flags) >= 1) {
            expected.id = id;
        }
        expected.flags = flags;
    }
    if (const char* quote = std::strchr(line, '"')) {
        std::strncpy(expected.text, quote + 1, sizeof expected.text);
        expected.text[sizeof expected.text - 1] = '\0';
        if (char* last = std::strrchr(expected.text, '"')) *last = '\0';
    }
    return expected;
}

// Lines made of the bytes that matter to the scan: digits, hex letters, signs, x, quotes
// and every kind of white space. Number runs stay short enough for scanf to be defined.
TEST(ParseEvent, AgreesWithScanfOnGeneratedLines) {
    std::mt19937 random(20261206);
    const char alphabet[] = "0123456789abcdefxXgG+-\" \t\r\v\f_1002107";
    for (int round = 0; round < 20000; ++round) {
        std::string line = round % 2 == 0 ? "100" : "";
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) line += alphabet[random() % (sizeof alphabet - 1)];
        int run = 0;
        bool tooLong = false;
        for (char c : line) {
            run = std::isxdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
            tooLong = tooLong || run > 7;
        }
        if (tooLong) continue;
        const EventRecord expected = ScanfReference(line.c_str());
        EventRecord actual;
        ChatClient::ParseEvent(line.c_str(), actual);
        ASSERT_EQ(actual.id, expected.id) << '[' << line << ']';
        ASSERT_STREQ(actual.name, expected.name) << '[' << line << ']';
        ASSERT_EQ(actual.flags, expected.flags) << '[' << line << ']';
        ASSERT_STREQ(actual.text, expected.text) << '[' << line << ']';
    }
}

}  // namespace
}  // namespace nimbrel
