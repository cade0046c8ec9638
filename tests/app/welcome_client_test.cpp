// The greetings, through a client connected to a scripted server.
#include "welcome_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_sleep.h"
#include "support/script_server.h"

namespace nimbrel {
namespace {

using namespace test;

class Greeter : public WelcomeClient {
  public:
    const char* Channel() const { return channel; }
};

TEST(WelcomeClient, GreetsAndFollowsItsChannel) {
    Sleeps() = {};
    ScriptServer server;
    server.Run({Accept(), Expect("/join The Void\r\n"),
                SendBytes("1007 CHANNEL \"The Void\"\r\n1002 JOIN Alice 0010\r\n"),
                SendBytes("1007 CHANNEL \"Elsewhere\"\r\n"), Expect("Hi, all!\r\n"),
                Expect("Hi, all!\r\n"), Close()});
    Greeter client;
    client.SetLogonInfo("Guest", "Marlo", "127.0.0.1", server.Port());
    client.SetHomeChannel("The Void");
    ASSERT_EQ(client.ConnectAndLogon(), 1);
    client.ReceiveLoop();
    client.Disconnect();
    server.Finish();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    const std::string logon = "\x03\x04Guest\r\nMarlo\r\n/join The Void\r\n";
    EXPECT_EQ(server.Bytes(0), logon + "Hi, all!\r\nHi, Alice!\r\nHi, all!\r\n");
    EXPECT_STREQ(client.Channel(), "Elsewhere");
}

}  // namespace
}  // namespace nimbrel
