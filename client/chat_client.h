// ChatClient: one connection to a line-protocol chat server, its logon settings, its
// activity log and the table of event handlers that a program overrides.
//
// Conventions:
// - Operations that report a result return 1 for success and 0 for failure. ReceiveLoop
//   always returns 0; event handlers return 1, and nobody reads it.
// - All text lives in fixed-size, NUL-terminated arrays; text longer than its field is
//   cut to fit, except a unit to send, which is refused whole. The read path allocates
//   nothing; a name lookup and the log's file are the C library's to allocate.
// - One thread uses a client; nothing is locked. Stop alone may be called from anywhere.
// - A program starts the socket library (platform::StartUp, socket_library.h) before its
//   first Connect, and cleans it up after the last Disconnect.
#pragma once

#include <nimbrel/version.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "socket_library.h"

#if defined(__MINGW_PRINTF_FORMAT)
#define NIMBREL_PRINTF(fmt, args) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, args)))
#elif defined(__GNUC__)
#define NIMBREL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define NIMBREL_PRINTF(fmt, args)
#endif

namespace nimbrel {

// Names, channels, the server and the password: 127 characters and a NUL.
inline constexpr int kNameSize = 128;
// The text of one event, and one formatted unit for Send.
inline constexpr int kTextSize = 256;
// One formatted log message, before its CR LF.
inline constexpr int kLogMessageSize = 1024;
// The read loop's buffer of raw bytes from the server.
inline constexpr int kReceiveBufferSize = 2048;

inline constexpr std::uint16_t kDefaultPort = 6112;

// The four values taken from one event line.
struct EventRecord {
    std::int32_t id;
    char name[kNameSize];
    std::uint32_t flags;
    char text[kTextSize];
};

class NIMBREL_API ChatClient {
  public:
    ChatClient() noexcept;
    // Closes the socket, the log and the stop's wake. Virtual, so that a derived client may
    // be deleted through a pointer to this class.
    virtual ~ChatClient();
    ChatClient(const ChatClient&) = delete;
    ChatClient& operator=(const ChatClient&) = delete;

    // The handler table. A handler's slot is its place in this order of declaration (the
    // number after it), which is not the order of the IDs: each handler is named for the ID
    // it receives. A derived client overrides any of these.
    // Each is called with the event's fields: `name` and `flags` are empty and 0 for the IDs
    // that carry text only (1007, 1013, 1014, 1015, 1018, 1019). The bundled chat server
    // sends 2010 (the name the server knows this client by) after the logon, 1007 (the
    // channel joined, as text) after a join, 1001 (a user already there) for each one
    // present, 1002 (a user joined), 1003 (a user left), 1005 (a user spoke, the words as
    // text) and 1019 (an error, as text). Every default does nothing and returns 1, but
    // two, which an override calls first: OnEvent1007 keeps the text in `channel`, and
    // OnEvent2010 keeps the name in `userName`.
    virtual void OnIdle();                                                             // 0
    virtual int OnEvent1001(const char* name, std::uint32_t flags, const char* text);  // 1
    virtual int OnEvent1002(const char* name, std::uint32_t flags, const char* text);  // 2
    virtual int OnEvent1009(const char* name, std::uint32_t flags, const char* text);  // 3
    virtual int OnEvent1003(const char* name, std::uint32_t flags, const char* text);  // 4
    virtual int OnEvent1005(const char* name, std::uint32_t flags, const char* text);  // 5
    virtual int OnEvent1006(const char* name, std::uint32_t flags, const char* text);  // 6
    virtual int OnEvent1007(const char* name, std::uint32_t flags, const char* text);  // 7
    virtual int OnEvent1004(const char* name, std::uint32_t flags, const char* text);  // 8
    virtual int OnEvent1010(const char* name, std::uint32_t flags, const char* text);  // 9
    virtual int OnEvent1023(const char* name, std::uint32_t flags, const char* text);  // 10
    virtual int OnEvent1013(const char* name, std::uint32_t flags, const char* text);  // 11
    virtual int OnEvent1014(const char* name, std::uint32_t flags, const char* text);  // 12
    virtual int OnEvent1015(const char* name, std::uint32_t flags, const char* text);  // 13
    virtual int OnEvent1018(const char* name, std::uint32_t flags, const char* text);  // 14
    virtual int OnEvent1019(const char* name, std::uint32_t flags, const char* text);  // 15
    virtual int OnEvent2010(const char* name, std::uint32_t flags, const char* text);  // 16

    // Settings, read afresh at each logon. `logonName` also becomes `userName`.
    void SetLogonInfo(const char* logonName, const char* password, const char* server,
                      std::uint16_t port);
    void SetHomeChannel(const char* name);

    // The activity log: one formatted message and CR LF per line, appended, each line
    // written through to the file as it is logged. A second OpenLog keeps the first file.
    int OpenLog(const char* path);
    int Log(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void CloseLog();

    // The connection. Connect resolves `server` (a text of digits and dots is taken as a
    // numeric address) and connects to it; Logon sends the logon unit; Send formats one
    // unit printf-style and sends it in one call, refusing a unit that does not fit
    // kTextSize with its NUL, and waiting at most 5 s for the server to take it;
    // Disconnect closes the socket if there is one.
    int Connect();
    int Logon();
    int Send(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void Disconnect();
    // Connects, logs on and, a second later, joins the home channel: up to ten attempts, a
    // 5 s pause after each failed connect (the tenth's too), none after a failed logon. 0
    // when all failed.
    int ConnectAndLogon();
    // Reads the server's stream and dispatches its event lines, calling OnIdle after each
    // wait, which lasts a second at most, and the lines it read, until the connection ends
    // or the client is stopped. Always returns 0.
    int ReceiveLoop();

    // Asks the client to stop, from a signal handler, another thread or a handler: every
    // wait of the client ends at once, within 100 ms (a name lookup under way alone runs
    // its course); ConnectAndLogon returns 0 (the socket closed) and ReceiveLoop returns,
    // dispatching nothing more; the first of them to see it logs "Stopped on request."
    // once. Both keep returning 0 at once until Resume. Async-signal-safe: it sets a
    // lock-free atomic and writes one byte to the client's wake, which the first call that
    // waits makes.
    void Stop() noexcept;
    // Whether the client is stopped: a Stop has come since construction or the last Resume.
    bool Stopped() const noexcept;
    // Lets a stopped client connect again; called on the client's own thread, between calls.
    void Resume() noexcept;

    // Splits one NUL-terminated server line into `record`; never fails.
    static int ParseEvent(const char* line, EventRecord& record);
    // Parses `line` and calls its handler: 1 if one was called, 0 (and a log line) if the
    // ID has none; 0, and nothing logged, for a line that does not start with a digit.
    int DispatchEvent(const char* line);

  protected:
    std::FILE* logFile;
    platform::Socket sock;
    char logonName[kNameSize];
    char userName[kNameSize];
    char password[kNameSize];
    char server[kNameSize];
    char homeChannel[kNameSize];
    char channel[kNameSize];
    std::uint16_t port;

  private:
    // Logs the stop the first time it is seen; whether the client is stopped.
    NIMBREL_LOCAL bool StopSeen();
    // What a stop raises to end a wait at once, made at the first call that waits (none if
    // it cannot be made: a stop then ends a wait when it ends by itself).
    NIMBREL_LOCAL platform::Socket Wake();

    // 0 while running, 1 once stopped, 2 once that stop is logged.
    std::atomic<int> stopState;
    std::atomic<platform::Socket> wakeIn, wakeOut;
    static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may set stopState");
    static_assert(std::atomic<platform::Socket>::is_always_lock_free,
                  "a signal handler may read wakeOut");
};

}  // namespace nimbrel
