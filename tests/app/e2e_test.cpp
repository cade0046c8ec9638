// The real nimbrel in a private network, against a peer on 127.0.0.1:6112 played by the
// test: every byte it sends and logs in a session, its start with sockets unusable, and
// its give-up after ten failed attempts.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/harness.h"

namespace nimbrel {
namespace {

using test::Clock;

const std::string kLogon = "\x03\x04Guest\r\nMarlo\r\n";
const std::string kEarlier = "an earlier run\r\n";
const bool kWine = NIMBREL_WINE;  // the program under test is a Windows build

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
            ::setenv("LD_PRELOAD", preload, 1);  // a sanitiser lets it come first
            ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
            if (::chdir(dir.path.c_str()) == 0 && std::freopen("stdout", "w", stdout)) {
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

// Arguments change nothing. The join follows the logon a second later; each known event
// gets its answer and an unknown one a log line; a closed connection is followed at once
// by a new logon.
TEST_F(EndToEnd, GreetsAndLogsOnAgain) {
    test::Peer server(6112);
    server.Listen();
    Start(NIMBREL_EXE, {"--server", "10.0.0.1", "%s%n"});
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    const auto logon = Clock::now();
    ASSERT_TRUE(server.Expect("/join The Void\r\n"));
    EXPECT_GE(Clock::now() - logon, 500ms);
    server.Send(
        "2010 NAME Guest 0000\r\n1007 CHANNEL \"The Void\"\r\n1001 USER Ann 0000\r\n"
        "1002 JOIN Alice 0010\r\n1002 JOIN\r\n1002 JOIN %s%n%x 0010\r\n1002 JOIN Guest 0\r\n"
        "1005 TALK Ann 0 \"1002 JOIN x 0\"\r\n1003 LEAVE Ann 0\r\n1008 W n 0\r\nhello\r\n"
        " 1002 JOIN Sp 0\r\n1007 CHANNEL \"Other\"\r\n1002 JOIN End 0000\r\n");
    ASSERT_TRUE(server.Expect("Hi, End!\r\n"));
    EXPECT_EQ(server.received, kLogon +
                                   "/join The Void\r\nHi, all!\r\nHi, Alice!\r\nHi, !\r\n"
                                   "Hi, %s%n%x!\r\nHi, Guest!\r\nHi, all!\r\nHi, End!\r\n");
    server.Close();
    const auto closed = Clock::now();
    ASSERT_TRUE(server.Accept() && server.Expect(kLogon));
    EXPECT_LT(Clock::now() - closed, 4s);  // nothing failed, so no 5 s pause
    EXPECT_EQ(Read("nimbrel.log"),
              kEarlier +
                  "Attempting to connect...\r\nUnhandled event ID 1008\r\n"
                  "recv() returned 0, error code 0\r\nAttempting to connect...\r\n");
    EXPECT_EQ(Read("stdout"), "");
}

// Sockets that cannot be used stop the start, before the log is opened: on POSIX a preloaded
// shim makes socket() fail; a Windows build runs around a WSAStartup that reports 1.0.
TEST_F(EndToEnd, UnusableSocketsStopTheStart) {
    if (kWine) GTEST_SKIP() << "a preloaded shim reaches POSIX programs only";
    Start(NIMBREL_EXE, {}, NIMBREL_NO_SOCKET_SHIM);
    EXPECT_EQ(Exit(20s), 1);
    EXPECT_EQ(Read("stdout"), "Cannot initialize socket library.\n");
    EXPECT_EQ(Read("nimbrel.log"), kEarlier);
}

TEST_F(EndToEnd, OldSocketLibraryStopsTheStart) {
    if (!kWine) GTEST_SKIP() << "a POSIX socket layer has no version to refuse";
    Start(NIMBREL_OLD_SOCKETS_EXE);
    EXPECT_EQ(Exit(20s), 1);
    EXPECT_EQ(Read("stdout"), "Incorrect socket library version.\r\n");  // a text stream
    EXPECT_EQ(Read("nimbrel.log"), kEarlier);
}

// About 50 seconds: ten attempts, 5 s apart.
TEST_F(EndToEnd, SlowGivesUpAfterTenAttempts) {
    Start(NIMBREL_EXE);
    EXPECT_EQ(Exit(120s), 0);
    std::string failed;
    for (int i = 0; i < 10; ++i) failed += "Connect() failed.\r\n";
    EXPECT_EQ(Read("nimbrel.log"), kEarlier + "Attempting to connect...\r\n" + failed +
                                       "Unable to log on after 10 tries - giving up.\r\n");
}

}  // namespace
}  // namespace nimbrel
