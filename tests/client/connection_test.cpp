// The connection, against a loopback peer that the test plays on a thread: the units the
// client sends, the framing and dispatch of what it reads, the ends of a connection and the
// retry policy; and what ships, as the system sees it act: the waits the client blocks in,
// the limits its socket carries, its pauses in order with its sends.
#include <atomic>

#include "platform.h"
#include "support/harness.h"

// The link-time seam: this SleepMs takes the place of the client's own. It records the
// pause, returns at once, and runs a test's hook, which may change the world between
// two attempts.
std::vector<unsigned> pauses;
std::function<void(int)> onPause;
void nimbrel::platform::SleepMs(unsigned milliseconds, Socket) {
    pauses.push_back(milliseconds);
    if (onPause) onPause(static_cast<int>(pauses.size()));
}

namespace nimbrel {

// Windows Sockets must be started before any socket call, the peer's too: version 1.1.
std::uint16_t version = 0;
const bool started = platform::StartUp(0x0101, version) == 1 && version == 0x0101;

// The tests' hosts file (tests/support/hosts) gives this name ::1 and 127.0.0.1: an IPv6
// address read as an IPv4 one would give 0.0.0.0, which reaches the loopback peer too.
TEST(Platform, StartsTheSocketLibraryAndLooksUpIpv4AddressesOnly) {
    EXPECT_TRUE(started);
    std::uint32_t address = 0;
    EXPECT_EQ(platform::ResolveName("dual-stack.test", address), 1);
    EXPECT_EQ(address, platform::NumericAddress("127.0.0.1"));
}

// Under wine the waits are wine's, Windows Sockets 1.1 sets keepalive alone and there is no
// nftables; a read after the client's own close or shutdown fails with the socket library's
// own codes.
#ifdef _WIN32
const int kDropped = 0, kConnectWaitMs = 0, kReadWaitMs = 0;
const std::string kSocketLimits, kNotASocket = "recv() returned -1, error code 10038\r\n",
                                 kShut = "recv() returned -1, error code 10058\r\n";
#else
const int kDropped = 1, kConnectWaitMs = 10000, kReadWaitMs = 1000;
// Keepalive on; probes after 60 s of silence, every 10 s, five of them; data left
// unacknowledged given up after 110 s.
const std::string kSocketLimits = "1 60 10 5 110000",
                  kNotASocket = "recv() returned -1, error code 9\r\n", kShut = test::kClosed;
#endif

// A name given with 200 characters keeps 127; with a password of 122 the logon unit fills
// the 255 bytes of one unit, and with 123 it does not fit and is not sent. The pause before
// the join is marked on the wire, where the test's SleepMs puts it.
const std::string kName(200, 'n');
std::string Units(int password) {
    return "\x03\x04" + kName.substr(0, 127) + "\r\n" + std::string(password, 'p') +
           "\r\n[pause 1000]/join The Void\r\n";
}

// One session: a row sets by name what differs from a client that logs on to the peer on
// 127.0.0.1, reads what it sends until it closes, and logs that end; and what it must see.
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
    FIELD(int, hangUpAt, HangUpAt, 0)           // the ID whose handler makes the client hang up
    FIELD(bool, clientEnds, ClientEnds, false)  // the peer stays silent until the client ends
    FIELD(bool, stall, Stall, false)  // the peer reads no more, and the client sends until it fails
    FIELD(bool, limits, Limits, false)  // the connected socket's limits are read back
    // The wait the client blocks in, timed: the connect's, where the connect is dropped, else
    // the read loop's first, after which a signal cuts the second short.
    FIELD(int, waitMs, WaitMs, 0)
    FIELD(std::string, trace, Trace, {})
    FIELD(std::string, log, Log, test::Log(test::kClosed))
    FIELD(std::string, channel, Channel, {})
    FIELD(std::string, userName, UserName, kName.substr(0, 127))
    FIELD(std::vector<unsigned>, pauses, Pauses, {1000})
#undef FIELD
};

using test::kFailed, test::kGiveUp, test::Log;
// Ten attempts that fail: to connect, 5 s apart, or to log on, at once.
const std::string kNoConnect = Log(kGiveUp, 10, kFailed);
const std::vector<unsigned> kTenRetries(10, 5000);
const std::string k255(255, 't');
// clang-format off
const Row kRows[] = {
    Row("TheJoinWaitsASecondAfterTheLogonAndTheReadLoopASecondForData")
        .Sends({"", "1001 W Zed 0\r\n"}).Trace("1001:Zed:0:;.").WaitMs(kReadWaitMs),
    Row("TheConnectionCarriesTheLimitsThatShip").Sends({"1001 W Zed 0\r\n"}).Trace("1001:Zed:0:;.")
        .Limits(true),
    Row("LinesReadTogetherAreAllDispatchedBeforeOnIdle").Sends({"1002 W Bob 1\r\n1003 W Al 1\r\n"})
        .Trace("1002:Bob:1:;1003:Al:1:;."),
    Row("TheCrOfALineEndStaysInTheLine").Sends({"1003 W Al 1 \"hi\r\n"}).Trace("1003:Al:1:hi\r;."),
    Row("AUnitTooLongForItsBufferIsNotSent").Sends({"1005 W n 1 \"" + k255 + "\"\r\n"})
        .Trace("1005:n:1:" + k255 + ";unsent;."),
    Row("TheChannelFollows1007AndTheUserName2010")
        .Sends({"2010 NAME Guest#2 0\r\n1007 \"" + std::string(300, 'c') + "\r\n"})
        .Trace("2010:Guest#2:0:;1007::0:" + std::string(255, 'c') + ";.").Channel(std::string(127, 'c'))
        .UserName("Guest#2"),
    Row("TheLongestLineThatFitsIsFramed").Sends({"1001 W n 1 \"" + std::string(2035, 't') + "\n"})
        .Trace("1001:n:1:" + k255 + ";."),
    Row("AFullBufferEndsTheConnection").Sends({"1" + std::string(2047, 'x')}).ClientEnds(true),
    Row("AHandlerThatHangsUpEndsTheLoopAfterTheLinesRead")
        .Sends({"1001 W Zed 0\r\n1001 W Amy 0\r\n"}).HangUpAt(1001).ClientEnds(true)
        .Trace("1001:Zed:0:;1001:Amy:0:;.").Log(Log(kNotASocket)),
    // A name for 127.0.0.1, whose first connect is dropped and given up at the limit; two
    // are refused; then the peer listens.
    Row("ADroppedConnectIsGivenUpAtTheLimitAndTried5sLater").Server("nimbrel.test")
        .Dropped(kDropped).ListenAt(3).Sends({"1001 W Zed 0\r\n"}).Trace("1001:Zed:0:;.")
        .WaitMs(kConnectWaitMs).Log(Log(test::kClosed, 3, kFailed)).Pauses({5000, 5000, 5000, 1000}),
    // The send that fails waited for the limit; the read loop then ends at once.
    Row("ASendCutShortByTheLimitFailsAndShutsTheConnection").Stall(true).Log(Log(kShut)).Pauses({1000}),
    Row("TenRefusedConnectsGiveUp").Server("127.0.0.2").Log(kNoConnect).Pauses(kTenRetries),
    // Not digits and dots: a name, which does not resolve, though inet_addr reads its start.
    Row("ANameThatDoesNotResolveFailsTheConnect").Server("127.0.0.1 x").Log(kNoConnect)
        .Pauses(kTenRetries),
    // Digits and dots that make no address: inet_addr gives all ones, which no connect
    // reaches, where 0.0.0.0 would reach this host and the peer.
    Row("DigitsAndDotsThatMakeNoAddressReachNoHost").Server("999.0.0.1").Log(kNoConnect)
        .Pauses(kTenRetries),
    Row("ALogonTooLongForAUnitIsRetriedAtOnce").Server("2130706433").Password(123)
        .Log(Log(kGiveUp, 10, "Logon() failed.\r\n")).Pauses({}),
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
    ASSERT_TRUE(row.dropped == 0 || test::CutOff());
    pauses.clear();
    // Each pause is marked on the wire, where there is a connection (a send on no socket
    // fails): pauses and sends are one ordered trace.
    // The wait the client blocks in, timed from the start of what blocks in it.
    auto start = test::Clock::now();
    test::Clock::duration waited{};
    onPause = [&](int pause) {
        if (pause == 1 && row.dropped != 0) waited = test::Clock::now() - start;
        const std::string mark = "[pause " + std::to_string(pauses.back()) + "]";
        platform::SendBytes(client.sock, mark.data(), static_cast<int>(mark.size()),
                            platform::kInvalidSocket);
        if (pause == row.dropped) test::CutOff(false);
        if (pause == row.listenAt) peer.Listen();
    };
    if (row.listenAt == 0) peer.Listen();
    const int sockets = test::OpenSockets();
    const bool connected = !row.sends.empty() || row.stall;
    EXPECT_EQ(client.ConnectAndLogon(), connected ? 1 : 0);
    EXPECT_EQ(row.limits ? test::SocketLimits(client.sock) : kSocketLimits, kSocketLimits);
    EXPECT_EQ(client.Send("%s", ""), connected ? 1 : 0);  // an empty unit is no failure
    EXPECT_TRUE(!connected || (peer.Accept() && peer.Expect(Units(row.password))));
    auto began = test::Clock::now();  // the last send's start
    for (int sent = 0; row.stall && sent < 1000000 && client.Send("%0250d\r\n", sent); ++sent)
        began = test::Clock::now();
    EXPECT_TRUE(!row.stall || test::Clock::now() - began > std::chrono::seconds(4));
    // The read loop's first wait is timed; a signal then cuts the second short, which has no
    // data: taken for readiness, it would leave the client blocked in a read, which the next
    // signal fails.
    const bool timesRead = row.waitMs != 0 && row.dropped == 0;
    // At each idle call the peer sends the row's next bytes, which the client reads alone on
    // its next pass; after the last, it closes, unless the client
    // must end the connection itself: if it has not within ten passes, the peer closes. A
    // client still reading ten passes later, on a connection the peer never took, hangs up.
    std::size_t pass = 0;
    client.onIdle = [&] {
        if (timesRead && pass < 2) test::Interrupt(pass == 0 ? 300 : 0);
        if (timesRead && pass == 0) waited = test::Clock::now() - start;
        if (pass < row.sends.size()) peer.Send(row.sends[pass]);
        if (pass == row.sends.size() + (row.clientEnds ? 10 : 0)) peer.Close();
        if (pass++ == row.sends.size() + 20) client.Disconnect();
    };
    start = test::Clock::now();
    client.ReceiveLoop();
    test::Interrupt(0);
    EXPECT_LE(pass, row.sends.size() + 1);
    peer.Close();
    // Sends after the end fail, with a result and never with a signal.
    EXPECT_TRUE(test::WaitFor([&] { return client.Send("Hi, all!\r\n") == 0; }));
    client.Disconnect();
    client.ReceiveLoop();  // without a socket: at once, logging nothing
    const int waitedMs =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count());
    EXPECT_TRUE(row.waitMs == 0 ||
                (waitedMs >= row.waitMs * 9 / 10 && waitedMs < row.waitMs * 7 / 4))
        << waitedMs << " ms";
    EXPECT_EQ(test::OpenSockets(), sockets);  // no attempt leaves its socket open
    EXPECT_EQ(client.trace, row.trace);
    EXPECT_EQ(client.channel, row.channel);
    EXPECT_EQ(client.userName, row.userName);
    EXPECT_EQ(test::ReadFile(dir.File("log")), row.log);
    EXPECT_EQ(pauses, row.pauses);
    EXPECT_EQ(peer.received, connected ? Units(row.password) : "");
}

INSTANTIATE_TEST_SUITE_P(Rows, Connection, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.label); });

// A stop ends ConnectAndLogon in the pause before the join, closing the socket, and in a
// connect that the host drops, from another thread, long before the connect's limit; and the
// read loop in a handler, before the next line of the same read. Each is logged once, as
// itself; a stopped client stays so until Resume.
TEST(Stop, EndsEachWaitAndTheLoopAndIsLoggedOnceAsItself) {
    test::TempDir dir;
    test::Peer peer;
    peer.Listen();
    test::RecordingClient client;
    client.OpenLog(dir.File("log").c_str());
    client.SetLogonInfo("Guest", "", "127.0.0.1", peer.port);
    client.SetHomeChannel("The Void");
    const std::string stopped = test::kAttempt + "Stopped on request.\r\n",
                      logon = "\x03\x04Guest\r\n\r\n";
    std::string log = stopped;
    onPause = [&](int) { client.Stop(); };
    EXPECT_EQ(client.ConnectAndLogon(), 0);
    onPause = nullptr;
    EXPECT_EQ(client.sock, platform::kInvalidSocket);
    EXPECT_TRUE(peer.Accept() && peer.Expect(logon));
    EXPECT_EQ(client.ConnectAndLogon(), 0);
    client.Resume();
#ifndef _WIN32  // no firewall under wine
    ASSERT_TRUE(test::CutOff());
    std::thread stopper([&] { std::this_thread::sleep_for(300ms), client.Stop(); });
    const auto start = test::Clock::now();
    EXPECT_EQ(client.ConnectAndLogon(), 0);
    EXPECT_LT(test::Clock::now() - start, std::chrono::milliseconds(kConnectWaitMs / 2));
    stopper.join();
    test::CutOff(false);
    client.Resume();
    log += stopped;
#endif
    client.stopAt = 1001;
    client.onIdle = [&] { client.Disconnect(); };  // the lines are there before the first wait
    EXPECT_EQ(client.ConnectAndLogon(), 1);
    EXPECT_TRUE(peer.Accept() && peer.Expect(logon + "/join The Void\r\n") &&
                peer.Send("1001 W Zed 0\r\n1001 W Amy 0\r\n"));
    client.ReceiveLoop();
    EXPECT_EQ(client.trace, "1001:Zed:0:;");
    EXPECT_EQ(peer.received, logon + logon + "/join The Void\r\n");
    EXPECT_EQ(test::ReadFile(dir.File("log")), log + stopped);
    client.Disconnect();

    // A send that the server does not take, stopped from another thread once the sends have
    // stalled (none for 200 ms: a send waits for room): the read loop ends well within the
    // send's limit of 5 s from the stop, and no failure is logged.
    client.Resume();
    EXPECT_EQ(client.ConnectAndLogon(), 1);
    ASSERT_TRUE(peer.Accept() && peer.Expect(logon + "/join The Void\r\n"));
    std::thread sendStopper;
    test::Clock::time_point stoppedAt;
    std::atomic<int> sent{0};
    client.onIdle = [&] {
        sendStopper = std::thread([&] {
            for (int before = -1, i = 0; i < 300 && sent.load() != before; ++i)
                before = sent.load(), std::this_thread::sleep_for(200ms);
            stoppedAt = test::Clock::now(), client.Stop();
        });
        while (sent.load() < 1000000 && client.Send("%0250d\r\n", sent.load())) ++sent;
    };
    client.ReceiveLoop();
    const auto returned = test::Clock::now();
    sendStopper.join();
    EXPECT_LT(returned - stoppedAt, std::chrono::milliseconds(2500));
    EXPECT_EQ(test::ReadFile(dir.File("log")), log + stopped + stopped);
}

// A client connected again holds one socket: the first is closed, not left behind; and one
// destroyed connected and stopped leaves no descriptor open, its socket's nor its wake's.
TEST(Connect, AClientHoldsOneSocketAndLeavesNoDescriptorOpenWhenDestroyed) {
    test::Peer peer;
    peer.Listen();
    const int sockets = test::OpenSockets(), descriptors = test::OpenFiles();
    {
        ChatClient client;
        client.SetLogonInfo("Guest", "", "127.0.0.1", peer.port);
        EXPECT_EQ(client.Connect() + client.Connect(), 2);
        EXPECT_LE(test::OpenSockets(), sockets + 1);
        client.Stop();
    }
    EXPECT_EQ(test::OpenFiles(), descriptors);
}

}  // namespace nimbrel
