// The connection to the server: connect, log on, send, and the read loop.
#include <cstdarg>
#include <cstdio>

#include "chat_client.h"
#include "event_table.h"
#include "line_buffer.h"
#include "platform.h"
#include "text.h"

namespace nimbrel {

namespace {

constexpr int kLogonAttempts = 10;
constexpr unsigned kRetryPauseMs = 5000;
// The server needs a moment after the logon before it takes commands.
constexpr unsigned kJoinPauseMs = 1000;
constexpr int kIdleWaitMs = 1000;

}  // namespace

int ChatClient::Connect() {
    // A socket left from an earlier attempt would leak when the new one replaces it.
    Disconnect();
    std::uint32_t address = 0;
    const char* p = server;
    while (IsDigit(*p) || *p == '.') ++p;
    if (*p == '\0') {
        // Digits and dots only, or nothing: inet_addr decides, and may give all ones.
        address = platform::NumericAddress(server);
    } else if (!platform::ResolveName(server, address)) {
        return 0;
    }
    sock = platform::OpenTcpSocket();
    return sock == platform::kInvalidSocket ? 0 : platform::ConnectTo(sock, address, port, Wake());
}

int ChatClient::Logon() { return Send("%c%c%s\r\n%s\r\n", 3, 4, logonName, password); }

int ChatClient::Send(const char* format, ...) {
    char unit[kTextSize];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(unit, sizeof unit, format, args);
    va_end(args);
    // A unit cut to fit would lose its CR LF and run into the next one on the server's
    // side: send nothing instead.
    if (length < 0 || length >= kTextSize) return 0;
    return platform::SendBytes(sock, unit, length, Wake()) >= 0 ? 1 : 0;
}

void ChatClient::Disconnect() {
    if (sock != platform::kInvalidSocket) platform::CloseSocket(sock);
    sock = platform::kInvalidSocket;
}

// The wake is made by the client's own thread, before the first look at the stop that
// precedes a wait: a stop that comes later finds it and raises it, and one that came
// before is seen by that look.
platform::Socket ChatClient::Wake() {
    platform::Socket in = wakeIn.load();
    if (in == platform::kInvalidSocket) {
        platform::Socket out = platform::kInvalidSocket;
        if (platform::OpenWake(in, out) == 0) return platform::kInvalidSocket;
        wakeOut.store(out);
        wakeIn.store(in);
    }
    return in;
}

void ChatClient::Stop() noexcept {
    int running = 0;
    if (!stopState.compare_exchange_strong(running, 1)) return;
    const platform::Socket out = wakeOut.load();
    if (out != platform::kInvalidSocket) platform::RaiseWake(out);
}

bool ChatClient::Stopped() const noexcept { return stopState.load() != 0; }

void ChatClient::Resume() noexcept {
    stopState.store(0);
    const platform::Socket in = wakeIn.load();
    if (in != platform::kInvalidSocket) platform::ClearWake(in);
}

// A stop is no failure: it is logged once, as itself, and the call that sees it logs
// nothing else. Read first, so that a running client's look, once a line, writes nothing.
bool ChatClient::StopSeen() {
    int state = stopState.load();
    if (state == 1 && stopState.compare_exchange_strong(state, 2)) Log("Stopped on request.");
    return state != 0;
}

int ChatClient::ConnectAndLogon() {
    const platform::Socket wake = Wake();
    if (StopSeen()) return 0;
    Log("Attempting to connect...");
    for (int attempt = 1; attempt <= kLogonAttempts; ++attempt) {
        const bool connected = Connect() != 0;
        if (connected && Logon()) {
            platform::SleepMs(kJoinPauseMs, wake);
            if (StopSeen()) break;
            // No reply is awaited; a join that failed to send shows as a broken connection
            // in the next read.
            Send("/join %s\r\n", homeChannel);
            return 1;
        }
        if (StopSeen()) break;  // a connect that the stop cut short failed for it
        Log(connected ? "Logon() failed." : "Connect() failed.");
        Disconnect();
        if (!connected) platform::SleepMs(kRetryPauseMs, wake);
        if (StopSeen()) break;
    }
    Disconnect();
    if (!Stopped()) Log("Unable to log on after %d tries - giving up.", kLogonAttempts);
    return 0;
}

int ChatClient::ReceiveLoop() {
    if (sock == platform::kInvalidSocket) return 0;
    const platform::Socket wake = Wake();
    LineBuffer buffer;
    for (;;) {
        int room = 0;
        char* area = buffer.ReadArea(room);
        // A partial line that fills the whole buffer can never end: with no room, no recv is
        // made and the loop takes it as one that returned 0, so the connection ends now, not
        // at the server's next byte. A wait that fails is read as ready: the recv that
        // follows reports it.
        const bool ready = room == 0 || platform::WaitReadable(sock, kIdleWaitMs, wake) != 0;
        if (StopSeen()) return 0;
        if (ready) {
            const int received = room == 0 ? 0 : platform::ReceiveBytes(sock, area, room);
            if (received <= 0) {
                // An orderly end of the stream is no error: a code read then would be stale.
                const unsigned error = received < 0 ? platform::LastError() : 0;
                Log("recv() returned %d, error code %u", received, error);
                return 0;
            }
            buffer.Commit(received);
            // A handler may stop the client: the lines after its own wait unread.
            std::size_t readable = 0;
            while (char* line = buffer.NextLine(readable)) {
                DispatchLine(*this, line, readable);
                if (StopSeen()) return 0;
            }
        }
        OnIdle();
    }
}

}  // namespace nimbrel
