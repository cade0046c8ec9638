// The real nimbrel in a private network, against a peer on 127.0.0.1:6112 played by the
// test: its start with sockets unusable; and, with limits of a second and pauses a hundred
// times shorter (nimbrel_quick), a realistic session checked byte by byte, hundreds of times
// cut and ended at random, then a server that vanishes. Its give-up at the real pace, 5 s
// between attempts, is shown by the package's check under systemd (tests/service).
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cstring>
#include <regex>

#include "support/harness.h"

namespace nimbrel {

using namespace std::string_literals;

// nimbrel_quick's own settings: name Welcomer, password Mar"lo\, channel Front Door; and
// what the log held before.
const std::string kLogon = "\x03\x04Welcomer\r\nMar\"lo\\\r\n/join Front Door\r\n",
                  kEarlier = "an earlier run\r\n";
const bool kWine = NIMBREL_WINE;  // the program under test is a Windows build
// A realistic session, a NUL byte in it: what the server sends, and what the bot answers.
const std::string kSession =
    "2010 NAME Welcomer 0000\r\n1007 CHANNEL \"The Void\"\r\n1001 USER Ann 0000\r\n1002 JOIN "
    "Alice 0010\r\n1002 JOIN\r\n1002 JOIN %s%n%x 0010\r\n1002 JOIN Welcomer 0\r\n1005 TALK Ann 0 "
    "\"1002 JOIN x 0\"\r\n1003 LEAVE Ann 0\r\n1008 W n 0\r\nhello\r\n\r\n 1002 JOIN Sp 0\r\n"
    "1002 JOIN Nul\0x 0\r\n1007 CHANNEL \"Other\"\r\n"s;
const std::string kReplies =
    "Hi, all!\r\nHi, Alice!\r\nHi, !\r\nHi, %s%n%x!\r\nHi, Welcomer!\r\nHi, Nul!\r\nHi, all!\r\n";

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(dir.File("nimbrel.log"), std::ios::binary) << kEarlier;
        server.Listen();
    }
    void TearDown() override {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0) test::Exit(pid, 20s);
    }
    // Starts `program` (a Windows build under wine) with `args` in the scratch directory.
    void Start(const char* program, std::vector<const char*> args = {}, const char* preload = "") {
        args.insert(args.begin(), program);
        if (kWine) args.insert(args.begin(), "wine");
        pid = test::Start(dir, args, preload);
    }
    std::string Read(const char* leaf) { return test::ReadFile(dir.File(leaf)); }

    test::TempDir dir;
    test::Peer server{6112};
    pid_t pid = 0;
};

// Sockets that cannot be used stop the start, before the log is opened: on POSIX a preloaded
// shim makes socket() fail; a Windows build, which no such shim reaches, runs around a
// WSAStartup that reports version 1.0.
TEST_F(EndToEnd, UnusableSocketsStopTheStart) {
    Start(kWine ? NIMBREL_OLD_SOCKETS_EXE : NIMBREL_EXE, {}, kWine ? "" : NIMBREL_NO_SOCKET_SHIM);
    EXPECT_EQ(test::Exit(pid, 20s), 1);
    EXPECT_EQ(Read("stdout"), kWine ? "Incorrect socket library version.\r\n"  // a text stream
                                    : "Cannot initialize socket library.\n");
    EXPECT_EQ(Read("nimbrel.log"), kEarlier);
}

// The session, sent whole and then hundreds of times cut at random bytes or sent a byte at a
// time, each connection ended by a close, a reset or a line longer than the buffer: each
// event is answered, byte for byte and in order, and an unknown one logged; every end is
// logged and followed at once by a new attempt; the bot holds no socket but its
// connection's; arguments change nothing. Then the server's host vanishes: keepalive probes
// find it, and ten dropped connects, each given up at the connect limit, end the program.
TEST_F(EndToEnd, AnswersEverySessionThenGivesUpOnAVanishedServer) {
    Start(NIMBREL_QUICK_EXE, {"--server", "10.0.0.1", "%s%n"});
    std::mt19937 random(20261206);
    const linger rst{1, 0};
    std::string expected;
    for (int cycle = 0; cycle < 300; ++cycle, expected += kLogon + kReplies) {
        ASSERT_TRUE(server.Accept() && server.Expect(kLogon)) << "connection " << cycle;
        for (std::size_t at = 0, n = kSession.size(); at < kSession.size(); at += n) {
            if (cycle > 0) n = random() % 2 ? 1 : 1 + random() % 64;
            server.Send(kSession.substr(at, n));
        }
        ASSERT_TRUE(server.Expect(kReplies)) << "connection " << cycle;
        const auto end = random() % 3;
        if (end == 1) ::setsockopt(server.connection, SOL_SOCKET, SO_LINGER, &rst, sizeof rst);
        if (end == 2) server.Send("1" + std::string(2100, 'x'));
    }
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    EXPECT_EQ(server.received, expected + kLogon);
    EXPECT_EQ(Read("stdout"), "");
    std::string log = kEarlier;
    for (int cycle = 0; cycle < 300; ++cycle)
        log += test::kAttempt + "Unhandled event ID 1008\r\nrecv() ended\r\n";
    log += test::kAttempt;
    // Wine's own sockets are sockets too, and Windows Sockets 1.1 cannot time keepalive.
    if (!kWine) {
        EXPECT_EQ(test::OpenSockets(std::to_string(pid)), 1);
        ASSERT_TRUE(test::CutOff());
        // Found after 1 + 1 * 2 s, then ten connects of 1 s: each limit ten times that.
        EXPECT_EQ(test::Exit(pid, 100s), 0);
        log +=
            "recv() returned -1, error code 110\r\n" + test::Log(test::kGiveUp, 10, test::kFailed);
    }
    // A close, or a reset (Linux's and Windows' codes), ends a connection of the session.
    const std::regex ended("recv\\(\\) returned (0, error code 0|-1, error code (104|10054))\r");
    EXPECT_EQ(std::regex_replace(Read("nimbrel.log"), ended, "recv() ended\r"), log);
}

// The log's disk fills in the middle of a line: the line is lost whole, never torn, and once
// there is room again the next line is whole. The disk is a file system of two pages: the
// log fills the first but 10 bytes, a filler the second.
TEST_F(EndToEnd, AFullDiskLosesALineWholeAndTheNextIsWhole) {
    ASSERT_EQ(::mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=8k"), 0) << strerror(errno);
    struct Unmount {
        const char* path;
        ~Unmount() { ::umount2(path, MNT_DETACH); }
    } unmount{dir.path.c_str()};
    const std::string earlier = std::string(4084, 'x') + "\r\n";
    std::ofstream(dir.File("nimbrel.log"), std::ios::binary) << earlier;
    std::ofstream(dir.File("filler"), std::ios::binary) << std::string(4096, 'f');
    struct statvfs disk {};
    ASSERT_TRUE(::statvfs(dir.path.c_str(), &disk) == 0 && disk.f_bavail == 0);
    Start(NIMBREL_QUICK_EXE);
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));  // a line of its end and an attempt
    EXPECT_EQ(Read("nimbrel.log"), earlier);
    std::filesystem::remove(dir.File("filler"));
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    EXPECT_EQ(Read("nimbrel.log"), earlier + test::kClosed + test::kAttempt);
}

}  // namespace nimbrel
