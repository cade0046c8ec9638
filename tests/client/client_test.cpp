// The chat client: the parser against the C library's sscanf and the rows that sscanf
// cannot judge; dispatch to every handler slot and the log's bytes; and, against a loopback
// peer that the test plays on a thread, the units it sends, the framing and dispatch of
// what it reads, its idle calls, the ends of a connection and the retry policy.
#include <thread>

#include "support/harness.h"

// The link-time seam: this SleepMs takes the place of the client's own. It records the
// pause, returns at once, and runs a test's hook, which may change the world between
// two attempts.
std::vector<unsigned> pauses;
std::function<void(int)> onPause;
void nimbrel::platform::SleepMs(unsigned milliseconds) {
    pauses.push_back(milliseconds);
    if (onPause) onPause(static_cast<int>(pauses.size()));
}

namespace nimbrel {

// Windows Sockets must be started before any socket call; elsewhere this only checks.
std::uint16_t version = 0;
[[maybe_unused]] const int started = platform::StartUp(0x0101, version);
// Lines of the bytes that matter to the scan, where sscanf is defined.
TEST(ParseEvent, AgreesWithScanfOrTheRulesBeyondIt) {
    std::mt19937 random(20261206);
    const char alphabet[] = "0123456789abcdefABCDEFxXgG:@+-\" \t\r\v\f\xA0\xFF_1002107";
    for (int round = 0; round < 20000; ++round) {
        std::string line = round % 2 == 0 ? "100" : "";
        for (auto i = random() % 40; i > 0; --i) line += alphabet[random() % (sizeof alphabet - 1)];
        const std::string expected = test::ScanfFields(line.c_str());
        ASSERT_EQ(expected.empty() ? "" : test::Parsed(line.c_str()), expected)
            << '[' << line << ']';
    }

    // Where sscanf is undefined or cannot be asked: long tokens, saturation, bytes above
    // 127, a NUL within the line, and text longer than its field.
    const std::string k127(127, 'n'), k255(255, 't');
    const std::pair<std::string, std::string> rows[] = {
        {"99999999999 " + std::string(5000, 'w') + " " + k127 + "XYZ 123456789",
         "2147483647:" + k127 + ":ffffffff:"},
        {"-99999999999 \xA0 \xE9t\xE9 -123456789", "-2147483648:\xE9t\xE9:ffffffff:"},
        {std::string("1002 W Al\0ice 10 \"x\"", 20), "1002:Al:0:"},
        {"2147483646 W n ffffffff", "2147483646:n:ffffffff:"},
        {"1005 T n 1 \"" + k255 + "u\"", "1005:n:1:" + k255},  // cut before the quote search
        {"1005 T n 1 \"ab\"" + k255 + "\"", "1005:n:1:ab"},
    };
    for (const auto& [line, fields] : rows) EXPECT_EQ(test::Parsed(line.c_str()), fields) << line;
}

// Each known ID reaches its slot; an unknown one is logged, in CR LF lines that are in the
// file at once and cut to 1023 bytes. The log is appended to, and only while it is open; a
// line cut short, by a full disk say, is ended before the next.
TEST(DispatchEvent, ReachesEachSlotOrLogsTheId) {
    test::TempDir dir;
    const std::string path = dir.File("log");
    test::RecordingClient client;
    EXPECT_EQ(client.Log("before"), 0);
    EXPECT_EQ(client.OpenLog(dir.File("missing/log").c_str()), 0);
    std::ofstream(path, std::ios::binary) << "earlier\r\ncut sho";  // as a full disk leaves it
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    EXPECT_EQ(client.OpenLog(dir.File("other").c_str()), 0);  // the first stays
    for (int id : {1001, 1002, 1009, 1003, 1005, 1006, 1007, 1004, 1010, 1023, 1013, 1014, 1015,
                   1018, 1019, 2010}) {
        EXPECT_EQ(client.DispatchEvent((std::to_string(id) + " W Al 10 \"a b\"\r").c_str()), 1);
    }
    EXPECT_EQ(client.DispatchEvent("1008 W Al 10"), 0);
    std::string trace;  // slots 7 and 11 to 15 take only the text
    for (int s = 1; s <= 16; ++s)
        trace += std::to_string(s) + (s == 7 || (s > 10 && s < 16) ? "::0:a b;" : ":Al:10:a b;");
    EXPECT_EQ(client.trace, trace);
    EXPECT_STREQ(client.UserName(), "Al");  // from 2010, as the channel is from 1007
    EXPECT_STREQ(client.Channel(), "a b");
    client.DispatchEvent(("1007 \"" + std::string(300, 'c')).c_str());
    EXPECT_EQ(client.Channel(), std::string(127, 'c'));
    EXPECT_EQ(client.Log("%s", std::string(5000, 'm').c_str()), 1);
    EXPECT_EQ(test::ReadFile(path), "earlier\r\ncut sho\r\nUnhandled event ID 1008\r\n" +
                                        std::string(1023, 'm') + "\r\n");
    client.CloseLog();
    EXPECT_EQ(client.Log("after"), 0);
}

extern "C" int FuzzParseEvent(const std::uint8_t*, std::size_t),
    FuzzReadLoop(const std::uint8_t*, std::size_t);

TEST(Fuzz, CorpusReplays) {
    for (const auto& [target, corpus] :
         {std::pair(&FuzzParseEvent, "/parse_event"), std::pair(&FuzzReadLoop, "/read_loop")}) {
        for (const auto& file :
             std::filesystem::directory_iterator(NIMBREL_CORPUS + std::string(corpus))) {
            const std::string bytes = test::ReadFile(file.path().string());
            target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
    }
}

// A name given with 200 characters keeps 127; with a password of 122 the logon unit fills
// the 255 bytes of one unit, and with 123 it does not fit and is not sent.
const std::string kName(200, 'n');
std::string Units(int password) {
    return "\x03\x04" + kName.substr(0, 127) + "\r\n" + std::string(password, 'p') +
           "\r\n/join The Void\r\n";
}
std::string Log(const std::string& end, int times = 0, const std::string& line = "") {
    std::string log = "Attempting to connect...\r\n";
    while (times-- > 0) log += line;
    return log + end;
}
struct Row {
    const char *label, *server;
    int listenAt;  // the pause after which the peer listens: 0 at once, -1 never
    int password;
    // What the peer sends after the logon and the join, each once the client has read the
    // one before; nothing: it never accepts.
    std::vector<std::string> sends;
    int hangUpAt;  // the slot whose call makes the client hang up
    std::string trace, log;
    std::vector<unsigned> pauses;
    std::string replies = "";  // what the client sends after the join
};

// What a read on a socket that a handler closed reports, in the system's own numbers.
#ifdef _WIN32
const std::string kNotASocket = "recv() returned -1, error code 10038\r\n";  // WSAENOTSOCK
#else
const std::string kNotASocket = "recv() returned -1, error code 9\r\n";  // EBADF
#endif
// Stream: one line across two reads is dispatched once and whole; lines that do not start
// with a digit are dropped; lines read together are all dispatched before the next OnIdle;
// the CR of CR LF stays in the line; a 1005's replies are formatted as printf would; a
// handler hangs up, which ends the loop. LongLines:
// the longest line still framed, then a partial line that fills the buffer: no read can
// take more, so the connection ends at once, though the server stays silent.
// clang-format off
const std::string kClosed = "recv() returned 0, error code 0\r\n", kFailed = "Connect() failed.\r\n";
const std::string kGiveUp = "Unable to log on after 10 tries - giving up.\r\n";
const Row kRows[] = {
    {"Stream", "127.0.0.1", 0, 122, {"100", "2 W Alice 0010\r\n", "hello 1002 W X 1\r\n\r\n\n 1002 W Dan 1\r\n"
     "1002 W Bob 1\r\n1005 W Carol 2 \"hi\r\n1003 W Al 1\r\n1003 W Bo 1\r\n"}, 4,
     "2:Alice:10:;.2:Bob:1:;5:Carol:2:hi\r;4:Al:1:;4:Bo:1:;.", Log(kNotASocket), {1000}, "Carol: hi\r%\r\n    2|Carol\r\n"},
    {"LongLines", "127.1", 0, 122, {"1005 W n 1 \"" + std::string(2035, 't') + "\n", "1" + std::string(2047, 'x')}, 0,
     "5:n:1:" + std::string(255, 't') + ";.", Log(kClosed), {1000}},
    {"ServerComesBack", "0x7f.1", 3, 122, {"1001 W Zed 0\r\n"}, 1, "1:Zed:0:;.", Log(kNotASocket, 3, kFailed),
     {5000, 5000, 5000, 1000}},
    {"NothingListening", "127.0.0.2", 0, 122, {}, 0, "", Log(kGiveUp, 10, kFailed), std::vector<unsigned>(10, 5000)},
    {"UnknownHost", "no-such-host.invalid", -1, 122, {}, 0, "", Log(kGiveUp, 10, kFailed), std::vector<unsigned>(10, 5000)},
    {"LogonTooLong", "2130706433", 0, 123, {}, 0, "", Log(kGiveUp, 10, "Logon() failed.\r\n"), {}},
};
// clang-format on

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class Connection : public ::testing::TestWithParam<Row> {};

TEST_P(Connection, Session) {
    const Row& row = GetParam();
    test::TempDir dir;
    test::Peer peer;
    test::RecordingClient client;
    client.hangUpAt = row.hangUpAt;
    client.OpenLog(dir.File("log").c_str());
    client.SetLogonInfo(kName.c_str(), std::string(row.password, 'p').c_str(), row.server,
                        peer.port);
    client.SetHomeChannel("The Void");
    pauses.clear();
    onPause = [&](int pause) {
        if (pause == row.listenAt) peer.Listen();
    };
    onPause(0);
    std::atomic<bool> ended{false};
    test::Clock::time_point lastSend;
    std::thread server([&] {
        if (!row.sends.empty() && peer.Accept() && peer.Expect(Units(row.password))) {
            int idles = 0;
            for (const std::string& bytes : row.sends) {
                // Two more passes of the loop: the second began after the last bytes came.
                EXPECT_TRUE(test::WaitFor([&] { return client.idles >= idles; }));
                idles = client.idles + 2;
                peer.Send(bytes);
            }
            peer.Expect(row.replies);
            // The client ends the connection itself, at once: the peer stays silent till then.
            lastSend = test::Clock::now();
            test::WaitFor([&] { return ended.load(); });
        }
        peer.Close();
    });

    const int descriptors = test::OpenDescriptors();
    const auto begin = test::Clock::now();
    EXPECT_EQ(client.ConnectAndLogon(), row.sends.empty() ? 0 : 1);
    EXPECT_EQ(client.ReceiveLoop(), 0);
    const auto end = test::Clock::now();
    ended = true;
    // Without data the loop wakes once a second: never busily, and never not at all.
    EXPECT_LE(client.idles, 4 + (end - begin) / 500ms);
    // The connection has ended: sends fail, with a result and never with a signal.
    int failed = 0;
    for (int i = 0; i < 200 && failed < 3; ++i, std::this_thread::sleep_for(5ms)) {
        failed += 1 - client.Send("Hi, all!\r\n");
    }
    EXPECT_EQ(failed, 3);
    client.Disconnect();
    EXPECT_EQ(client.ReceiveLoop(), 0);  // without a socket: at once, logging nothing
    server.join();
    EXPECT_TRUE(row.sends.empty() || end - lastSend < 1s);
    EXPECT_EQ(test::OpenDescriptors(), descriptors);
    EXPECT_EQ(client.trace, row.trace);
    EXPECT_EQ(test::ReadFile(dir.File("log")), row.log);
    EXPECT_EQ(pauses, row.pauses);
    EXPECT_EQ(peer.received, row.sends.empty() ? "" : Units(row.password) + row.replies);
}

INSTANTIATE_TEST_SUITE_P(Rows, Connection, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace nimbrel
