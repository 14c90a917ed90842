// Framing throughput: a stream of packets fed in 64 KiB reads, as a connection reads it.
#include "PacketFramer.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

std::vector<std::uint8_t> streamOf(std::size_t payloadSize, std::size_t totalBytes)
{
    std::vector<std::uint8_t> stream;
    stream.reserve(totalBytes + payloadSize + kavrel::kHeaderSize);
    const std::vector<std::uint8_t> payload(payloadSize, 0x5A);
    while (stream.size() < totalBytes) {
        const auto h = kavrel::encodeHeader(0x101, static_cast<std::uint32_t>(payloadSize));
        stream.insert(stream.end(), h.begin(), h.end());
        stream.insert(stream.end(), payload.begin(), payload.end());
    }
    return stream;
}

void BM_Framing(benchmark::State& state)
{
    const auto payloadSize = static_cast<std::size_t>(state.range(0));
    const auto stream = streamOf(payloadSize, 32u << 20);
    constexpr std::size_t kRead = 64 * 1024;
    std::size_t packets = 0;
    for (auto _ : state) {
        kavrel::PacketFramer framer;
        std::size_t pos = 0;
        while (pos < stream.size()) {
            std::span<const std::uint8_t> read(stream.data() + pos,
                                               std::min(kRead, stream.size() - pos));
            while (!read.empty()) {
                const auto step = framer.feed(read);
                if (step.outcome == kavrel::PacketFramer::Outcome::PacketComplete) {
                    benchmark::DoNotOptimize(framer.packet().data());
                    framer.clearPacket();
                    ++packets;
                }
                read = read.subspan(step.consumed);
                pos += step.consumed;
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_Framing)->Arg(1 << 20)->Arg(80)->Unit(benchmark::kMillisecond);
