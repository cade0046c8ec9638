// The activity log: CR LF lines appended to what the file held, each in the file as soon as
// it is logged; only the first log opened is written, and nothing while none is open.
#include "support/harness.h"

namespace nimbrel {

TEST(ActivityLog, AppendsCrLfLinesAtOnceAndOnlyWhileTheFirstLogIsOpen) {
    test::TempDir dir;
    const std::string path = dir.File("log");
    std::ofstream(path, std::ios::binary) << "earlier\r\n";
    ChatClient client;
    EXPECT_EQ(client.OpenLog(dir.File("missing/log").c_str()), 0);
    EXPECT_EQ(client.Log("lost"), 0);
    EXPECT_EQ(client.OpenLog(path.c_str()), 1);
    EXPECT_EQ(client.OpenLog(dir.File("other").c_str()), 0);
    EXPECT_EQ(client.Log("%s", std::string(5000, 'm').c_str()), 1);
    // A message is cut to 1023 bytes.
    std::string lines = "earlier\r\n" + std::string(1023, 'm') + "\r\n";
#ifndef _WIN32
    // One that the C library cannot format (a character that the C locale cannot encode) is
    // an empty line, and nothing is written before the line's buffer.
    EXPECT_EQ(client.Log("%ls", L"\u00e9"), 1);
    lines += "\r\n";
#endif
    EXPECT_EQ(test::ReadFile(path), lines);
    client.CloseLog();
    client.CloseLog();
    EXPECT_EQ(client.Log("lost"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("other")));
}

}  // namespace nimbrel
