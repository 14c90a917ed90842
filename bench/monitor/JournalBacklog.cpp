// The journal's size on the disk under a steady backlog, in process: what a
// fleet sending as fast as the station acknowledges leaves in it.
//
//   journal-backlog FOLDER [SECONDS] [WAITING]
//
// Simulates SECONDS (default 240) of 20 recorders, each sending positions and,
// every tenth event, a 300 kB clip, taken by the dispatcher at 47 events a
// second (the rate measured under a backlog) while WAITING (default 83) events
// wait: each event is appended to the journal in FOLDER (flushed, as the
// station does) and the oldest beyond WAITING is marked archived. Prints
// key=value lines: what passed through, the most that waited, and the
// journal's files' largest and final total size.
#include "EventJournal.h"
#include "kavrel_events.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRecorders = 20;
constexpr int kEventsPerSecond = 47;
constexpr int kClipEvery = 10;
constexpr std::size_t kClipBytes = 300 * 1000;

// The bytes of every file of the journal in the folder (the journal's own
// name and any name that begins with it).
std::uint64_t journalBytes(const fs::path& folder)
{
    std::uint64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().starts_with(monitor::EventJournal::kFileName))
            total += it->file_size(ec);
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: journal-backlog FOLDER [SECONDS] [WAITING]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 240;
    const std::size_t waiting = argc > 3 ? static_cast<std::size_t>(std::atoi(argv[3])) : 83;
    monitor::EventJournal journal((folder / monitor::EventJournal::kFileName).string());

    const std::string sentence =
        "$GPRMC,120000.00,A,5100.0000,N,00700.0000,E,0.0,0.0,061226,,,A*6C";
    const std::vector<std::uint8_t> position(sentence.begin(), sentence.end());
    const std::vector<std::uint8_t> clip(kClipBytes, 0x5A);
    std::deque<std::pair<std::uint64_t, std::size_t>> queued; // id, bytes
    std::uint64_t passedBytes = 0;
    std::uint64_t events = 0;
    std::uint64_t waitingBytes = 0;
    std::uint64_t mostWaitingBytes = 0;
    std::uint64_t largest = 0;
    const auto started = std::chrono::steady_clock::now();
    for (int second = 0; second < seconds; ++second) {
        const platform::LocalTime at{2026, 12, 6, 14, second / 60 % 60, second % 60, 0};
        for (int i = 0; i < kEventsPerSecond; ++i, ++events) {
            const bool isClip = events % kClipEvery == kClipEvery - 1;
            const std::string key = "BUS-" + std::to_string(events % kRecorders) + "_1";
            const auto& data = isClip ? clip : position;
            int error = 0;
            const auto id = journal.append(key,
                                           isClip ? kavrel::EventCode::CMD_MPEG4_I_CH1
                                                  : kavrel::EventCode::CMD_GPRMC_DATA,
                                           data, at, error);
            if (!id) {
                std::fprintf(stderr, "append failed: errno %d\n", error);
                return 1;
            }
            queued.emplace_back(*id, data.size());
            passedBytes += data.size();
            waitingBytes += data.size();
            while (queued.size() > waiting) {
                journal.markArchived(queued.front().first);
                waitingBytes -= queued.front().second;
                queued.pop_front();
            }
            mostWaitingBytes = std::max(mostWaitingBytes, waitingBytes);
        }
        largest = std::max(largest, journalBytes(folder));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("simulated_seconds=%d\nevents=%llu\npassed_bytes=%llu\nmost_waiting_bytes=%llu\n"
                "largest_journal_bytes=%llu\nfinal_journal_bytes=%llu\nwall_seconds=%.1f\n",
                seconds, static_cast<unsigned long long>(events),
                static_cast<unsigned long long>(passedBytes),
                static_cast<unsigned long long>(mostWaitingBytes),
                static_cast<unsigned long long>(largest),
                static_cast<unsigned long long>(journalBytes(folder)), wall);
    return 0;
}
