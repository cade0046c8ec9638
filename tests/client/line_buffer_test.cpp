// Line framing without sockets: bytes in, lines out, at every split of the stream.
#include "line_buffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace nimbrel {
namespace {

// Copies `bytes` in as one read, as recv would, and collects the complete lines.
void Feed(LineBuffer& buffer, const std::string& bytes, std::vector<std::string>& lines) {
    int room = 0;
    char* area = buffer.ReadArea(room);
    ASSERT_LE(bytes.size(), static_cast<std::size_t>(room));
    bytes.copy(area, bytes.size());
    buffer.Commit(static_cast<int>(bytes.size()));
    while (char* line = buffer.NextLine()) lines.emplace_back(line);
}

const std::string kStream = "1002 W Alice 0010\r\n\nhello\r\n1005 W Bob 1 \"hi\"\n\r\n 1003 x\n";
const std::vector<std::string> kLines = {"1002 W Alice 0010\r", "",   "hello\r",
                                         "1005 W Bob 1 \"hi\"", "\r", " 1003 x"};

TEST(LineBuffer, GivesTheSameLinesAtEverySplit) {
    for (std::size_t split = 0; split <= kStream.size(); ++split) {
        LineBuffer buffer;
        std::vector<std::string> lines;
        Feed(buffer, kStream.substr(0, split), lines);
        Feed(buffer, kStream.substr(split), lines);
        EXPECT_EQ(lines, kLines) << "split at " << split;
    }
}

TEST(LineBuffer, GivesTheSameLinesByteByByte) {
    LineBuffer buffer;
    std::vector<std::string> lines;
    for (char c : kStream) Feed(buffer, std::string(1, c), lines);
    EXPECT_EQ(lines, kLines);
}

TEST(LineBuffer, HoldsAPartialLineUntilItsLf) {
    LineBuffer buffer;
    std::vector<std::string> lines;
    Feed(buffer, "1002 W Al", lines);
    EXPECT_TRUE(lines.empty());
    Feed(buffer, "ice 1\r\n1005", lines);
    EXPECT_EQ(lines, std::vector<std::string>{"1002 W Alice 1\r"});
    EXPECT_EQ(buffer.NextLine(), nullptr);
}

// Bytes move to the front only when the tail is used up, not after each line.
TEST(LineBuffer, MovesBytesOnlyWhenTheTailIsUsedUp) {
    LineBuffer buffer;
    std::vector<std::string> lines;
    int room = 0;
    char* const front = buffer.ReadArea(room);
    EXPECT_EQ(room, kReceiveBufferSize);
    Feed(buffer, "line\npart", lines);
    EXPECT_EQ(buffer.ReadArea(room), front + 9);
    EXPECT_EQ(room, kReceiveBufferSize - 9);
    Feed(buffer, std::string(kReceiveBufferSize - 9, 'x'), lines);
    EXPECT_EQ(buffer.ReadArea(room), front + kReceiveBufferSize - 5);  // "line\n" is gone
    EXPECT_EQ(room, 5);
    Feed(buffer, "\n", lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "part" + std::string(kReceiveBufferSize - 9, 'x'));
    EXPECT_EQ(buffer.ReadArea(room), front);  // empty again: reads start at the front
    EXPECT_EQ(room, kReceiveBufferSize);
}

struct FillCase {
    int length;     // bytes before the LF
    bool lf;        // whether an LF follows
    int roomAfter;  // what the next read may take
};

class LineBufferFill : public ::testing::TestWithParam<FillCase> {};

TEST_P(LineBufferFill, LongestLineAndFullBuffer) {
    const FillCase& c = GetParam();
    LineBuffer buffer;
    std::vector<std::string> lines;
    Feed(buffer, std::string(static_cast<std::size_t>(c.length), '7') + (c.lf ? "\n" : ""), lines);
    EXPECT_EQ(lines.size(), c.lf ? 1u : 0u);
    int room = -1;
    buffer.ReadArea(room);
    EXPECT_EQ(room, c.roomAfter);
}

INSTANTIATE_TEST_SUITE_P(Edges, LineBufferFill,
                         ::testing::Values(FillCase{2047, true, kReceiveBufferSize},
                                           FillCase{2047, false, 1}, FillCase{2048, false, 0},
                                           FillCase{0, true, kReceiveBufferSize}));

// Lines of every length a buffer can frame, cut into reads of random sizes.
TEST(LineBuffer, RandomReadsGiveTheLinesSent) {
    std::mt19937 random(2048);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::string> sent;
        std::string stream;
        for (int i = 0; i < 40; ++i) {
            std::string line(random() % 2 == 0 ? random() % 16 : random() % kReceiveBufferSize,
                             'a');
            for (char& c : line) c = static_cast<char>(random() % 255 + 1);  // any byte but NUL
            for (char& c : line) c = c == '\n' ? 'n' : c;
            sent.push_back(line);
            stream += line + "\n";
        }
        LineBuffer buffer;
        std::vector<std::string> got;
        for (std::size_t at = 0; at < stream.size();) {
            int room = 0;
            buffer.ReadArea(room);
            ASSERT_GT(room, 0);
            const std::size_t take = std::min<std::size_t>(
                stream.size() - at, 1 + random() % static_cast<unsigned>(room));
            Feed(buffer, stream.substr(at, take), got);
            at += take;
        }
        EXPECT_EQ(got, sent);
    }
}

}  // namespace
}  // namespace nimbrel
