// The activity log: plain text lines, each one formatted message followed by CR LF.
#include <cstdarg>
#include <cstdio>

#include "chat_client.h"
#include "platform.h"

namespace nimbrel {

int ChatClient::OpenLog(const char* path) {
    if (logFile != nullptr) return 0;
    // Binary mode, so the CR LF that Log writes reaches the file as exactly those two bytes.
    logFile = std::fopen(path, "ab");
    return logFile != nullptr ? 1 : 0;
}

int ChatClient::Log(const char* format, ...) {
    if (logFile == nullptr) return 0;
    char line[kLogMessageSize + 2];
    va_list args;
    va_start(args, format);
    // A longer message is cut to fit; the NUL always stays.
    int length = std::vsnprintf(line, kLogMessageSize, format, args);
    va_end(args);
    if (length < 0) length = 0;
    if (length >= kLogMessageSize) length = kLogMessageSize - 1;
    line[length++] = '\r';
    line[length++] = '\n';
    // The program runs until it is stopped from outside, so each line goes to the file as it
    // is logged, in one write. On a full disk the line is lost whole, never torn: the next
    // one, once there is room, starts a line of its own.
    platform::AppendWhole(logFile, line, length);
    return 1;
}

void ChatClient::CloseLog() {
    if (logFile != nullptr) std::fclose(logFile);
    logFile = nullptr;
}

}  // namespace nimbrel
