// WelcomeClient: a chat client that greets every user who joins its channel.
#pragma once

#include <cstdint>

#include "chat_client.h"

namespace nimbrel {

class WelcomeClient : public ChatClient {
  public:
    // A user joined: "Hi, <name>!".
    int OnEvent1002(const char* name, std::uint32_t flags, const char* text) override;
    // The client entered a channel: remember it, then "Hi, all!".
    int OnEvent1007(const char* name, std::uint32_t flags, const char* text) override;
};

}  // namespace nimbrel
