// The example bot (examples/scribe), as a library user builds it: a scripted server on
// loopback checks every byte it sends, and its transcript. NIMBREL_SCRIBE names the program;
// tests/library/check_example builds it against an installed library and runs this.
#include <cstdlib>

#include "support/harness.h"

namespace nimbrel {

TEST(Scribe, KeepsATranscriptAndAnswersInItsChannel) {
    const char* scribe = std::getenv("NIMBREL_SCRIBE");
    ASSERT_NE(scribe, nullptr) << "NIMBREL_SCRIBE names no program";
    test::TempDir dir;
    test::Peer server;
    server.Listen();
    int status = -1;
    std::thread bot([&] {  // ends with the connection, or within a minute
        const std::string command = "cd '" + dir.path.string() + "' && timeout 60 '" + scribe +
                                    "' 127.0.0.1 " + std::to_string(server.port) +
                                    " 'Front Door' >transcript";
        // NOLINTNEXTLINE(cert-env33-c): the bot runs from a shell, as its user would run it
        status = std::system(command.c_str());
    });
    const std::string logon = "\x03\x04Scribe\r\n\r\n/join Front Door\r\n";
    EXPECT_TRUE(server.Accept() && server.Expect(logon));
    server.Send("2010 NAME Scribe#2 0\r\n1007 CHANNEL \"Front Door\"\r\n1001 USER Ann 0\r\n");
    const std::string hello = "Scribe#2 keeps a transcript of Front Door.\r\n";
    EXPECT_TRUE(server.Expect(hello));
    server.Send(
        "1002 JOIN Bob 0\r\n1005 TALK Bob 0 \"50% %s\"\r\n1003 LEAVE Ann 0\r\n"
        "1005 TALK Bob 0 \"!users\"\r\n");
    EXPECT_TRUE(server.Expect("1 here besides me.\r\n"));
    server.Close();
    bot.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(server.received, logon + hello + "1 here besides me.\r\n");
    EXPECT_EQ(test::ReadFile(dir.File("transcript")),
              "-- Front Door --\nAnn is here\nBob joined\n<Bob> 50% %s\nAnn left\n<Bob> !users\n");
}

}  // namespace nimbrel
