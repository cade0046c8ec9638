// Micro-benchmarks of the read path: parsing one event line, dispatching it, the read
// loop's work for a stream of each mix, and framing alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "chat_client.h"
#include "event_table.h"
#include "line_buffer.h"

namespace {

using nimbrel::ChatClient;
using nimbrel::EventRecord;

const char* const kLines[] = {
    "1002 JOIN Alice 0010\r",
    "1005 TALK Bob 0000 \"a few words said in the channel, as people do\"\r",
    "1007 CHANNEL \"The Void\"\r",
};

void ParseEvent(benchmark::State& state) {
    const char* line = kLines[state.range(0)];
    EventRecord record;
    for (auto _ : state) {
        ChatClient::ParseEvent(line, record);
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::strlen(line)));
}
BENCHMARK(ParseEvent)->DenseRange(0, 2);

void DispatchEvent(benchmark::State& state) {
    ChatClient client;
    const char* line = kLines[state.range(0)];
    for (auto _ : state) benchmark::DoNotOptimize(client.DispatchEvent(line));
}
BENCHMARK(DispatchEvent)->DenseRange(0, 2);

// The read loop's work for each line of a mix, as bench/load sends it, without the socket:
// framing 2048-byte reads into lines, then parsing and dispatching each. 0 is the
// developers' default (a third each of 1002, 1005 with a short text and 1001), 1 the
// text-heavy one (half 1005 with texts of 0 to 128 bytes, a quarter 1002, a quarter 1001
// with a trailing word). The time is a line's.
void ReadLoop(benchmark::State& state) {
    const bool text = state.range(0) == 1;
    const std::string words = "the weather is fine, is anyone here? I will be back later on ";
    std::string stream;
    std::int64_t lines = 0;
    for (long i = 0; stream.size() < (1 << 20); ++i, ++lines) {
        const std::string name = "user" + std::to_string(i * 7919 % 1000000);
        const long kind = text ? (i % 4 < 2 ? 1 : i % 4 == 2 ? 0 : 2) : i % 3;
        std::string said = text ? "" : "is anyone here? the weather is fine";
        for (auto length = static_cast<std::size_t>(i * 7919 % 129); text && said.size() < length;)
            said += words.substr(0, length - said.size());
        stream += kind == 0   ? "1002 JOIN " + name + " 0010\r\n"
                  : kind == 1 ? "1005 TALK " + name + " 0010 \"" + said + "\"\r\n"
                              : "1001 USER " + name + (text ? " 0000 away\r\n" : " 0000\r\n");
    }
    ChatClient client;
    for (auto _ : state) {
        nimbrel::LineBuffer buffer;
        for (std::size_t at = 0; at < stream.size();) {
            int room = 0;
            char* area = buffer.ReadArea(room);
            const std::size_t take = std::min(stream.size() - at, static_cast<std::size_t>(room));
            std::memcpy(area, stream.data() + at, take);
            buffer.Commit(static_cast<int>(take));
            at += take;
            for (std::size_t readable = 0; char* line = buffer.NextLine(readable);)
                benchmark::DoNotOptimize(nimbrel::DispatchLine(client, line, readable));
        }
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(ReadLoop)->Arg(0)->Arg(1);

// Framing alone: 64 KiB of typical lines, fed in reads of the given size.
void FrameLines(benchmark::State& state) {
    std::string stream;
    while (stream.size() < 65536) stream += std::string(kLines[stream.size() % 3]) + "\n";
    const auto read = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        nimbrel::LineBuffer buffer;
        std::size_t lines = 0;
        for (std::size_t at = 0; at < stream.size();) {
            int room = 0;
            char* area = buffer.ReadArea(room);
            const std::size_t take = std::min({read, stream.size() - at, std::size_t(room)});
            std::memcpy(area, stream.data() + at, take);
            buffer.Commit(static_cast<int>(take));
            at += take;
            for (std::size_t readable = 0; buffer.NextLine(readable) != nullptr;) ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(FrameLines)->Arg(1)->Arg(64)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();
