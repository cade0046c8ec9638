// The greetings. A failed send is not looked at: a broken connection shows in the next read.
#include "welcome_client.h"

namespace nimbrel {

int WelcomeClient::OnEvent1002(const char* name, std::uint32_t flags, const char* text) {
    ChatClient::OnEvent1002(name, flags, text);
    // The name comes from the server: always an argument, never part of the format.
    Send("Hi, %s!\r\n", name);
    return 1;
}

int WelcomeClient::OnEvent1007(const char* name, std::uint32_t flags, const char* text) {
    ChatClient::OnEvent1007(name, flags, text);
    Send("Hi, all!\r\n");
    return 1;
}

}  // namespace nimbrel
