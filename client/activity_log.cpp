// The activity log: plain text lines, each one formatted message followed by CR LF.
#include <cstdarg>
#include <cstdio>

#include "chat_client.h"

namespace nimbrel {

int ChatClient::OpenLog(const char* path) {
    if (logFile != nullptr) return 0;
    // Binary mode, so the CR LF that Log writes reaches the file as exactly those two bytes;
    // open for reading too, so that Log can see how the file ends.
    logFile = std::fopen(path, "a+b");
    return logFile != nullptr ? 1 : 0;
}

int ChatClient::Log(const char* format, ...) {
    if (logFile == nullptr) return 0;
    char message[kLogMessageSize];
    va_list args;
    va_start(args, format);
    // A longer message is cut to fit; the NUL always stays.
    if (std::vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
    va_end(args);
    // A line cut short, by a full disk say, must not run into the next one. Nothing to read
    // is no cut: the log may have been emptied since the seek (logrotate's copytruncate).
    const int last = std::fseek(logFile, -1, SEEK_END) == 0 ? std::fgetc(logFile) : '\n';
    const bool cut = last != EOF && last != '\n';
    std::fseek(logFile, 0, SEEK_END);  // from reading back to writing
    std::fprintf(logFile, cut ? "\r\n%s\r\n" : "%s\r\n", message);
    // The program runs until it is stopped from outside, so a line held in the stream's
    // buffer may never reach the file: write each one through as it is logged.
    std::fflush(logFile);
    return 1;
}

void ChatClient::CloseLog() {
    if (logFile != nullptr) std::fclose(logFile);
    logFile = nullptr;
}

}  // namespace nimbrel
