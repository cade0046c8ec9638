// The activity log: CR LF lines appended to what the file held, each in the file as soon as
// it is logged; only the first log opened is written, and nothing while none is open.
#include "support/harness.h"

namespace nimbrel {

// What a file that held `before` holds once `message` is logged, the log still open.
TEST(ActivityLog, EachLineIsInTheFileAtOnce) {
    const struct {
        const char* label;
        std::string before, message, after;
    } rows[] = {
        {"LinesEndInCrLfAfterWhatTheFileHeld", "earlier\r\n", "a", "earlier\r\na\r\n"},
        // As a full disk may leave it: the next line must not run into it.
        {"ALineCutShortIsEndedBeforeTheNext", "cut sho", "next", "cut sho\r\nnext\r\n"},
        {"AMessageIsCutTo1023Bytes", "", std::string(5000, 'm'), std::string(1023, 'm') + "\r\n"},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        std::ofstream(dir.File("log"), std::ios::binary) << row.before;
        ChatClient client;
        ASSERT_EQ(client.OpenLog(dir.File("log").c_str()), 1);
        EXPECT_EQ(client.Log("%s", row.message.c_str()), 1);
        EXPECT_EQ(test::ReadFile(dir.File("log")), row.after) << row.label;
    }
}

TEST(ActivityLog, OnlyTheFirstLogOpenedIsWrittenAndNothingWhileNoneIsOpen) {
    test::TempDir dir;
    ChatClient client;
    EXPECT_EQ(client.OpenLog(dir.File("missing/log").c_str()), 0);
    EXPECT_EQ(client.Log("lost"), 0);
    EXPECT_EQ(client.OpenLog(dir.File("first").c_str()), 1);
    EXPECT_EQ(client.OpenLog(dir.File("second").c_str()), 0);
    client.Log("kept");
    client.CloseLog();
    client.CloseLog();
    EXPECT_EQ(client.Log("lost"), 0);
    EXPECT_EQ(test::ReadFile(dir.File("first")), "kept\r\n");
}

}  // namespace nimbrel
