// The retry policy of ConnectAndLogon, with its pauses seen through the sleep seam.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "chat_client.h"
#include "support/fake_sleep.h"
#include "support/open_descriptors.h"
#include "support/private_network.h"
#include "support/recording_client.h"
#include "support/script_server.h"
#include "support/temp_dir.h"

namespace nimbrel {
namespace {

// A loopback port that refuses connections: bound, so nobody else takes it, but not listening.
class RefusingPort {
  public:
    RefusingPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    std::uint16_t Port() const { return port_; }
    void StartListening() { ::listen(fd_, 4); }

  private:
    int fd_;
    std::uint16_t port_ = 0;
};

std::string Lines(std::initializer_list<std::pair<const char*, int>> runs) {
    std::string text;
    for (const auto& [line, times] : runs) {
        for (int i = 0; i < times; ++i) text += std::string(line) + "\r\n";
    }
    return text;
}

class LogonRetry : public ::testing::Test {
  protected:
    void SetUp() override {
        test::Sleeps() = {};
        client.OpenLog(logPath.c_str());
        client.SetHomeChannel("The Void");
    }

    // Every attempt fails with `failure` in the log and `pause` after it; the client gives
    // up, leaving no socket open.
    void ExpectTenFailures(const char* failure, std::vector<unsigned> pauses) {
        const int before = test::OpenDescriptors();
        EXPECT_EQ(client.ConnectAndLogon(), 0);
        EXPECT_EQ(test::OpenDescriptors(), before);
        EXPECT_EQ(client.Sock(), platform::kInvalidSocket);
        EXPECT_EQ(test::ReadFile(logPath),
                  Lines({{"Attempting to connect...", 1},
                         {failure, 10},
                         {"Unable to log on after 10 tries - giving up.", 1}}));
        EXPECT_EQ(test::Sleeps().calls, pauses);
    }

    test::TempDir dir;
    std::string logPath = dir.File("client.log");
    test::RecordingClient client;
};

TEST_F(LogonRetry, NothingListeningGivesUpAfterTenPausedAttempts) {
    RefusingPort port;
    client.SetLogonInfo("Guest", "Marlo", "127.0.0.1", port.Port());
    ExpectTenFailures("Connect() failed.", std::vector<unsigned>(10, 5000));
}

TEST_F(LogonRetry, UnresolvableNameFailsLikeARefusal) {
    // A private network: the name lookup must not reach any resolver outside loopback.
    NIMBREL_ENTER_PRIVATE_NETWORK();
    client.SetLogonInfo("Guest", "Marlo", "no-such-host.invalid", 6112);
    ExpectTenFailures("Connect() failed.", std::vector<unsigned>(10, 5000));
}

// A logon unit that cannot be sent (127-character name and password make 261 bytes, more
// than one unit holds) is retried at once, without a pause.
TEST_F(LogonRetry, RefusedLogonIsRetriedAtOnce) {
    test::ScriptServer server;  // listening, never accepting: connects complete in its backlog
    const std::string name(127, 'n');
    client.SetLogonInfo(name.c_str(), std::string(127, 'p').c_str(), "127.0.0.1", server.Port());
    ExpectTenFailures("Logon() failed.", {});
}

TEST_F(LogonRetry, ServerThatComesBackIsJoined) {
    RefusingPort port;
    client.SetLogonInfo("Guest", "Marlo", "127.0.0.1", port.Port());
    test::Sleeps().onPause = [&port](int pause) {
        if (pause == 3) port.StartListening();
    };
    EXPECT_EQ(client.ConnectAndLogon(), 1);
    EXPECT_NE(client.Sock(), platform::kInvalidSocket);
    client.Disconnect();
    EXPECT_EQ(test::ReadFile(logPath),
              Lines({{"Attempting to connect...", 1}, {"Connect() failed.", 3}}));
    EXPECT_EQ(test::Sleeps().calls, (std::vector<unsigned>{5000, 5000, 5000, 1000}));
}

}  // namespace
}  // namespace nimbrel
