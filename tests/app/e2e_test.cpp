// The real nimbrel in a private network, against a peer on 127.0.0.1:6112 played by the
// test: its start with sockets unusable; and, with limits of a second and pauses a hundred
// times shorter (nimbrel_quick), a realistic session checked byte by byte, hundreds of
// hostile ones, and a server that vanishes. Its give-up at the real pace, 5 s between
// attempts, is shown by the package's check under systemd (tests/service).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "support/harness.h"

namespace nimbrel {

using namespace std::string_literals;

// nimbrel_quick's own settings: name Welcomer, password Mar"lo\, channel Front Door; and
// what the log held before.
const std::string kLogon = "\x03\x04Welcomer\r\nMar\"lo\\\r\n/join Front Door\r\n",
                  kEarlier = "an earlier run\r\n";
const bool kWine = NIMBREL_WINE;  // the program under test is a Windows build
// A realistic session: what the server sends, and what the bot answers.
const std::string kSession =
    "2010 NAME Welcomer 0000\r\n1007 CHANNEL \"The Void\"\r\n1001 USER Ann 0000\r\n1002 JOIN "
    "Alice 0010\r\n1002 JOIN\r\n1002 JOIN %s%n%x 0010\r\n1002 JOIN Welcomer 0\r\n1005 TALK Ann 0 "
    "\"1002 JOIN x 0\"\r\n1003 LEAVE Ann 0\r\n1008 W n 0\r\nhello\r\n 1002 JOIN Sp 0\r\n1007 "
    "CHANNEL \"Other\"\r\n";
// Any line the bot logs, whole.
const std::string kLine =
    "(Attempting to connect...|Connect\\(\\) failed.|Unhandled event ID -?\\d+|"
    "recv\\(\\) returned -?\\d+, error code \\d+)\r\n";
const std::string kReplies =
    "Hi, all!\r\nHi, Alice!\r\nHi, !\r\nHi, %s%n%x!\r\nHi, Welcomer!\r\nHi, all!\r\n";

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { std::ofstream(dir.File("nimbrel.log"), std::ios::binary) << kEarlier; }
    void TearDown() override {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0) Exit(20s);
    }
    // Starts `program` (a Windows build under wine) with `args` in the scratch directory,
    // its standard output to a file there.
    void Start(const char* program, std::vector<const char*> args = {}, const char* preload = "") {
        args.insert(args.begin(), program);
        if (kWine) args.insert(args.begin(), "wine");
        args.push_back(nullptr);
        if ((pid = ::fork()) == 0) {
            if (::chdir(dir.path.c_str()) == 0 && std::freopen("stdout", "w", stdout)) {
                // The loader splits LD_PRELOAD at blanks: the shim goes by a name without one.
                ::setenv("LD_PRELOAD", ::symlink(preload, "shim.so") == 0 ? "./shim.so" : "", 1);
                ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);  // the shim comes first
                ::execvp(args[0], const_cast<char**>(args.data()));
            }
            ::_exit(127);
        }
    }
    // Its exit code, once it has ended within `limit`; -1 for a signal or no end.
    int Exit(std::chrono::seconds limit) {
        int status = 0;
        if (!test::WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit))
            return -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const char* leaf) { return test::ReadFile(dir.File(leaf)); }

    test::TempDir dir;
    pid_t pid = 0;
};

// Sockets that cannot be used stop the start, before the log is opened: on POSIX a preloaded
// shim makes socket() fail; a Windows build, which no such shim reaches, runs around a
// WSAStartup that reports version 1.0.
TEST_F(EndToEnd, UnusableSocketsStopTheStart) {
    Start(kWine ? NIMBREL_OLD_SOCKETS_EXE : NIMBREL_EXE, {}, kWine ? "" : NIMBREL_NO_SOCKET_SHIM);
    EXPECT_EQ(Exit(20s), 1);
    EXPECT_EQ(Read("stdout"), kWine ? "Incorrect socket library version.\r\n"  // a text stream
                                    : "Cannot initialize socket library.\n");
    EXPECT_EQ(Read("nimbrel.log"), kEarlier);
}

// The first connection is a realistic session: arguments change nothing; each known event
// gets its answer, byte for byte, and an unknown one a log line. Hundreds of hostile ones
// follow: valid events among garbage and NUL bytes, cut at random bytes or sent a byte at a
// time, each connection ended by a line longer than the buffer, a close, a reset or, once,
// a stall (the server floods and stops reading until the bot's send limit gives up). Every
// 1002 is greeted once and in order, every connection is logged once, every log line is
// whole. Then the server's host vanishes: keepalive
// probes find it, and ten dropped connects, each given up at the connect limit, end it.
TEST_F(EndToEnd, SessionsThenTheServerVanishes) {
    test::Peer server(6112);
    server.Listen();
    Start(NIMBREL_QUICK_EXE, {"--server", "10.0.0.1", "%s%n"});
    std::mt19937 random(20261206);
    const std::string garbage[] = {"hello\r\n"s,          "1\0\x01\xff\r\n"s, "\r\n"s,
                                   "99999999999999 W\n"s, "1008 W n 0\r\n"s,  " 1002 W X 0\r\n"s};
    std::string flood;
    while (flood.size() < 60000) flood += "1002 JOIN flood 0\r\n";
    const int cycles = 300;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const std::size_t from = server.received.size();
        ASSERT_TRUE(server.Accept() && server.Expect(kLogon)) << "connection " << cycle;
        std::string stream = cycle > 0 ? "" : kSession, greetings = cycle > 0 ? "" : kReplies;
        for (auto lines = cycle > 0 ? random() % 12 : 0; lines > 0; --lines) {
            const std::string name = "u" + std::to_string(random());
            const bool valid = random() % 2 == 0;
            stream += valid ? "1002 JOIN " + name + " 0\r\n" : garbage[random() % 6];
            greetings += valid ? "Hi, " + name + "!\r\n" : "";
        }
        for (std::size_t at = 0, n = 0; at < stream.size(); at += n)
            server.Send(stream.substr(at, n = random() % 2 == 0 ? 1 : 1 + random() % 64));
        ASSERT_TRUE(server.Expect(greetings));
        ASSERT_EQ(server.received.substr(from), kLogon + greetings);
        const auto end = cycle == cycles / 2 ? 3 : cycle == 0 ? 2 : random() % 3;
        const linger rst{1, 0};
        if (end == 0) server.Send("1" + std::string(2100, 'x'));
        if (end == 1) ::setsockopt(server.connection, SOL_SOCKET, SO_LINGER, &rst, sizeof rst);
        for (int i = 0; end == 3 && i < 5000 && server.Send(flood); ++i) continue;
    }
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    // Each connection ended is closed: the bot holds the one socket it is logged on with
    // (wine's own are sockets too: there the count is not taken).
    EXPECT_EQ(kWine ? 1 : test::OpenSockets(std::to_string(pid)), 1);
    const std::string session =
        kEarlier + test::Log("Unhandled event ID 1008\r\n" + test::kClosed + test::kAttempt);
    EXPECT_EQ(Read("nimbrel.log").substr(0, session.size()), session);
    EXPECT_EQ(Read("stdout"), "");
    if (kWine) GTEST_SKIP() << "Windows Sockets 1.1 cannot time keepalive";
    ASSERT_TRUE(test::CutOff());
    // Found after 1 + 1 * 2 s, then ten connects of 1 s: each limit ten times that.
    EXPECT_TRUE(test::WaitFor(
        [&] { return Read("nimbrel.log").find(" 110\r") != std::string::npos; }, 30s));
    EXPECT_EQ(Exit(100s), 0);
    // Every line whole, and one attempt for each connection and for the end.
    const std::string log = Read("nimbrel.log");
    EXPECT_TRUE(
        std::regex_match(log, std::regex(kEarlier + "(" + kLine + ")*" + "recv.* 110\r\n" +
                                         test::kAttempt + "(Connect.*\r\n){10}Unable .*\r\n")));
    const std::regex attempt("Attempting");
    EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), attempt), {}), cycles + 2);
}

}  // namespace nimbrel
