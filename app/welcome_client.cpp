// The greetings. A failed send is not looked at: a broken connection shows in the next read.
// Each override runs the client's own handler first and answers as it answers.
#include "welcome_client.h"

namespace nimbrel {

int WelcomeClient::OnEvent1002(const char* name, std::uint32_t flags, const char* text) {
    const int handled = ChatClient::OnEvent1002(name, flags, text);
    // The name comes from the server: always an argument, never part of the format.
    Send("Hi, %s!\r\n", name);
    return handled;
}

int WelcomeClient::OnEvent1007(const char* name, std::uint32_t flags, const char* text) {
    const int handled = ChatClient::OnEvent1007(name, flags, text);  // records the channel
    Send("Hi, all!\r\n");
    return handled;
}

}  // namespace nimbrel
