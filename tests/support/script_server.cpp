// The scripted test server, on POSIX sockets.
#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace nimbrel::test {

ScriptServer::ScriptServer(std::uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return;
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    // A backlog deep enough that ten connects succeed before anything is accepted.
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
}

ScriptServer::~ScriptServer() {
    Finish();
    CloseConnection();
    if (listener_ >= 0) ::close(listener_);
}

void ScriptServer::Run(std::vector<Step> script) {
    Finish();
    thread_ = std::thread([this, steps = std::move(script)] { Play(steps); });
}

void ScriptServer::Finish() {
    if (thread_.joinable()) thread_.join();
}

// A step that runs into its limit ends the script; the connection is closed either way,
// so a client waiting on it is never left hanging.
void ScriptServer::Play(const std::vector<Step>& script) {
    for (const Step& step : script) {
        if (!Failures().empty()) break;
        const auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
        switch (step.kind) {
            case Step::kAccept: {
                CloseConnection();
                pollfd waiting{listener_, POLLIN, 0};
                if (::poll(&waiting, 1, step.ms) == 1) {
                    connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                }
                if (connection_ < 0) {
                    Fail("no connection within " + std::to_string(step.ms) + " ms");
                    break;
                }
                const int yes = 1;
                ::setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                expectFrom_ = 0;
                std::lock_guard<std::mutex> lock(mutex_);
                ++connections_;
                break;
            }
            case Step::kExpect:
                if (!Pump(deadline, &step.bytes, false)) {
                    Fail("no \"" + step.bytes + "\" within " + std::to_string(step.ms) + " ms");
                    break;
                }
                break;
            case Step::kExpectClosed:
                if (!Pump(deadline, nullptr, true)) {
                    Fail("the client did not close within " + std::to_string(step.ms) + " ms");
                    break;
                }
                break;
            case Step::kSend: {
                std::size_t sent = 0;
                while (connection_ >= 0 && sent < step.bytes.size()) {
                    const auto n = ::send(connection_, step.bytes.data() + sent,
                                          step.bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    sent += static_cast<std::size_t>(n);
                }
                std::lock_guard<std::mutex> lock(mutex_);
                sendTimes_.push_back(Clock::now());
                break;
            }
            case Step::kPause:
                Pump(deadline, nullptr, false);
                break;
            case Step::kClose: {
                CloseConnection();
                std::lock_guard<std::mutex> lock(mutex_);
                closeTimes_.push_back(Clock::now());
                break;
            }
        }
    }
    CloseConnection();
}

void ScriptServer::Fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(what);
}

// Records what the client sends until the deadline, or until `expected` has arrived, or
// until the client has closed. False when the deadline came first.
bool ScriptServer::Pump(Clock::time_point deadline, const std::string* expected, bool untilClosed) {
    for (;;) {
        if (untilClosed && connection_ < 0) return true;
        if (expected != nullptr) {
            const std::string bytes = Bytes(connections_ - 1);
            const auto at = bytes.find(*expected, expectFrom_);
            if (at != std::string::npos) {
                expectFrom_ = at + expected->size();
                return true;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return expected == nullptr && !untilClosed;
        if (connection_ < 0) {
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
            continue;
        }
        pollfd readable{connection_, POLLIN, 0};
        if (::poll(&readable, 1, static_cast<int>(std::min<long long>(left.count(), 50))) != 1)
            continue;
        char chunk[4096];
        const auto n = ::recv(connection_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            // The client closed its end; wait out the deadline without it.
            CloseConnection();
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        arrivals_.push_back(
            {connections_ - 1, std::string(chunk, static_cast<std::size_t>(n)), Clock::now()});
    }
}

void ScriptServer::CloseConnection() {
    if (connection_ < 0) return;
    ::close(connection_);
    connection_ = -1;
}

std::vector<Arrival> ScriptServer::Arrivals() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
}

std::string ScriptServer::Bytes(int connection) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string bytes;
    for (const Arrival& a : arrivals_) {
        if (a.connection == connection) bytes += a.bytes;
    }
    return bytes;
}

int ScriptServer::Connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

std::vector<Clock::time_point> ScriptServer::SendTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sendTimes_;
}

std::vector<Clock::time_point> ScriptServer::CloseTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closeTimes_;
}

std::vector<std::string> ScriptServer::Failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

}  // namespace nimbrel::test
