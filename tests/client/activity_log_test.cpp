// The activity log's bytes on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "chat_client.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

using test::ReadFile;

class ActivityLog : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::string path = dir.File("activity.log");
};

TEST_F(ActivityLog, EachLineEndsInCrLf) {
    ChatClient client;
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    EXPECT_EQ(client.Log("Attempting to connect..."), 1);
    EXPECT_EQ(client.Log("recv() returned %d, error code %u", 0, 104u), 1);
    EXPECT_EQ(client.Log("%s", ""), 1);
    client.CloseLog();
    EXPECT_EQ(ReadFile(path),
              "Attempting to connect...\r\nrecv() returned 0, error code 104\r\n\r\n");
}

TEST_F(ActivityLog, LineIsInTheFileWhileTheLogIsOpen) {
    ChatClient client;
    client.OpenLog(path.c_str());
    client.Log("Connect() failed.");
    EXPECT_EQ(ReadFile(path), "Connect() failed.\r\n");
}

TEST_F(ActivityLog, AppendsAcrossOpens) {
    {
        ChatClient first;
        first.OpenLog(path.c_str());
        first.Log("one");
    }  // destruction closes the log
    ChatClient second;
    ASSERT_EQ(second.OpenLog(path.c_str()), 1);
    second.Log("two");
    second.CloseLog();
    EXPECT_EQ(second.OpenLog(path.c_str()), 1);
    second.Log("three");
    second.CloseLog();
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\nthree\r\n");
}

TEST_F(ActivityLog, LogWithoutAnOpenLogWritesNothing) {
    ChatClient client;
    EXPECT_EQ(client.Log("early"), 0);
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    client.Log("kept");
    client.CloseLog();
    EXPECT_EQ(client.Log("late"), 0);
    client.CloseLog();  // a second close does nothing
    EXPECT_EQ(ReadFile(path), "kept\r\n");
}

TEST_F(ActivityLog, SecondOpenKeepsTheFirstFile) {
    const std::string other = dir.File("other.log");
    ChatClient client;
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    EXPECT_EQ(client.OpenLog(other.c_str()), 0);
    client.Log("still here");
    client.CloseLog();
    EXPECT_EQ(ReadFile(path), "still here\r\n");
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(ActivityLog, UnopenablePathLeavesNoLog) {
    ChatClient client;
    const std::string missing = dir.File("no-such-dir/activity.log");
    EXPECT_EQ(client.OpenLog(missing.c_str()), 0);
    EXPECT_EQ(client.Log("dropped"), 0);
    EXPECT_EQ(client.OpenLog(path.c_str()),
              1);  // a failed open leaves the client free to try again
}

struct LengthCase {
    int length;
    int kept;
};

class LogLength : public ActivityLog, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(LogLength, MessageIsCutToTheBuffer) {
    const std::string message(static_cast<std::size_t>(GetParam().length), 'm');
    ChatClient client;
    client.OpenLog(path.c_str());
    EXPECT_EQ(client.Log("%s", message.c_str()), 1);
    client.Log("next");
    client.CloseLog();
    const std::string kept(static_cast<std::size_t>(GetParam().kept), 'm');
    EXPECT_EQ(ReadFile(path), kept + "\r\nnext\r\n");
}

INSTANTIATE_TEST_SUITE_P(Edges, LogLength,
                         ::testing::Values(LengthCase{1022, 1022}, LengthCase{1023, 1023},
                                           LengthCase{1024, 1023}, LengthCase{100000, 1023}));

}  // namespace
}  // namespace nimbrel
