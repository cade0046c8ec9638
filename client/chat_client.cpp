// The client object: construction, settings and the handlers' default behaviour.
#include "chat_client.h"

#include <type_traits>

#include "platform.h"
#include "text.h"

namespace nimbrel {

ChatClient::ChatClient() noexcept
    : logFile(nullptr),
      sock(platform::kInvalidSocket),
      logonName{},
      userName{},
      password{},
      server{},
      homeChannel{},
      channel{},
      port(kDefaultPort),
      stopState(0),
      wakeIn(platform::kInvalidSocket),
      wakeOut(platform::kInvalidSocket) {}

// A bot may be deleted through a pointer to the client, and must run its own destructor.
static_assert(std::has_virtual_destructor_v<ChatClient>);
ChatClient::~ChatClient() {
    Disconnect();
    CloseLog();
    platform::CloseWake(wakeIn.load(), wakeOut.load());
}

void ChatClient::SetLogonInfo(const char* logonNameValue, const char* passwordValue,
                              const char* serverValue, std::uint16_t portValue) {
    CopyText(logonName, logonNameValue);
    CopyText(userName, logonNameValue);
    CopyText(password, passwordValue);
    CopyText(server, serverValue);
    port = portValue;
}

void ChatClient::SetHomeChannel(const char* name) { CopyText(homeChannel, name); }

void ChatClient::OnIdle() {}

int ChatClient::OnEvent1001(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1002(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1009(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1003(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1005(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1006(const char*, std::uint32_t, const char*) { return 1; }

// The server reports the channel the client is now in.
int ChatClient::OnEvent1007(const char*, std::uint32_t, const char* text) {
    CopyText(channel, text);
    return 1;
}

int ChatClient::OnEvent1004(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1010(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1023(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1013(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1014(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1015(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1018(const char*, std::uint32_t, const char*) { return 1; }
int ChatClient::OnEvent1019(const char*, std::uint32_t, const char*) { return 1; }

// The server tells the client the name it is known by, which may differ from the logon name.
int ChatClient::OnEvent2010(const char* name, std::uint32_t, const char*) {
    CopyText(userName, name);
    return 1;
}

}  // namespace nimbrel
