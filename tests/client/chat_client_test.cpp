// Construction and the logon settings.
#include "chat_client.h"

#include <gtest/gtest.h>

#include <string>

#include "support/recording_client.h"

namespace nimbrel {
namespace {

using test::RecordingClient;

TEST(ChatClient, StartsEmptyWithTheDefaultPort) {
    RecordingClient client;
    EXPECT_FALSE(client.LogOpen());
    EXPECT_EQ(client.Sock(), platform::kInvalidSocket);
    EXPECT_EQ(static_cast<long long>(client.Sock()) & 0xFFFF, 0xFFFF);  // all bits set
    for (const char* text : {client.LogonName(), client.UserName(), client.Password(),
                             client.Server(), client.HomeChannel(), client.Channel()}) {
        EXPECT_STREQ(text, "");
    }
    EXPECT_EQ(client.Port(), 6112);
}

TEST(ChatClient, LogonInfoSetsNameAndUserName) {
    RecordingClient client;
    client.SetHomeChannel("The Void");
    client.DispatchEvent("1007 C \"Lobby\"");
    client.SetLogonInfo("Guest", "Marlo", "chat.example", 0);
    EXPECT_STREQ(client.LogonName(), "Guest");
    EXPECT_STREQ(client.UserName(), "Guest");
    EXPECT_STREQ(client.Password(), "Marlo");
    EXPECT_STREQ(client.Server(), "chat.example");
    EXPECT_EQ(client.Port(), 0);  // no port is refused
    EXPECT_STREQ(client.HomeChannel(), "The Void");
    EXPECT_STREQ(client.Channel(), "Lobby");
}

class SettingLength : public ::testing::TestWithParam<int> {};

TEST_P(SettingLength, ValuesAreCutTo127Characters) {
    const std::string value(static_cast<std::size_t>(GetParam()), 'v');
    const std::string kept = value.substr(0, 127);
    RecordingClient client;
    client.SetLogonInfo(value.c_str(), value.c_str(), value.c_str(), 1);
    client.SetHomeChannel(value.c_str());
    for (const char* text : {client.LogonName(), client.UserName(), client.Password(),
                             client.Server(), client.HomeChannel()}) {
        EXPECT_EQ(std::string(text), kept);
    }
}

INSTANTIATE_TEST_SUITE_P(Edges, SettingLength, ::testing::Values(0, 126, 127, 128, 4096));

}  // namespace
}  // namespace nimbrel
