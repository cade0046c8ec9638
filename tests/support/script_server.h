// ScriptServer: a chat server for tests that follows a script on 127.0.0.1.
//
// It listens at construction (an ephemeral port unless one is given), then runs a script
// on a thread of its own: accept a connection, send bytes in chosen pieces, pause, wait
// for given bytes from the client, close. Everything the client sends is recorded with the
// time it arrived. Every wait in a script has a limit, so a script always ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbrel::test {

using Clock = std::chrono::steady_clock;

struct Step {
    enum Kind { kAccept, kExpect, kExpectClosed, kSend, kPause, kClose } kind;
    std::string bytes;  // kExpect: what to wait for; kSend: what to send, in one call
    int ms;             // kAccept, kExpect, kExpectClosed: the limit; kPause: the pause
};

inline Step Accept(int limitMs = 20000) { return {Step::kAccept, "", limitMs}; }
// Waits until the client's bytes on this connection, after the last Expect's match, hold
// `bytes`.
inline Step Expect(std::string bytes, int limitMs = 20000) {
    return {Step::kExpect, std::move(bytes), limitMs};
}
// Waits until the client closes its end of the connection.
inline Step ExpectClosed(int limitMs = 20000) { return {Step::kExpectClosed, "", limitMs}; }
inline Step SendBytes(std::string bytes) { return {Step::kSend, std::move(bytes), 0}; }
inline Step Pause(int ms) { return {Step::kPause, "", ms}; }
inline Step Close() { return {Step::kClose, "", 0}; }

struct Arrival {
    int connection;  // 0 for the first connection accepted, and so on
    std::string bytes;
    Clock::time_point at;
};

class ScriptServer {
  public:
    explicit ScriptServer(std::uint16_t port = 0);
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    std::uint16_t Port() const { return port_; }

    // Starts the script on the server's thread; Finish waits for it to end.
    void Run(std::vector<Step> script);
    void Finish();

    std::vector<Arrival> Arrivals() const;
    // All bytes the client sent on one connection.
    std::string Bytes(int connection) const;
    int Connections() const;
    // The time each Send step went out, in order.
    std::vector<Clock::time_point> SendTimes() const;
    // The time each Close step closed the connection, in order.
    std::vector<Clock::time_point> CloseTimes() const;
    // One line for each step that ran into its limit.
    std::vector<std::string> Failures() const;

  private:
    void Play(const std::vector<Step>& script);
    bool Pump(Clock::time_point deadline, const std::string* expected, bool untilClosed);
    void Fail(const std::string& what);
    void CloseConnection();

    int listener_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
    std::size_t expectFrom_ = 0;
    std::thread thread_;

    mutable std::mutex mutex_;
    int connections_ = 0;
    std::vector<Arrival> arrivals_;
    std::vector<Clock::time_point> sendTimes_;
    std::vector<Clock::time_point> closeTimes_;
    std::vector<std::string> failures_;
};

}  // namespace nimbrel::test
