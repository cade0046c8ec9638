// Event lines: the parse against the C library's sscanf and where the project's own rules
// decide, and the dispatch of each ID to its handler.
#include "support/harness.h"

namespace nimbrel {

extern "C" int FuzzReadLoop(const uint8_t* bytes, size_t size);

// A stream of lines of the bytes that matter to the scan (a control byte that is no white
// space, bytes above 127, blanks, then the rest of white space), every fourth an ID and words
// between blanks, as servers send, through the fuzz target, which holds each line to sscanf
// wherever that is defined. Then rows where sscanf is undefined, or where the random lines
// seldom go: a line, and "id:name:flags:text".
TEST(ParseEvent, AgreesWithScanfAndTheRulesBeyondIt) {
    std::mt19937 random(20261206);
    const char alphabet[] = "0123456789abcdefABCDEFxXgG:@+-\"\xA0\xFF\x01_1002107      \t\r\v\f";
    std::string stream = "@";  // read 65 bytes at a time
    for (int round = 0; round < 20000; ++round, stream += '\n') {
        const bool usual = round % 4 == 1;
        stream += usual ? std::to_string(995 + random() % 32) + ' ' : round % 2 ? "" : "100";
        for (auto i = random() % 40; i > 0; --i)
            stream += alphabet[random() % (sizeof alphabet - (usual ? 5 : 1))];
    }
    EXPECT_EQ(FuzzReadLoop(reinterpret_cast<const uint8_t*>(stream.data()), stream.size()), 0);
    const std::string k127(127, 'n'), k255(255, 't');
    const struct {
        const char* label;
        std::string line, fields;
    } rows[] = {
        // Two blanks keep it off the usual line's path, whose flags have at most eight digits.
        {"EightHexDigitsFitTheFlags", "1002 W  n fffffff0", "1002:n:4294967280:"},
        {"NineHexDigitsFrom0x100000000OverflowTheFlags", "1 W n 100000000", "1:n:4294967295:"},
        {"AnIdBeyond32BitsSaturates", "2147483648 W n 1", "2147483647:n:1:"},
        {"AnIdBelow32BitsSaturates", "-99999999999 W n 1", "-2147483648:n:1:"},
        {"LongTokensAreCutTo127AndSkipped", "1 " + std::string(5000, 'w') + " " + k127 + "X 1",
         "1:" + k127 + ":1:"},
        {"TheTextIsCutTo255BeforeTheQuoteSearch", "5 T n 1 \"" + k255 + "u\"", "5:n:1:" + k255},
        {"AClosingQuoteBeyond255EndsAtTheLastWithin", "5 T n 1 \"ab\"" + k255 + "\"", "5:n:1:ab"},
    };
    for (const auto& row : rows) EXPECT_EQ(test::Parsed(row.line.c_str()), row.fields) << row.label;
}

// Text-only IDs take no name or flags; without a connection the 1005's reply is not sent. An
// ID without a handler reaches none, and is logged; a line without an ID is dropped unlogged.
TEST(DispatchEvent, EachKnownIdReachesItsOwnHandlerAndAnUnknownOneNone) {
    test::TempDir dir;
    test::RecordingClient client;
    client.OpenLog(dir.File("log").c_str());
    std::string trace;
    for (const int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1009, 1010, 1013, 1014, 1015,
                         1018, 1019, 1023, 2010}) {
        EXPECT_EQ(client.DispatchEvent((std::to_string(id) + " W Al 10 \"a b\"").c_str()), 1);
        const bool textOnly = id == 1007 || (id >= 1013 && id <= 1019);
        trace += test::Fields(id, textOnly ? "" : "Al", textOnly ? 0 : 16, "a b") + ';';
        trace += id == 1005 ? "unsent;" : "";
    }
    for (const char* unknown : {"1008 W n 0", "0", "2147483647 W n 0", "hello", ""})
        EXPECT_EQ(client.DispatchEvent(unknown), 0);
    EXPECT_EQ(client.trace, trace);
    EXPECT_EQ(
        test::ReadFile(dir.File("log")),
        "Unhandled event ID 1008\r\nUnhandled event ID 0\r\nUnhandled event ID 2147483647\r\n");
}

}  // namespace nimbrel
