// chat_server: a small local chat server for trying nimbrel out and for its demo.
//
//   chat_server [--address 127.0.0.1] [--port 6112] [--seconds N]
//
// One thread serves every client with poll. A client logs on with the bytes 3 and 4, its
// name and CR LF, its password and CR LF; then every line it sends is a command
// ("/join <channel>") or something to say in its channel. The server answers with event
// lines, each ending in CR LF:
//   2010 NAME <name> 0000               after logon: the name the client is known by
//   1007 CHANNEL "<channel>"            to a client that joined a channel
//   1001 USER <name> 0000               to that client, one for each user already there
//   1002 JOIN <name> 0000               to the others, for the newcomer
//   1003 LEAVE <name> 0000              to the others, when a user leaves
//   1005 TALK <name> 0000 "<text>"      to the others, when a user says something
//   1019 ERROR "<text>"                 to a client whose command is unknown
// A transcript of the channels goes to standard output, one line per happening. With
// --seconds the server stops by itself after that many seconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxClients = 64;
constexpr std::size_t kMaxLine = 512;  // a client that sends a longer line is dropped
constexpr std::size_t kMaxName = 24;

struct Client {
    int fd = -1;
    enum class Stage { kControl, kName, kPassword, kChatting } stage = Stage::kControl;
    std::string pending;  // bytes received, not yet a complete line
    std::string name;
    std::string channel;
};

std::vector<Client> clients;

void Transcript(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// A name as other clients will read it: one token of printable bytes, not too long.
std::string CleanName(const std::string& raw) {
    std::string name;
    for (char c : raw) {
        if (name.size() == kMaxName) break;
        const auto u = static_cast<unsigned char>(c);
        name += (u > ' ' && u < 127 && c != '"') ? c : '_';
    }
    return name.empty() ? "Anonymous" : name;
}

std::string UniqueName(const std::string& wanted) {
    std::string name = wanted;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const Client& c : clients) taken = taken || (c.fd >= 0 && c.name == name);
        if (!taken) return name;
        name = wanted + "#" + std::to_string(n);
    }
}

void Drop(Client& client);

// Never blocks: a client that does not read its lines is dropped, not waited for.
void SendLine(Client& client, const std::string& line) {
    if (client.fd < 0) return;
    const std::string bytes = line + "\r\n";
    const auto sent = ::send(client.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent != static_cast<ssize_t>(bytes.size())) Drop(client);
}

void ToOthersInChannel(const Client& from, const std::string& line) {
    for (Client& c : clients) {
        if (c.fd >= 0 && &c != &from && c.stage == Client::Stage::kChatting &&
            !from.channel.empty() && c.channel == from.channel) {
            SendLine(c, line);
        }
    }
}

void Leave(Client& client) {
    if (client.channel.empty()) return;
    ToOthersInChannel(client, "1003 LEAVE " + client.name + " 0000");
    Transcript("* " + client.name + " left " + client.channel);
    client.channel.clear();
}

void Drop(Client& client) {
    if (client.fd < 0) return;
    const int fd = client.fd;
    client.fd = -1;  // first, so that sends to others cannot come back here for it
    ::close(fd);
    if (client.stage == Client::Stage::kChatting) {
        if (!client.channel.empty()) {
            ToOthersInChannel(client, "1003 LEAVE " + client.name + " 0000");
            Transcript("* " + client.name + " left " + client.channel);
        }
        Transcript("* " + client.name + " disconnected");
    }
    client.channel.clear();
}

void Join(Client& client, const std::string& channel) {
    Leave(client);
    client.channel = channel;
    SendLine(client, "1007 CHANNEL \"" + channel + "\"");
    for (Client& c : clients) {
        if (c.fd >= 0 && &c != &client && c.channel == channel)
            SendLine(client, "1001 USER " + c.name + " 0000");
    }
    ToOthersInChannel(client, "1002 JOIN " + client.name + " 0000");
    Transcript("* " + client.name + " joined " + channel);
}

void HandleLine(Client& client, const std::string& line) {
    switch (client.stage) {
        case Client::Stage::kControl:
            break;  // handled byte by byte in Receive
        case Client::Stage::kName:
            client.name = UniqueName(CleanName(line));
            client.stage = Client::Stage::kPassword;
            break;
        case Client::Stage::kPassword:
            client.stage = Client::Stage::kChatting;
            SendLine(client, "2010 NAME " + client.name + " 0000");
            Transcript("* " + client.name + " logged on");
            break;
        case Client::Stage::kChatting:
            if (line.rfind("/join ", 0) == 0 && line.size() > 6) {
                std::string channel = line.substr(6);
                for (char& c : channel) c = c == '"' ? '\'' : c;
                Join(client, channel);
            } else if (!line.empty() && line[0] == '/') {
                SendLine(client, "1019 ERROR \"Unknown command.\"");
            } else if (!line.empty() && !client.channel.empty()) {
                ToOthersInChannel(client, "1005 TALK " + client.name + " 0000 \"" + line + "\"");
                Transcript("<" + client.name + "> " + line);
            }
            break;
    }
}

void Receive(Client& client) {
    char bytes[1024];
    const auto n = ::recv(client.fd, bytes, sizeof bytes, 0);
    if (n <= 0) {
        Drop(client);
        return;
    }
    for (ssize_t i = 0; i < n && client.fd >= 0; ++i) {
        const char c = bytes[i];
        if (client.stage == Client::Stage::kControl) {
            // The logon opens with the bytes 3 and 4; anything else is not our protocol.
            if (c != (client.pending.empty() ? '\x03' : '\x04')) {
                Drop(client);
                return;
            }
            if (client.pending.empty()) {
                client.pending += c;
            } else {
                client.pending.clear();
                client.stage = Client::Stage::kName;
            }
        } else if (c == '\n') {
            std::string line = client.pending;
            client.pending.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            HandleLine(client, line);
        } else if (client.pending.size() == kMaxLine) {
            Drop(client);
            return;
        } else {
            client.pending += c;
        }
    }
}

int Usage() {
    std::fputs("usage: chat_server [--address A.B.C.D] [--port N] [--seconds N]\n", stderr);
    return 2;
}

// A whole number from `low` to `high`, or a message that says so.
bool Number(const std::string& option, const char* text, long low, long high, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    if (errno == 0 && end != text && *end == '\0' && value >= low && value <= high) return true;
    std::fprintf(stderr, "chat_server: %s takes a whole number from %ld to %ld, not \"%s\"\n",
                 option.c_str(), low, high, text);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1";
    long port = 6112;
    long seconds = 0;  // 0: until stopped; at most a year
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        if (option == "--address") {
            address = value;
        } else if (option == "--port") {
            if (!Number(option, value, 1, 65535, port)) return 2;
        } else if (option == "--seconds") {
            if (!Number(option, value, 0, 366L * 24 * 3600, seconds)) return 2;
        } else {
            return Usage();
        }
    }

    ::signal(SIGPIPE, SIG_IGN);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) return Usage();
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(listener, 16) != 0) {
        std::fprintf(stderr, "chat_server: cannot listen on %s:%ld: %s\n", address.c_str(), port,
                     std::strerror(errno));
        return 1;
    }
    Transcript("* listening on " + address + ":" + std::to_string(port));

    clients.resize(kMaxClients);
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (seconds == 0 || std::chrono::steady_clock::now() < stop) {
        std::vector<pollfd> watched{{listener, POLLIN, 0}};
        for (const Client& c : clients) {
            if (c.fd >= 0) watched.push_back({c.fd, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), 200) <= 0) continue;
        for (Client& c : clients) {
            if (c.fd < 0) continue;
            for (const pollfd& p : watched) {
                if (p.fd == c.fd && p.revents != 0) Receive(c);
            }
        }
        if (watched[0].revents & POLLIN) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) continue;
            Client* free = nullptr;
            for (Client& c : clients) {
                if (c.fd < 0 && free == nullptr) free = &c;
            }
            if (free == nullptr) {
                ::close(fd);  // full
                continue;
            }
            *free = Client{};
            free->fd = fd;
        }
    }
    for (Client& c : clients) Drop(c);
    ::close(listener);
    Transcript("* stopped");
    return 0;
}
