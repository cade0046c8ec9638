// scribe: keeps a transcript of one chat channel on its standard output, and answers
// "!users" said there with the number of users present besides itself.
//
//   scribe [SERVER [PORT [CHANNEL]]]      (127.0.0.1, 6112, "The Void")
//   scribe --version                      the client library it was built with
//
// It logs on as "Scribe" with no password and ends when the connection does, or when it is
// stopped (Ctrl-C, SIGTERM): 0 if it was connected or stopped, 1 if it never connected.
// RunScribe is the whole program: main.cpp calls it, from the program itself or from the
// bot built as a shared library.
#include <nimbrel/chat_client.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class Scribe : public nimbrel::ChatClient {
  public:
    // The server tells the channel joined; the client's own handler keeps it in `channel`.
    int OnEvent1007(const char* name, std::uint32_t flags, const char* text) override {
        ChatClient::OnEvent1007(name, flags, text);
        others = 0;
        std::printf("-- %s --\n", channel);
        Send("%s keeps a transcript of %s.\r\n", userName, channel);
        return 1;
    }
    // A user who was there before us.
    int OnEvent1001(const char* name, std::uint32_t, const char*) override {
        ++others;
        std::printf("%s is here\n", name);
        return 1;
    }
    int OnEvent1002(const char* name, std::uint32_t, const char*) override {
        ++others;
        std::printf("%s joined\n", name);
        return 1;
    }
    int OnEvent1003(const char* name, std::uint32_t, const char*) override {
        others -= others > 0 ? 1 : 0;
        std::printf("%s left\n", name);
        return 1;
    }
    int OnEvent1005(const char* name, std::uint32_t, const char* text) override {
        std::printf("<%s> %s\n", name, text);
        if (std::strcmp(text, "!users") == 0) Send("%d here besides me.\r\n", others);
        return 1;
    }
    // A busy channel's lines go out in one write a pass, and none waits more than a second.
    void OnIdle() override { std::fflush(stdout); }

  private:
    int others = 0;
};

Scribe scribe;  // about 1 KB of text fields: kept off the stack

// A stop may come at any moment; Stop is the one call that is safe here.
extern "C" void StopScribe(int) { scribe.Stop(); }

}  // namespace

int RunScribe(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("scribe, built with nimbrel %s\n", NIMBREL_VERSION);
        return 0;
    }
    const char* server = argc > 1 ? argv[1] : "127.0.0.1";
    const long port = argc > 2 ? std::strtol(argv[2], nullptr, 10) : nimbrel::kDefaultPort;
    if (port < 1 || port > 65535) {
        std::fputs("scribe: PORT must be 1 to 65535\n", stderr);
        return 2;
    }
    std::uint16_t version = 0;
    if (!nimbrel::platform::StartUp(0x0101, version) || version != 0x0101) {
        std::fputs("scribe: the socket library cannot be used\n", stderr);
        return 1;
    }
    scribe.OpenLog("scribe.log");  // its connections; without it, it runs silently
    scribe.SetLogonInfo("Scribe", "", server, static_cast<std::uint16_t>(port));
    scribe.SetHomeChannel(argc > 3 ? argv[3] : "The Void");
    std::signal(SIGINT, StopScribe);
    std::signal(SIGTERM, StopScribe);
    const int connected = scribe.ConnectAndLogon();
    if (connected) scribe.ReceiveLoop();
    scribe.Disconnect();
    scribe.CloseLog();
    nimbrel::platform::CleanUp();
    std::fflush(stdout);
    return connected || scribe.Stopped() ? 0 : 1;
}
