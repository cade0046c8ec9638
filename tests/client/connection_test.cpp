// The client against a scripted server on loopback: logon, join, framing, idle calls and
// the end of a connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "chat_client.h"
#include "platform.h"
#include "support/fake_sleep.h"
#include "support/recording_client.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

using namespace std::chrono_literals;
using test::Accept;
using test::Close;
using test::Expect;
using test::ExpectClosed;
using test::Pause;
using test::SendBytes;

const std::string kLogon =
    "\x03\x04"
    "Guest\r\nMarlo\r\n";
const std::string kJoin = "/join The Void\r\n";

class Connection : public ::testing::Test {
  protected:
    void SetUp() override {
        test::Sleeps() = {};
        ASSERT_TRUE(server.Listening());
        client.OpenLog(logPath.c_str());
        client.SetLogonInfo("Guest", "Marlo", "127.0.0.1", server.Port());
        client.SetHomeChannel("The Void");
    }

    // Logs on, reads until the server closes, and hangs up, as the program does.
    void Session() {
        ASSERT_EQ(client.ConnectAndLogon(), 1);
        EXPECT_EQ(client.ReceiveLoop(), 0);
        client.Disconnect();
        server.Finish();
        EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    }

    std::vector<test::HandlerCall> Events() const { return client.calls; }

    test::TempDir dir;
    std::string logPath = dir.File("client.log");
    test::ScriptServer server;
    test::RecordingClient client;
};

TEST_F(Connection, SendsLogonThenJoinASecondLater) {
    test::Sleeps().realPauses = true;
    server.Run({Accept(), Expect(kLogon + kJoin), Close()});
    Session();
    EXPECT_EQ(server.Bytes(0), kLogon + kJoin);
    EXPECT_EQ(server.Bytes(0).substr(0, 3), "\x03\x04G");
    const auto arrivals = server.Arrivals();
    ASSERT_EQ(arrivals.size(), 2u);  // a second apart, so never in one read
    EXPECT_EQ(arrivals[0].bytes, kLogon);
    EXPECT_GE(arrivals[1].at - arrivals[0].at, 900ms);
    EXPECT_LE(arrivals[1].at - arrivals[0].at, 5000ms);
    EXPECT_EQ(test::Sleeps().calls, std::vector<unsigned>{1000});
}

TEST_F(Connection, EndOfStreamIsLogged) {
    server.Run({Accept(), Expect(kJoin), Close()});
    Session();
    const std::string log = test::ReadFile(logPath);
    EXPECT_EQ(log.rfind("Attempting to connect...\r\nrecv() returned 0, error code ", 0), 0u)
        << log;
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

TEST_F(Connection, FramesTheStreamIntoEvents) {
    server.Run({Accept(), Expect(kJoin),
                // One line in two reads.
                SendBytes("100"), Pause(300), SendBytes("2 W Alice 0010\r\n"), Pause(300),
                // Two lines in one read.
                SendBytes("1002 W Bob 1\r\n1005 W Carol 2 \"hi there\"\r\n"), Pause(300),
                // Not events: a word, an empty line, a leading blank.
                SendBytes("hello 1002 W X 1\r\n\r\n\n 1002 W Dan 1\r\n"),
                // The CR of the line end stays in the line.
                SendBytes("1005 W Eve 3 \"open\r\n"), Pause(300), Close()});
    Session();
    const auto events = Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].name, "Alice");
    EXPECT_EQ(events[0].flags, 0x10u);
    EXPECT_EQ(events[1].name, "Bob");
    EXPECT_EQ(events[2].slot, 5);
    EXPECT_EQ(events[2].text, "hi there");
    EXPECT_EQ(events[3].text, "open\r");
    // Alice is dispatched once, only after the second half arrived.
    EXPECT_GE(events[0].at, server.SendTimes().at(1));
    // Bob and Carol came in one read: both handled before the next OnIdle.
    const auto bob = std::find_if(client.trace.begin(), client.trace.end(),
                                  [](const test::HandlerCall& c) { return c.name == "Bob"; });
    ASSERT_NE(bob, client.trace.end());
    EXPECT_EQ(std::next(bob)->name, "Carol");
}

TEST_F(Connection, CallsOnIdleAboutOnceASecond) {
    server.Run({Accept(), Expect(kJoin), Pause(3500), Close()});
    Session();
    std::vector<test::Clock::time_point> idle;
    for (const auto& c : client.trace) {
        if (c.slot == 0) idle.push_back(c.at);
    }
    ASSERT_GE(idle.size(), 2u);
    for (std::size_t i = 1; i < idle.size(); ++i) {
        EXPECT_GE(idle[i] - idle[i - 1], 900ms);
        EXPECT_LE(idle[i] - idle[i - 1], 3000ms);
    }
}

struct LongLine {
    const char* label;
    int length;  // bytes before the LF, the first a digit
    bool lf;
    std::size_t events;
};

class ConnectionLongLine : public Connection, public ::testing::WithParamInterface<LongLine> {};

// A partial line that fills the whole buffer leaves no room: the read of 0 bytes returns 0
// and the client hangs up, as it does when the server closes.
TEST_P(ConnectionLongLine, FullBufferEndsTheLoop) {
    const LongLine& c = GetParam();
    std::string line = "1005 W n 1 \"" + std::string(static_cast<std::size_t>(c.length) - 12, 't');
    if (c.lf) line += "\n";
    server.Run({Accept(), Expect(kJoin), SendBytes(line.substr(0, 1000)), Pause(100),
                SendBytes(line.substr(1000)), Pause(300), Close()});
    Session();
    EXPECT_EQ(client.calls.size(), c.events);
    if (c.events == 1) {
        EXPECT_EQ(client.calls[0].text, std::string(255, 't'));
    }
    EXPECT_NE(test::ReadFile(logPath).find("recv() returned 0, error code "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Edges, ConnectionLongLine,
                         ::testing::Values(LongLine{"Fills2048", 2048, false, 0},
                                           LongLine{"Line2047", 2047, true, 1}),
                         [](const auto& p) { return std::string(p.param.label); });

// The first send into a closed connection draws a reset; later ones fail with EPIPE,
// which must come back as a result and never as a signal that ends the process.
TEST_F(Connection, SendAfterTheServerClosedLeavesTheProcessRunning) {
    server.Run({Accept(), Expect(kJoin), Close()});
    ASSERT_EQ(client.ConnectAndLogon(), 1);
    EXPECT_EQ(client.ReceiveLoop(), 0);
    int failed = 0;
    for (int i = 0; i < 200 && failed < 3; ++i) {
        failed += client.Send("Hi, all!\r\n") == 0 ? 1 : 0;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(failed, 3);
    client.Disconnect();
}

TEST_F(Connection, SendRefusesAUnitThatDoesNotFit) {
    const std::string fits(253, 'f');  // with CR LF, 255 bytes and the NUL
    const std::string over(254, 'o');
    server.Run({Accept(), Expect(kJoin), Expect(fits + "\r\nend\r\n"), Close()});
    ASSERT_EQ(client.ConnectAndLogon(), 1);
    EXPECT_EQ(client.Send("%s\r\n", fits.c_str()), 1);
    EXPECT_EQ(client.Send("%s\r\n", over.c_str()), 0);
    EXPECT_EQ(client.Send("end\r\n"), 1);
    EXPECT_EQ(client.ReceiveLoop(), 0);
    client.Disconnect();
    server.Finish();
    EXPECT_EQ(server.Bytes(0), kLogon + kJoin + fits + "\r\nend\r\n");
}

// A handler that hangs up must end the loop, not leave it waiting on no socket for ever.
TEST_F(Connection, HandlerThatHangsUpEndsTheLoop) {
    class HangingUp : public test::RecordingClient {
        int OnEvent1002(const char*, std::uint32_t, const char*) override {
            Disconnect();
            return 1;
        }
    } hangingUp;
    hangingUp.OpenLog(logPath.c_str());
    hangingUp.SetLogonInfo("Guest", "Marlo", "127.0.0.1", server.Port());
    hangingUp.SetHomeChannel("The Void");
    server.Run({Accept(), Expect(kJoin), SendBytes("1002 W Al 1\r\n"), ExpectClosed(), Close()});
    ASSERT_EQ(hangingUp.ConnectAndLogon(), 1);
    EXPECT_EQ(hangingUp.ReceiveLoop(), 0);
    server.Finish();
    EXPECT_EQ(server.Failures(), std::vector<std::string>{});
    EXPECT_NE(test::ReadFile(logPath).find("recv() returned -1, error code "), std::string::npos);
}

TEST_F(Connection, SendWithoutASocketFails) {
    EXPECT_EQ(client.Send("Hi, all!\r\n"), 0);
    EXPECT_EQ(client.ReceiveLoop(), 0);  // at once, logging nothing
    EXPECT_EQ(test::ReadFile(logPath), "");
}

class ServerForm : public Connection, public ::testing::WithParamInterface<const char*> {};

// Text of digits and dots goes to inet_addr as it is; anything else is a host name.
TEST_P(ServerForm, ReachesTheLoopbackServer) {
    client.SetLogonInfo("Guest", "Marlo", GetParam(), server.Port());
    server.Run({Accept(), Expect(kLogon + kJoin), Close()});
    Session();
    EXPECT_EQ(server.Connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(Forms, ServerForm,
                         ::testing::Values("127.0.0.1", "127.1", "2130706433", "localhost"));

struct NumericCase {
    const char* text;
    std::uint32_t address;  // as the bytes a, b, c, d read in network order
};

class NumericAddress : public ::testing::TestWithParam<NumericCase> {};

TEST_P(NumericAddress, FollowsTheClassicRules) {
    const std::uint32_t address = platform::NumericAddress(GetParam().text);
    unsigned char bytes[4];
    std::memcpy(bytes, &address, 4);
    const std::uint32_t read =
        static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    EXPECT_EQ(read, GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NumericAddress,
    ::testing::Values(NumericCase{"127.0.0.1", 0x7F000001}, NumericCase{"1.2.3", 0x01020003},
                      NumericCase{"127.1", 0x7F000001}, NumericCase{"999.1.1.1", 0xFFFFFFFF},
                      NumericCase{"1.2.3.4.5", 0xFFFFFFFF}, NumericCase{"1..2", 0xFFFFFFFF}));

}  // namespace
}  // namespace nimbrel
