// The chat client: the parser against the C library's sscanf and the rows that sscanf
// cannot judge; dispatch to every handler slot and the log's bytes; and, against a loopback
// peer that the test plays on a thread, the units it sends, the framing and dispatch of
// what it reads, its idle calls, the ends of a connection and the retry policy.
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
const int started = platform::StartUp(0x0101, version);
// Lines of the bytes that matter to the scan, where sscanf is defined.
TEST(ParseEvent, AgreesWithScanfOrTheRulesBeyondIt) {
    std::mt19937 random(20261206);
    // A control byte that is no white space; blanks, then the rest of white space, last.
    const char alphabet[] = "0123456789abcdefABCDEFxXgG:@+-\"\xA0\xFF\x01_1002107      \t\r\v\f";
    for (int round = 0; round < 20000; ++round) {
        // Every fourth line is an ID and words between blanks, as servers send.
        const bool usual = round % 4 == 1;
        std::string line = usual       ? std::to_string(995 + random() % 32) + ' '
                           : round % 2 ? ""
                                       : "100";
        for (auto i = random() % 40; i > 0; --i)
            line += alphabet[random() % (sizeof alphabet - (usual ? 5 : 1))];
        const std::string expected = test::ScanfFields(line.c_str());
        ASSERT_EQ(expected.empty() ? "" : test::Parsed(line.c_str()), expected) << line;
    }

    // Where sscanf is undefined or cannot be asked: long tokens, saturation, bytes above
    // 127, and text longer than its field. Eight hex digits fit: the overflow begins at the
    // ninth, whatever the first seven (the byte-wise scan's: two blanks keep the line off the
    // usual line's path).
    const std::string k127(127, 'n'), k255(255, 't');
    const std::pair<std::string, std::string> rows[] = {
        {"99999999999 " + std::string(5000, 'w') + " " + k127 + "XYZ 123456789",
         "2147483647:" + k127 + ":4294967295:"},
        {"-99999999999 \xA0 \xE9t\xE9 -123456789", "-2147483648:\xE9t\xE9:4294967295:"},
        {"2147483648 W n ffffffff", "2147483647:n:4294967295:"},
        {"1002 W  n fffffff0", "1002:n:4294967280:"},
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
    EXPECT_EQ(client.OpenLog(dir.File("missing/log").c_str()), 0);
    std::ofstream(path, std::ios::binary) << "earlier\r\ncut sho";  // as a full disk leaves it
    ASSERT_EQ(client.OpenLog(path.c_str()), 1);
    EXPECT_EQ(client.OpenLog(dir.File("other").c_str()), 0);  // the first stays
    for (int id : {1001, 1002, 1009, 1003, 1005, 1006, 1007, 1004, 1010, 1023, 1013, 1014, 1015,
                   1018, 1019, 2010})
        EXPECT_EQ(client.DispatchEvent((std::to_string(id) + " W Al 10 \"a b\"\r").c_str()), 1);
    EXPECT_EQ(client.DispatchEvent("1008 W Al 10"), 0);
    std::string trace;  // slots 7 and 11 to 15 take only the text
    for (int s = 1; s <= 16; ++s)
        trace += std::to_string(s) + (s == 7 || (s > 10 && s < 16) ? "::0:a b;" : ":Al:16:a b;");
    EXPECT_EQ(client.trace, trace);
    EXPECT_STREQ(client.userName, "Al");  // from 2010, as the channel is from 1007
    EXPECT_STREQ(client.channel, "a b");
    client.DispatchEvent(("1007 \"" + std::string(300, 'c')).c_str());
    EXPECT_EQ(client.channel, std::string(127, 'c'));
    EXPECT_EQ(client.Log("%s", std::string(5000, 'm').c_str()), 1);
    EXPECT_EQ(test::ReadFile(path), "earlier\r\ncut sho\r\nUnhandled event ID 1008\r\n" +
                                        std::string(1023, 'm') + "\r\n");
    client.CloseLog();
    EXPECT_EQ(client.Log("after"), 0);
}

extern "C" int FuzzParseEvent(const uint8_t*, size_t), FuzzReadLoop(const uint8_t*, size_t);

TEST(Fuzz, CorpusReplays) {
    for (const auto& [target, corpus] :
         {std::pair(&FuzzParseEvent, "/parse_event"), std::pair(&FuzzReadLoop, "/read_loop")})
        for (const auto& file :
             std::filesystem::directory_iterator(NIMBREL_CORPUS + std::string(corpus))) {
            const std::string bytes = test::ReadFile(file.path().string());
            target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        }
}

// A name given with 200 characters keeps 127; with a password of 122 the logon unit fills
// the 255 bytes of one unit, and with 123 it does not fit and is not sent. The pause before
// the join is marked on the wire, where the test's SleepMs puts it.
const std::string kName(200, 'n');
std::string Units(int password) {
    return "\x03\x04" + kName.substr(0, 127) + "\r\n" + std::string(password, 'p') +
           "\r\n[pause 1000]/join The Void\r\n";
}

// What ships, as the system sees it act: the waits that the client blocks in, the limits
// that its connected socket carries, and what a read on a socket that a handler closed
// reports. Under wine, the waits are wine's and Windows Sockets 1.1 sets keepalive alone.
// A name that resolves to 127.0.0.1 without a hosts file, and what Windows takes for one.
#ifdef _WIN32
const int kDropped = 0, kConnectWaitMs = 0, kReadWaitMs = 0;  // no nft under wine
const std::string kName127 = "localhost", kSocketLimits,
                  kNotASocket = "recv() returned -1, error code 10038\r\n";  // WSAENOTSOCK
#else
const int kDropped = 1, kConnectWaitMs = 10000, kReadWaitMs = 1000;
// Keepalive on; probes after 60 s of silence, every 10 s, five of them; data left
// unacknowledged given up after 110 s; a send that cannot be queued, after 5 s.
const std::string kName127 = "0x7f.1", kSocketLimits = "1 60 10 5 110000 5.0 ",
                  kNotASocket = "recv() returned -1, error code 9\r\n";  // EBADF
#endif

// One session: a row sets by name what differs from a client that logs on to the peer on
// 127.0.0.1, and what it must see.
struct Row {
    explicit Row(const char* name) : label(name) {}
    const char* label;
    // clang-format off
#define FIELD(Type, member, Setter, ...) Type member = __VA_ARGS__; Row& Setter(Type value) { member = std::move(value); return *this; }
    // clang-format on
    FIELD(const char*, server, Server, "127.0.0.1")
    FIELD(int, listenAt, ListenAt, 0)  // the pause after which the peer listens
    FIELD(int, dropped, Dropped, 0)    // the pause until which nftables drops the connects
    FIELD(int, password, Password, 122)
    // What the peer sends after the logon and the join, each once the client has read the
    // one before; nothing: it never accepts.
    FIELD(std::vector<std::string>, sends, Sends, {})
    FIELD(int, hangUpAt, HangUpAt, 0)  // the slot whose call makes the client hang up
    FIELD(std::string, trace, Trace, "")
    FIELD(std::string, replies, Replies, "")  // what the client sends after the join
    FIELD(std::string, log, Log, "")
    FIELD(std::vector<unsigned>, pauses, Pauses, {})
#undef FIELD
};

using test::kClosed, test::kFailed, test::kGiveUp, test::Log;
// Ten attempts that fail: to connect, 5 s apart, or to log on, at once.
const std::string kNoConnect = Log(kGiveUp, 10, kFailed),
                  kNoLogon = Log(kGiveUp, 10, "Logon() failed.\r\n");
const std::vector<unsigned> kTenRetries(10, 5000);
const Row kRows[] = {
    // One line across two reads is dispatched once and whole; lines that do not start with
    // a digit are dropped; lines read together are all dispatched before the next OnIdle;
    // the CR of CR LF stays in the line; a 1005's replies are formatted as printf would,
    // and one too long for a unit is not sent.
    // The longest line that fits is framed; then a partial line fills the buffer: no read
    // can take more, so the connection ends at once, though the peer stays silent.
    Row("Stream")
        .Server("127.1")
        .Sends({"100", "2 W Alice 0010\r\n",
                "hello 1002 W X 1\r\n\r\n\n 1002 W Dan 1\r\n1002 W Bob 1\r\n1005 W Carol 2 "
                "\"hi\r\n1003 W Al 1\r\n",
                "1005 W n 1 \"" + std::string(2035, 't') + "\n", "1" + std::string(2047, 'x')})
        .Trace("2:Alice:16:;.2:Bob:1:;5:Carol:2:hi\r;4:Al:1:;.5:n:1:" + std::string(255, 't') +
               ";.")
        .Replies("Carol: hi\r%\r\n    2|Carol\r\n    1|n  \r\n")
        .Log(Log(kClosed))
        .Pauses({1000}),
    // A name for 127.0.0.1; its first connect dropped and given up at the
    // limit, two refused, then the peer listens. A handler hangs up: the lines already read
    // are dispatched, and the next read ends the loop.
    Row("ServerComesBack")
        .Server(kName127.c_str())
        .Dropped(kDropped)
        .ListenAt(3)
        .Sends({"1001 W Zed 0\r\n1001 W Amy 0\r\n"})
        .HangUpAt(1)
        .Trace("1:Zed:0:;1:Amy:0:;.")
        .Log(Log(kNotASocket, 3, kFailed))
        .Pauses({5000, 5000, 5000, 1000}),
    Row("NothingListening").Server("127.0.0.2").Log(kNoConnect).Pauses(kTenRetries),
    // Not digits and dots: a name, which does not resolve, though inet_addr reads its start.
    Row("UnknownHost").Server("127.0.0.1 x").Log(kNoConnect).Pauses(kTenRetries),
    Row("LogonTooLong").Server("2130706433").Password(123).Log(kNoLogon),
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.label; }

class Connection : public ::testing::TestWithParam<Row> {};

TEST_P(Connection, Session) {
    const Row& row = GetParam();
    EXPECT_EQ(started, 1);  // results are 1 or 0, here as everywhere
    test::TempDir dir;
    test::Peer peer;
    test::RecordingClient client;
    client.hangUpAt = row.hangUpAt;
    client.OpenLog(dir.File("log").c_str());
    client.SetLogonInfo(kName.c_str(), std::string(row.password, 'p').c_str(), row.server,
                        peer.port);
    client.SetHomeChannel("The Void");
    ASSERT_TRUE(row.dropped == 0 || test::CutOff());
    pauses.clear();
    // Each pause is marked on the wire, where there is a connection (a send on no socket
    // fails): pauses and sends are one ordered trace.
    onPause = [&](int pause) {
        const std::string mark = "[pause " + std::to_string(pauses.back()) + "]";
        platform::SendBytes(client.sock, mark.data(), static_cast<int>(mark.size()));
        if (pause == row.dropped) test::CutOff(false);
        if (pause == row.listenAt) peer.Listen();
    };
    if (row.listenAt == 0) peer.Listen();
    std::atomic<bool> ended{false};
    int waitMs = 0;
    std::thread server([&] {
        if (row.dropped > 0) waitMs = test::BlockedWaitMs();  // the connect's
        if (!row.sends.empty() && peer.Accept() && peer.Expect(Units(row.password))) {
            if (row.dropped == 0) waitMs = test::BlockedWaitMs(true);  // the read loop's
            int idles = 1;  // the first bytes wait for an idle call: the interrupted wait's
            for (const std::string& bytes : row.sends) {
                // Two more passes of the loop: the second began after the last bytes came.
                EXPECT_TRUE(test::WaitFor([&] { return client.idles >= idles; }));
                idles = client.idles + 2;
                // Every reply comes before the last bytes, which may end the connection.
                if (&bytes == &row.sends.back()) peer.Expect(row.replies);
                peer.Send(bytes);
            }
            // The client ends the connection itself: the peer stays silent till then.
            EXPECT_TRUE(test::WaitFor([&] { return ended.load(); }));
        }
        peer.Close();
    });

    // A name gives its own address: the zero address would reach the peer as well.
    std::uint32_t address = 0;
    EXPECT_EQ(platform::ResolveName(kName127.c_str(), address) * address,
              platform::NumericAddress("127.1"));
    const int sockets = test::OpenSockets();
    const auto begin = test::Clock::now();
    // Logged on, an empty unit goes out as nothing, and that is no failure.
    EXPECT_EQ(client.ConnectAndLogon() + client.Send("%s", ""), row.sends.empty() ? 0 : 2);
    EXPECT_EQ(test::SocketLimits(client.sock), row.sends.empty() ? "" : kSocketLimits);
    EXPECT_EQ(client.ReceiveLoop(), 0);
    const auto end = test::Clock::now();
    ended = true;
    // Without data the loop wakes once a second: never busily.
    EXPECT_LE(client.idles, 4 + (end - begin) / 500ms);
    // The connection has ended: sends fail, with a result and never with a signal.
    int failed = 0;
    EXPECT_TRUE(test::WaitFor([&] { return (failed += 1 - client.Send("Hi, all!\r\n")) >= 3; }));
    client.Disconnect();
    EXPECT_EQ(client.ReceiveLoop(), 0);  // without a socket: at once, logging nothing
    server.join();
    EXPECT_EQ(waitMs, row.sends.empty() ? 0 : row.dropped ? kConnectWaitMs : kReadWaitMs);
    EXPECT_EQ(test::OpenSockets(), sockets);
    EXPECT_EQ(client.trace, row.trace);
    EXPECT_EQ(test::ReadFile(dir.File("log")), row.log);
    EXPECT_EQ(pauses, row.pauses);
    EXPECT_EQ(peer.received, row.sends.empty() ? "" : Units(row.password) + row.replies);
}

INSTANTIATE_TEST_SUITE_P(Rows, Connection, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace nimbrel
