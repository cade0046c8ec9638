// The example bot (examples/scribe), as a library user builds it: a scripted server on
// loopback checks every byte it sends, and its transcript; a SIGTERM stops it within 2 s,
// connected or between its attempts, as a stop and not a failure. NIMBREL_SCRIBE names the
// program; tests/library/check_example builds it against an installed library and runs this.
// A bot that a test leaves running ends by itself: with the connection that the test's
// server closes, or when its ten attempts have failed.
#include <cstdlib>

#include "support/harness.h"

namespace nimbrel {

const std::string kStopped = "Stopped on request.\r\n";

class Scribe : public ::testing::Test {
  protected:
    void Start(std::uint16_t port) {
        const char* scribe = std::getenv("NIMBREL_SCRIBE");
        ASSERT_NE(scribe, nullptr) << "NIMBREL_SCRIBE names no program";
        const std::string at = std::to_string(port);
        pid = test::Start(dir, {scribe, "127.0.0.1", at.c_str(), "Front Door"});
    }
    // SIGTERM, then its exit code, once it has ended within 2 s.
    int Stop() { return pid > 0 && ::kill(pid, SIGTERM) == 0 ? test::Exit(pid, 2s) : -1; }
    std::string Log() { return test::ReadFile(dir.File("scribe.log")); }

    test::TempDir dir;
    test::Peer server;
    pid_t pid = 0;
};

TEST_F(Scribe, KeepsATranscriptAnswersInItsChannelAndStopsWhenTold) {
    server.Listen();
    Start(server.port);
    const std::string logon = "\x03\x04Scribe\r\n\r\n/join Front Door\r\n";
    EXPECT_TRUE(server.Accept() && server.Expect(logon));
    server.Send("2010 NAME Scribe#2 0\r\n1007 CHANNEL \"Front Door\"\r\n1001 USER Ann 0\r\n");
    const std::string hello = "Scribe#2 keeps a transcript of Front Door.\r\n";
    EXPECT_TRUE(server.Expect(hello));
    server.Send(
        "1002 JOIN Bob 0\r\n1005 TALK Bob 0 \"50% %s\"\r\n1003 LEAVE Ann 0\r\n"
        "1005 TALK Bob 0 \"!users\"\r\n");
    EXPECT_TRUE(server.Expect("1 here besides me.\r\n"));
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(server.received, logon + hello + "1 here besides me.\r\n");
    EXPECT_EQ(test::ReadFile(dir.File("stdout")),
              "-- Front Door --\nAnn is here\nBob joined\n<Bob> 50% %s\nAnn left\n<Bob> !users\n");
    EXPECT_EQ(Log(), test::kAttempt + kStopped);
}

// The server's port refuses every connect: the bot is in its 5 s pause after the first.
TEST_F(Scribe, StopsWhenToldBetweenItsAttempts) {
    Start(server.port);
    EXPECT_TRUE(test::WaitFor([&] { return Log().find(test::kFailed) != std::string::npos; }));
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(Log(), test::kAttempt + test::kFailed + kStopped);
}

}  // namespace nimbrel
