// The real nimbrel executable against a scripted server on 127.0.0.1:6112. Each test runs
// in a private network namespace, so the fixed port never collides with anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/private_network.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

using namespace std::chrono_literals;
using namespace test;

const std::string kLogon =
    "\x03\x04"
    "Guest\r\nMarlo\r\n";
const std::string kJoin = "/join The Void\r\n";
const std::string kGiveUp = "Unable to log on after 10 tries - giving up.\r\n";

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

// The log's lines; each must end in CR LF, so a lone LF shows up as a broken line.
std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = log.find("\r\n", from)) != std::string::npos; from = at + 2) {
        lines.push_back(log.substr(from, at - from));
    }
    if (from != log.size()) lines.push_back("unterminated: " + log.substr(from));
    return lines;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { NIMBREL_ENTER_PRIVATE_NETWORK(); }

    std::unique_ptr<ChildProcess> StartBot(const std::vector<std::string>& args = {},
                                           const std::vector<std::string>& environment = {}) {
        auto bot = std::make_unique<ChildProcess>(NIMBREL_EXE, args, dir.Path().string(),
                                                  dir.File("stdout"), environment);
        EXPECT_TRUE(bot->Started());
        return bot;
    }
    std::string Log() const { return ReadFile(dir.File("nimbrel.log")); }

    TempDir dir;
};

class Arguments : public EndToEnd,
                  public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(Arguments, LogOnThenJoinASecondLater) {
    ScriptServer server(6112);
    ASSERT_TRUE(server.Listening());
    server.Run({Accept(), Expect(kLogon + kJoin), Pause(200), Close()});
    auto bot = StartBot(GetParam());
    server.Finish();
    bot->Stop();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    EXPECT_EQ(server.Bytes(0), kLogon + kJoin);
    const auto arrivals = server.Arrivals();
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_GE(arrivals[1].at - arrivals[0].at, 900ms);
    EXPECT_LE(arrivals[1].at - arrivals[0].at, 5000ms);
    EXPECT_EQ(ReadFile(dir.File("stdout")), "");
}

INSTANTIATE_TEST_SUITE_P(Ignored, Arguments,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--server", "10.0.0.1", "-p",
                                                                    "1"},
                                           std::vector<std::string>{"%s%n", ""}));

struct Exchange {
    const char* label;
    std::string lines;  // what the server sends after the join
    std::string reply;  // what the bot sends back, before its greeting of the sentinel
};

class Replies : public EndToEnd, public ::testing::WithParamInterface<Exchange> {};

// After the lines of the case the server announces "End": the bot's bytes up to its
// greeting of End are exactly its replies to the case, so silence is seen too.
TEST_P(Replies, AreExactlyTheseBytes) {
    ScriptServer server(6112);
    ASSERT_TRUE(server.Listening());
    server.Run({Accept(), Expect(kJoin), SendBytes(GetParam().lines),
                SendBytes("1002 JOIN End 0000\r\n"), Expect("Hi, End!\r\n"), Close()});
    auto bot = StartBot();
    server.Finish();
    bot->Stop();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    EXPECT_EQ(server.Bytes(0), kLogon + kJoin + GetParam().reply + "Hi, End!\r\n");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Events, Replies, ::testing::Values(
    Exchange{"Join", "1002 JOIN Alice 0010\r\n", "Hi, Alice!\r\n"},
    Exchange{"JoinWithoutName", "1002 JOIN\r\n", "Hi, !\r\n"},
    Exchange{"NameWithDirectives", "1002 JOIN %s%n%x%% 0010\r\n", "Hi, %s%n%x%%!\r\n"},
    Exchange{"OwnName", "2010 NAME Guest 0000\r\n1002 JOIN Guest 0000\r\n", "Hi, Guest!\r\n"},
    Exchange{"Channel", "1007 CHANNEL \"The Void\"\r\n", "Hi, all!\r\n"},
    Exchange{"SecondChannel", "1007 CHANNEL \"The Void\"\r\n1007 CHANNEL \"Other\"\r\n",
             "Hi, all!\r\nHi, all!\r\n"},
    Exchange{"OthersAreSilent",
             "1001 USER Ann 0000\r\n1003 LEAVE Ann 0\r\n1005 TALK Ann 0 \"1002 JOIN x 0\"\r\n"
             "1004 W n 0\r\n1006 W n 0\r\n1008 W n 0\r\n1009 W n 0\r\n1010 W n 0\r\n"
             "1013 \"t\"\r\n1014 \"t\"\r\n1015 \"t\"\r\n1018 \"t\"\r\n1019 \"t\"\r\n"
             "1023 W n 0\r\n2010 NAME Guest 0\r\n0\r\n99999999999\r\n", ""},
    Exchange{"NotEvents", "hello\r\n\r\n 1002 JOIN Sp 0\r\nx1002 JOIN X 0\r\n", ""}),
    [](const auto& p) { return std::string(p.param.label); });
// clang-format on

// Nothing else is on the wire while the greeting goes out, so it arrives as it was sent:
// whole, in one piece.
TEST_F(EndToEnd, GreetingIsOneSend) {
    ScriptServer server(6112);
    ASSERT_TRUE(server.Listening());
    server.Run({Accept(), Expect(kJoin), SendBytes("1002 JOIN Alice 0010\r\n"),
                Expect("Hi, Alice!\r\n"), Close()});
    auto bot = StartBot();
    server.Finish();
    bot->Stop();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    const auto arrivals = server.Arrivals();
    ASSERT_FALSE(arrivals.empty());
    EXPECT_EQ(arrivals.back().bytes, "Hi, Alice!\r\n");
}

TEST_F(EndToEnd, LogsOnAgainAtOnceWhenTheServerCloses) {
    ScriptServer server(6112);
    ASSERT_TRUE(server.Listening());
    server.Run({Accept(), Expect(kJoin), Close(), Accept(), Expect(kLogon), Pause(100), Close()});
    auto bot = StartBot();
    server.Finish();
    bot->Stop();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    ASSERT_EQ(server.Connections(), 2);
    // The new logon follows the close without the 5 s pause of a failed attempt.
    const auto arrivals = server.Arrivals();
    const auto relogon = std::find_if(arrivals.begin(), arrivals.end(),
                                      [](const Arrival& a) { return a.connection == 1; });
    ASSERT_NE(relogon, arrivals.end());
    EXPECT_LT(relogon->at - server.CloseTimes().at(0), 2500ms);
    const auto lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 3u) << Log();
    EXPECT_EQ(lines[0], "Attempting to connect...");
    EXPECT_EQ(lines[1].rfind("recv() returned 0, error code ", 0), 0u);
    EXPECT_EQ(lines[2], "Attempting to connect...");
}

TEST_F(EndToEnd, LogIsAppendedAcrossRuns) {
    for (int run = 0; run < 2; ++run) {
        ScriptServer server(6112);
        ASSERT_TRUE(server.Listening());
        server.Run({Accept(), Expect(kJoin), Close(), Accept(), Expect(kLogon), Close()});
        auto bot = StartBot();
        server.Finish();
        bot->Stop();
    }
    const auto lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 6u) << Log();
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(lines[run * 3], "Attempting to connect...");
        EXPECT_EQ(lines[run * 3 + 1].rfind("recv() returned 0, error code ", 0), 0u);
        EXPECT_EQ(lines[run * 3 + 2], "Attempting to connect...");
    }
}

TEST_F(EndToEnd, UnusableSocketsStopTheStart) {
    auto bot = StartBot({}, {"LD_PRELOAD=" NIMBREL_NO_SOCKET_SHIM,
                             "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"});
    EXPECT_EQ(bot->WaitForExit(20s), 1);
    EXPECT_EQ(ReadFile(dir.File("stdout")), "Cannot initialize socket library.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("nimbrel.log")));
}

// About 50 seconds: ten attempts, 5 s apart. Run apart from the rest, in parallel with it.
TEST_F(EndToEnd, SlowGivesUpAfterTenAttempts) {
    {
        std::ofstream earlier(dir.File("nimbrel.log"), std::ios::binary);
        earlier << "an earlier run\r\n";
    }
    auto bot = StartBot();
    EXPECT_EQ(bot->WaitForExit(120s), 0);
    EXPECT_EQ(Log(), "an earlier run\r\nAttempting to connect...\r\n" +
                         Repeat("Connect() failed.\r\n", 10) + kGiveUp);
}

}  // namespace
}  // namespace nimbrel
