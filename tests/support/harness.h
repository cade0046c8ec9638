// What the tests share: bounded waits, the log's lines, a scratch directory, a client that
// records its handler calls, and the server's end of a loopback connection, which a test
// plays with blocking calls. The peer speaks the operating system's own socket calls
// (Windows Sockets in a Windows build), not the client's platform layer, so that a fault
// there cannot hide on both ends at once. Every test program runs in a network namespace
// of its own (tests/private_network), so fixed ports never collide.
#pragma once

#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock.h>
#else
#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "chat_client.h"
#include "event_fields.h"

using namespace std::chrono_literals;

namespace nimbrel::test {

using Clock = std::chrono::steady_clock;

// Waits until `done` holds, and gives up after `limit`: every wait of a test is bounded.
inline bool WaitFor(const std::function<bool()>& done, Clock::duration limit = 20s) {
    for (const auto end = Clock::now() + limit; !done(); std::this_thread::sleep_for(2ms))
        if (Clock::now() > end) return false;
    return true;
}

// The log's lines, and a log as ConnectAndLogon writes it: the attempt, `times` times
// `line`, then `end`.
const std::string kAttempt = "Attempting to connect...\r\n", kFailed = "Connect() failed.\r\n";
const std::string kGiveUp = "Unable to log on after 10 tries - giving up.\r\n";
const std::string kClosed = "recv() returned 0, error code 0\r\n";
inline std::string Log(const std::string& end, int times = 0, const std::string& line = "") {
    return times > 0 ? Log(line + end, times - 1, line) : kAttempt + end;
}

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("nimbrel-test-" + std::to_string(std::random_device{}()));
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const char* leaf) const { return (path / leaf).string(); }
};

inline std::string ReadFile(const std::string& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// Records each handler call as its Fields with the event's ID and a ";", and, after the first, a
// run of OnIdle calls as one ".": two events read together have no "." between them. The
// default handlers run too, so the channel and user name follow the events as usual. A
// 1005's text is sent back; a unit that Send refuses shows as "unsent;". Every default handler
// answers 1. A test's `onIdle` runs at each idle call.
class RecordingClient : public ChatClient {
    void Record(int id, const char* name, std::uint32_t flags, const char* text) {
        trace += Fields(id, name, flags, text) + ';';
        if (id == 1005 && !Send("%s\r\n", text)) trace += "unsent;";
        if (id == hangUpAt) Disconnect();
        if (id == stopAt) Stop();
    }

  public:
    std::string trace;
    std::function<void()> onIdle = [] {};
    int hangUpAt = 0;  // the ID whose handler closes the connection, as a handler may
    int stopAt = 0;    // the ID whose handler stops the client
    using ChatClient::sock, ChatClient::userName, ChatClient::channel;
    void OnIdle() override {
        trace += trace.empty() || trace.back() == '.' ? "" : ".";
        onIdle();
    }
    // clang-format off
#define R(id) int OnEvent##id(const char* n, std::uint32_t f, const char* t) override { ChatClient::OnEvent##id(n, f, t); Record(id, n, f, t); return 1; }
    R(1001) R(1002) R(1009) R(1003) R(1005) R(1006) R(1007) R(1004)
    R(1010) R(1023) R(1013) R(1014) R(1015) R(1018) R(1019) R(2010)
#undef R
    // clang-format on
};

#ifdef _WIN32
using Fd = SOCKET;
using Length = int;
inline void CloseFd(Fd fd) { closesocket(fd); }
constexpr int kNoSignal = 0, kStream = SOCK_STREAM;  // Windows raises no signal on a send
#else
using Fd = int;
using Length = socklen_t;
inline void CloseFd(Fd fd) { close(fd); }
// Not inherited by the programs that a test starts, and no signal for a closed connection.
constexpr int kNoSignal = MSG_NOSIGNAL, kStream = SOCK_STREAM | SOCK_CLOEXEC;
#endif
constexpr Fd kNoFd = static_cast<Fd>(~static_cast<Fd>(0));

// Whether `fd` becomes readable within `ms` (a listener: a connection is waiting).
inline bool Readable(Fd fd, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval limit{ms / 1000, static_cast<long>(ms % 1000) * 1000};
    return select(static_cast<int>(fd) + 1, &set, nullptr, nullptr, &limit) > 0;
}

// Bound to 127.0.0.1 and `port` at construction (0: any free one), listening from Listen.
// Each wait gives up after 20 s.
class Peer {
  public:
    explicit Peer(std::uint16_t wanted = 0) {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_port = htons(wanted);
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Length length = sizeof where;
        // A server started again at once must not wait for its old connections to time out.
        const int yes = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
        EXPECT_TRUE(bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
                    getsockname(listener, reinterpret_cast<sockaddr*>(&where), &length) == 0);
        port = ntohs(where.sin_port);
    }
    ~Peer() { Close(), CloseFd(listener); }
    // Room for a burst of connects, such as ten that a test never accepts.
    void Listen() { EXPECT_EQ(listen(listener, 16), 0); }
    // Closes the connection it had, and takes the next. Until the socket listens, the wait
    // ends at once and the accept fails: both are retried.
    bool Accept() {
        Close();
        matched = received.size();
        return WaitFor([&] {
            return Readable(listener, 100) &&
                   (connection = accept(listener, nullptr, nullptr)) != kNoFd;
        });
    }
    // Reads until what came after the last match holds `bytes`.
    bool Expect(const std::string& bytes) {
        for (char chunk[4096]; received.find(bytes, matched) == std::string::npos;) {
            const auto n =
                Readable(connection, 20000) ? recv(connection, chunk, sizeof chunk, 0) : -1;
            if (n <= 0) return false;
            received.append(chunk, static_cast<std::size_t>(n));
        }
        matched = received.find(bytes, matched) + bytes.size();
        return true;
    }
    bool Send(const std::string& bytes) {
        const auto sent = send(connection, bytes.data(), static_cast<int>(bytes.size()), kNoSignal);
        return sent >= 0 && static_cast<std::size_t>(sent) == bytes.size();
    }
    void Close() {
        if (connection != kNoFd) CloseFd(std::exchange(connection, kNoFd));
    }

    Fd listener = socket(AF_INET, kStream, IPPROTO_TCP);
    Fd connection = kNoFd;
    std::uint16_t port = 0;
    std::string received;  // every byte of every connection
    std::size_t matched = 0;
};

// Drops every TCP packet in the test's own network (nftables), where the peer is the only
// other end, as a host that vanished would; with `cut` false, lets them through again.
inline bool CutOff(bool cut = true) {
    // NOLINTNEXTLINE(cert-env33-c): nftables is run as its own command, as an operator would
    return std::system(cut ? "nft 'add table ip cut; add chain ip cut c { type filter hook input "
                             "priority 0; }; add rule ip cut c meta l4proto tcp drop'"
                           : "nft delete table ip cut") == 0;
}

// What the system reports of this process, where a test looks past the program's source.
// Under wine the descriptors are wine's own, and Windows Sockets 1.1 sets keepalive alone:
// there each gives nothing.
#ifndef _WIN32
// The limits that a connected socket carries, each option's value in turn, read at its own
// type.
inline std::string SocketLimits(Fd sock) {
    std::string limits;
    const int options[][2] = {{SOL_SOCKET, SO_KEEPALIVE},
                              {IPPROTO_TCP, TCP_KEEPIDLE},
                              {IPPROTO_TCP, TCP_KEEPINTVL},
                              {IPPROTO_TCP, TCP_KEEPCNT},
                              {IPPROTO_TCP, TCP_USER_TIMEOUT}};
    for (const auto& [level, name] : options) {
        int value = -1;
        socklen_t size = sizeof value;
        limits += (limits.empty() ? "" : " ") +
                  std::to_string(getsockopt(sock, level, name, &value, &size) ? -1 : value);
    }
    return limits;
}

// Signals the process after `firstMs` and every second after; 0 stops it. The signal is
// handled as a program of the library's user may handle one: the call it lands in fails
// with EINTR, and is not restarted.
inline void Interrupt(int firstMs) {
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGALRM, &action, nullptr);
    const itimerval timer{{firstMs != 0 ? 1 : 0, 0},
                          {firstMs / 1000, suseconds_t{firstMs % 1000} * 1000}};
    setitimer(ITIMER_REAL, &timer, nullptr);
}

// Starts `args` (the program first) in `dir`, its standard output to the file "stdout" there,
// with the shared object `preload` preloaded, if one is named: its process ID.
inline pid_t Start(const TempDir& dir, std::vector<const char*> args, const char* preload = "") {
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.path.c_str()) == 0 && std::freopen("stdout", "w", stdout)) {
            // The loader splits LD_PRELOAD at blanks: the shim goes by a name without one.
            ::setenv("LD_PRELOAD", ::symlink(preload, "shim.so") == 0 ? "./shim.so" : "", 1);
            ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);  // the shim comes first
            ::execvp(args[0], const_cast<char**>(args.data()));
        }
        ::_exit(127);
    }
    return pid;
}

// The exit code of the process `pid` once it has ended within `limit`, and then no process
// in `pid`; -1 for a signal or no end.
inline int Exit(pid_t& pid, std::chrono::seconds limit) {
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) return -1;
    pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The open descriptors of a process, this one by default, whose targets start with `kind`
// (all of them: ""); valgrind's own descriptors, which a fork can add, are files.
inline int OpenFiles(const std::string& process = "self", const char* kind = "") {
    int files = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + process + "/fd")) {
        std::error_code gone;  // the iterator's own descriptor is closed by the time it is read
        files += std::filesystem::read_symlink(fd, gone).string().rfind(kind, 0) == 0;
    }
    return files;
}
inline int OpenSockets(const std::string& process = "self") {
    return OpenFiles(process, "socket:");
}
#else
inline std::string SocketLimits(Fd) { return ""; }
inline void Interrupt(int) {}
inline int OpenFiles(const std::string& = "", const char* = "") { return 0; }
inline int OpenSockets(const std::string& = "") { return 0; }
#endif

}  // namespace nimbrel::test
