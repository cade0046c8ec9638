// nimbrel: logs on to the chat server built in at compile time, joins its channel ("The
// Void" unless the build says otherwise) and greets everyone, logging on again whenever the
// connection drops, until ten attempts in a row have failed. Arguments are accepted and
// ignored.
#include <cstdint>
#include <cstdio>

#include "settings.h"
#include "welcome_client.h"

namespace {

constexpr std::uint16_t kSocketVersion = 0x0101;  // 1.1: major in the low byte

// Lives for the whole process; destroyed after main returns, which closes the log if it
// is still open.
nimbrel::WelcomeClient client;

}  // namespace

int main() {
    std::uint16_t provided = 0;
    if (!nimbrel::platform::StartUp(kSocketVersion, provided)) {
        std::fputs("Cannot initialize socket library.\n", stdout);
        return 1;
    }
    if (provided != kSocketVersion) {
        std::fputs("Incorrect socket library version.\n", stdout);
        nimbrel::platform::CleanUp();
        return 1;
    }

    // nimbrel.log, or the instance's own, such as nimbrel-frontdoor.log. Without a log the
    // program runs silently.
    client.OpenLog(NIMBREL_LOG);
    // The chat server's own port, which a client has from the start.
    client.SetLogonInfo(NIMBREL_NAME, NIMBREL_PASSWORD, NIMBREL_SERVER, nimbrel::kDefaultPort);
    client.SetHomeChannel(NIMBREL_CHANNEL);

    // A dropped connection is followed at once by a fresh logon with a fresh count of
    // attempts; only ten failures in a row end the program.
    while (client.ConnectAndLogon()) {
        client.ReceiveLoop();
        client.Disconnect();
    }

    client.CloseLog();
    nimbrel::platform::CleanUp();
    return 0;
}
