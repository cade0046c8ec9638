// Dispatch of event lines to the handler table, through a client that records each call.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chat_client.h"
#include "support/recording_client.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

using test::RecordingClient;

struct Route {
    std::int32_t id;
    int slot;
    bool textOnly;
};

class DispatchRouteTest : public ::testing::TestWithParam<Route> {};

TEST_P(DispatchRouteTest, ReachesItsSlotWithTheParsedFields) {
    const Route& r = GetParam();
    RecordingClient client;
    const std::string line = std::to_string(r.id) + " WORD Alice 0010 \"some text\"\r";
    EXPECT_EQ(client.DispatchEvent(line.c_str()), 1);
    ASSERT_EQ(client.calls.size(), 1u);
    EXPECT_EQ(client.calls[0].slot, r.slot);
    EXPECT_EQ(client.calls[0].name, r.textOnly ? "" : "Alice");
    EXPECT_EQ(client.calls[0].flags, r.textOnly ? 0u : 0x10u);
    EXPECT_EQ(client.calls[0].text, "some text");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(EventTable, DispatchRouteTest, ::testing::Values(
    Route{1001, 1, false}, Route{1002, 2, false}, Route{1009, 3, false}, Route{1003, 4, false},
    Route{1005, 5, false}, Route{1006, 6, false}, Route{1007, 7, true}, Route{1004, 8, false},
    Route{1010, 9, false}, Route{1023, 10, false}, Route{1013, 11, true}, Route{1014, 12, true},
    Route{1015, 13, true}, Route{1018, 14, true}, Route{1019, 15, true}, Route{2010, 16, false}),
    [](const ::testing::TestParamInfo<Route>& p) { return std::to_string(p.param.id); });
// clang-format on

class UnhandledIdTest : public ::testing::TestWithParam<const char*> {};

TEST_P(UnhandledIdTest, IsLoggedAndCallsNoHandler) {
    test::TempDir dir;
    const std::string path = dir.File("events.log");
    RecordingClient client;
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    const std::string line = std::string(GetParam()) + " WORD Alice 0010";
    EXPECT_EQ(client.DispatchEvent(line.c_str()), 0);
    client.CloseLog();
    EXPECT_TRUE(client.calls.empty());
    char expected[64];
    std::snprintf(expected, sizeof expected, "Unhandled event ID %d\r\n",
                  static_cast<int>(std::strtoll(GetParam(), nullptr, 10)));
    EXPECT_EQ(test::ReadFile(path), expected);
}

INSTANTIATE_TEST_SUITE_P(Ids, UnhandledIdTest,
                         ::testing::Values("1008", "1011", "1012", "1016", "1017", "1020", "1021",
                                           "1022", "1000", "1024", "2009", "2011", "0", "-1002",
                                           "2147483647"));

TEST(Dispatch, NonNumericLineIsEventZero) {
    test::TempDir dir;
    const std::string path = dir.File("events.log");
    RecordingClient client;
    client.OpenLog(path.c_str());
    EXPECT_EQ(client.DispatchEvent("hello 1002 x y"), 0);
    client.CloseLog();
    EXPECT_EQ(test::ReadFile(path), "Unhandled event ID 0\r\n");
}

TEST(Dispatch, UnhandledIdWithoutLogIsQuiet) {
    RecordingClient client;
    EXPECT_EQ(client.DispatchEvent("1008 W n 1"), 0);
    EXPECT_TRUE(client.calls.empty());
}

TEST(Dispatch, ClientFollowsItsChannelAndName) {
    RecordingClient client;
    client.SetLogonInfo("Guest", "pw", "127.0.0.1", 6112);
    client.DispatchEvent("1007 CHANNEL \"The Void\"\r");
    EXPECT_STREQ(client.Channel(), "The Void");
    EXPECT_STREQ(client.UserName(), "Guest");
    client.DispatchEvent("2010 NAME Guest#2 0000\r");
    EXPECT_STREQ(client.UserName(), "Guest#2");
    client.DispatchEvent("1007 CHANNEL \"Elsewhere\"");
    EXPECT_STREQ(client.Channel(), "Elsewhere");
    EXPECT_STREQ(client.UserName(), "Guest#2");
    EXPECT_STREQ(client.LogonName(), "Guest");
}

TEST(Dispatch, LongChannelTextIsCutToTheField) {
    RecordingClient client;
    const std::string line = "1007 C \"" + std::string(255, 'c') + "\"";
    client.DispatchEvent(line.c_str());
    EXPECT_EQ(std::string(client.Channel()), std::string(127, 'c'));
    EXPECT_EQ(client.calls.at(0).text, std::string(255, 'c'));
}

// The plain client's defaults: only 1007 and 2010 change anything.
TEST(Dispatch, BaseClientHandlesEveryKnownId) {
    ChatClient client;
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1009, 1010, 1013, 1014, 1015, 1018,
                   1019, 1023, 2010}) {
        const std::string line = std::to_string(id) + " W n 1 \"t\"";
        EXPECT_EQ(client.DispatchEvent(line.c_str()), 1) << id;
    }
}

}  // namespace
}  // namespace nimbrel
