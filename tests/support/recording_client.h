// A client that records every handler call, and shows its fields to tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "chat_client.h"

namespace nimbrel::test {

struct HandlerCall {
    int slot;  // 0 for OnIdle
    std::string name;
    std::uint32_t flags;
    std::string text;
    std::chrono::steady_clock::time_point at;
};

class RecordingClient : public ChatClient {
  public:
    std::vector<HandlerCall> calls;  // event handlers only
    std::vector<HandlerCall> trace;  // event handlers and OnIdle, in order

    const char* LogonName() const { return logonName; }
    const char* UserName() const { return userName; }
    const char* Password() const { return password; }
    const char* Server() const { return server; }
    const char* HomeChannel() const { return homeChannel; }
    const char* Channel() const { return channel; }
    std::uint16_t Port() const { return port; }
    platform::Socket Sock() const { return sock; }
    bool LogOpen() const { return logFile != nullptr; }

    void OnIdle() override { trace.push_back({0, "", 0, "", std::chrono::steady_clock::now()}); }
    int OnEvent1001(const char* n, std::uint32_t f, const char* t) override {
        return Record(1, n, f, t);
    }
    int OnEvent1002(const char* n, std::uint32_t f, const char* t) override {
        return Record(2, n, f, t);
    }
    int OnEvent1009(const char* n, std::uint32_t f, const char* t) override {
        return Record(3, n, f, t);
    }
    int OnEvent1003(const char* n, std::uint32_t f, const char* t) override {
        return Record(4, n, f, t);
    }
    int OnEvent1005(const char* n, std::uint32_t f, const char* t) override {
        return Record(5, n, f, t);
    }
    int OnEvent1006(const char* n, std::uint32_t f, const char* t) override {
        return Record(6, n, f, t);
    }
    // Slots 7 and 16 also keep the default behaviour, so tests see both.
    int OnEvent1007(const char* n, std::uint32_t f, const char* t) override {
        ChatClient::OnEvent1007(n, f, t);
        return Record(7, n, f, t);
    }
    int OnEvent1004(const char* n, std::uint32_t f, const char* t) override {
        return Record(8, n, f, t);
    }
    int OnEvent1010(const char* n, std::uint32_t f, const char* t) override {
        return Record(9, n, f, t);
    }
    int OnEvent1023(const char* n, std::uint32_t f, const char* t) override {
        return Record(10, n, f, t);
    }
    int OnEvent1013(const char* n, std::uint32_t f, const char* t) override {
        return Record(11, n, f, t);
    }
    int OnEvent1014(const char* n, std::uint32_t f, const char* t) override {
        return Record(12, n, f, t);
    }
    int OnEvent1015(const char* n, std::uint32_t f, const char* t) override {
        return Record(13, n, f, t);
    }
    int OnEvent1018(const char* n, std::uint32_t f, const char* t) override {
        return Record(14, n, f, t);
    }
    int OnEvent1019(const char* n, std::uint32_t f, const char* t) override {
        return Record(15, n, f, t);
    }
    int OnEvent2010(const char* n, std::uint32_t f, const char* t) override {
        ChatClient::OnEvent2010(n, f, t);
        return Record(16, n, f, t);
    }

  private:
    int Record(int slot, const char* n, std::uint32_t f, const char* t) {
        calls.push_back({slot, n, f, t, std::chrono::steady_clock::now()});
        trace.push_back(calls.back());
        return 1;
    }
};

}  // namespace nimbrel::test
