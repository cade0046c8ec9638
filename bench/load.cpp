// load: plays the chat server on 127.0.0.1:6112, in a network namespace of its own, to a
// bot given as a command, and measures it.
//
//   load [--events N] [--round-trips N] [--same-cpu] [--idle SECONDS] [--mix text]
//        -- COMMAND [ARG...]
//
// After the bot's logon and join it sends N event lines (default a million, a third each
// of 1002, 1005 and 1001; with --mix text, half of them 1005 with texts of 0 to 128 bytes,
// a quarter 1002 and a quarter 1001 with a trailing word) as fast as the socket takes
// them, and reads every greeting back,
// checked in order; then N single 1002 lines (default 20,000), each once the greeting of
// the one before has come, timing each round trip. The tool runs on CPU 0 and the bot on
// CPU 1, or with --same-cpu on CPU 0 too. With --idle it instead leaves the connection
// idle for that long. It then stops the bot and prints one line of figures: events and
// greetings a second, the round trip's percentiles in microseconds, and the bot's peak
// resident memory and CPU time. Needs root, for the namespace.
#include <arpa/inet.h>
#include <limits.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "load: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void Pin(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (::sched_setaffinity(0, sizeof set, &set) != 0) Fail("sched_setaffinity");
}

void PrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0) Fail("unshare (run as root)");
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    lo.ifr_flags = IFF_UP;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (::ioctl(fd, SIOCSIFFLAGS, &lo) != 0) Fail("bringing loopback up");
    ::close(fd);
}

// Waits until `fd` is readable; a bot silent for 30 s has failed.
void AwaitInput(int fd) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 30000) != 1) {
        errno = ETIMEDOUT;
        Fail("waiting for the bot");
    }
}

// Reads from `fd` until `received` holds `want` bytes.
void ReadUntil(int fd, std::string& received, std::size_t want) {
    char chunk[65536];
    while (received.size() < want) {
        AwaitInput(fd);
        const auto n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) Fail("the bot closed the connection");
        received.append(chunk, static_cast<std::size_t>(n));
    }
}

void SendAll(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const auto n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) Fail("send");
        at += static_cast<std::size_t>(n);
    }
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    long events = 1000000, trips = 20000, idle = 0;
    bool sameCpu = false, text = false;
    int first = 1;
    for (; first < argc && std::strcmp(argv[first], "--") != 0; ++first) {
        const std::string option = argv[first];
        if (option == "--same-cpu") {
            sameCpu = true;
        } else if (first + 1 < argc && option == "--events") {
            events = std::atol(argv[++first]);
        } else if (first + 1 < argc && option == "--round-trips") {
            trips = std::atol(argv[++first]);
        } else if (first + 1 < argc && option == "--idle") {
            idle = std::atol(argv[++first]);
        } else if (first + 1 < argc && option == "--mix" &&
                   std::strcmp(argv[first + 1], "text") == 0) {
            text = true;
            ++first;
        } else {
            std::fputs(
                "usage: load [--events N] [--round-trips N] [--same-cpu] "
                "[--idle SECONDS] [--mix text] -- COMMAND [ARG...]\n",
                stderr);
            return 2;
        }
    }
    if (first + 1 >= argc) return std::fputs("load: no command\n", stderr), 2;

    PrivateNetwork();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(6112);
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener, 4) != 0) {
        Fail("listen on 127.0.0.1:6112");
    }

    char directory[] = "/tmp/load.XXXXXX";
    if (::mkdtemp(directory) == nullptr) Fail("mkdtemp");
    // The bot runs in that directory, so a command given as a relative path is resolved first.
    char path[PATH_MAX];
    if (std::strchr(argv[first + 1], '/') != nullptr) {
        if (::realpath(argv[first + 1], path) == nullptr) Fail(argv[first + 1]);
        argv[first + 1] = path;
    }
    const pid_t bot = ::fork();
    if (bot == 0) {
        Pin(sameCpu ? 0 : 1);
        if (::chdir(directory) != 0) ::_exit(127);
        ::execvp(argv[first + 1], argv + first + 1);
        ::_exit(127);
    }
    Pin(0);
    AwaitInput(listener);
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) Fail("accept");
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);

    // The logon unit, then the join unit: "\3\4<name>\r\n<password>\r\n/join <channel>\r\n".
    std::string received;
    while (std::count(received.begin(), received.end(), '\n') < 3)
        ReadUntil(fd, received, received.size() + 1);
    if (received.rfind("\3\4", 0) != 0 || received.find("/join ") == std::string::npos) {
        std::fprintf(stderr, "load: not a logon and a join: \"%s\"\n", received.c_str());
        return 1;
    }
    received.clear();

    double eventRate = 0, greetingRate = 0;
    std::vector<double> micros;
    if (idle > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(idle));
    } else {
        // A realistic mix: users join, talk and are listed; only a join is answered. The text
        // mix is a channel where people talk more, and at length.
        std::string flood, greetings;
        const std::string words = "the weather is fine, is anyone here? I will be back later on ";
        long joins = 0;
        for (long i = 0; i < events; ++i) {
            const std::string name = "user" + std::to_string(i);
            const long kind = text ? (i % 4 < 2 ? 1 : i % 4 == 2 ? 0 : 2) : i % 3;
            if (kind == 0) {
                flood += "1002 JOIN " + name + " 0010\r\n";
                greetings += "Hi, " + name + "!\r\n";
                ++joins;
            } else if (kind == 1 && !text) {
                flood += "1005 TALK " + name + " 0010 \"is anyone here? the weather is fine\"\r\n";
            } else if (kind == 1) {
                std::string said;
                for (auto length = static_cast<std::size_t>(i * 7919 % 129); said.size() < length;)
                    said += words.substr(0, length - said.size());
                flood += "1005 TALK " + name + " 0010 \"" + said + "\"\r\n";
            } else {
                flood += "1001 USER " + name + (text ? " 0000 away\r\n" : " 0000\r\n");
            }
        }
        const auto begin = Clock::now();
        std::thread writer([&] { SendAll(fd, flood); });
        ReadUntil(fd, received, greetings.size());
        const double elapsed = Seconds(Clock::now() - begin);
        writer.join();
        if (received != greetings) return std::fputs("load: wrong greetings\n", stderr), 1;
        eventRate = static_cast<double>(events) / elapsed;
        greetingRate = static_cast<double>(joins) / elapsed;

        for (long i = 0; i < trips; ++i) {
            received.clear();
            const std::string name = "trip" + std::to_string(i);
            const std::string expected = "Hi, " + name + "!\r\n";
            const auto sent = Clock::now();
            SendAll(fd, "1002 JOIN " + name + " 0010\r\n");
            ReadUntil(fd, received, expected.size());
            micros.push_back(Seconds(Clock::now() - sent) * 1e6);
            if (received != expected) return std::fputs("load: wrong greeting\n", stderr), 1;
        }
        std::sort(micros.begin(), micros.end());
    }

    ::kill(bot, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(bot, &status, 0, &usage);
    ::close(fd);
    std::error_code failed;
    std::filesystem::remove_all(directory, failed);
    if (failed) Fail("removing the bot's directory");

    const auto at = [&](double q) {
        return micros.empty()
                   ? 0.0
                   : micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))];
    };
    std::printf(
        "events_per_s=%.0f greetings_per_s=%.0f p50_us=%.1f p90_us=%.1f p99_us=%.1f "
        "max_us=%.1f rss_kb=%ld user_s=%.3f sys_s=%.3f\n",
        eventRate, greetingRate, at(0.5), at(0.9), at(0.99), at(1.0), usage.ru_maxrss,
        Seconds(std::chrono::seconds(usage.ru_utime.tv_sec) +
                std::chrono::microseconds(usage.ru_utime.tv_usec)),
        Seconds(std::chrono::seconds(usage.ru_stime.tv_sec) +
                std::chrono::microseconds(usage.ru_stime.tv_usec)));
    return 0;
}
