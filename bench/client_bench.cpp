// Micro-benchmarks of the read path: parsing one event line, dispatching it, and framing
// a stream of lines.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "chat_client.h"
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
            while (buffer.NextLine() != nullptr) ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(FrameLines)->Arg(1)->Arg(64)->Arg(2048);

}  // namespace

BENCHMARK_MAIN();
