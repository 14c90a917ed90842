// A track file of any bytes, as the GPS forwarder loads and replays it: its
// lines, its block table and a replay through every block. Every line sent
// must be a non-empty line of the track, and a replay of track 2 must end.
//
// Input: one byte that chooses the track (bit 0) and the replay mode (bit 1:
// track 2's once-through, else track 1's endless loop), then the file's text.
#include "FuzzCheck.h"
#include "TrackReplay.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using monitor::TrackReplay;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int track = (data[0] & 1) != 0 ? 2 : 1;
    const auto mode = (data[0] & 2) != 0 ? TrackReplay::Mode::Track2 : TrackReplay::Mode::Track1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::vector<std::string> lines = TrackReplay::splitLines(text);
    for (const std::string& line : lines)
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);

    TrackReplay replay;
    FUZZ_CHECK(replay.Load(track, lines) == !lines.empty());
    const int blocks = replay.BlockCount(track);
    FUZZ_CHECK(blocks <= TrackReplay::kMaxBlocks);
    FUZZ_CHECK(lines.empty() ? blocks == 0 : blocks >= 1);
    replay.BuildBlockIndex(track); // again, as a reload does: the same table
    FUZZ_CHECK(replay.BlockCount(track) == std::max(blocks, 1));

    const std::vector<std::string>& held = replay.Lines(track);
    replay.Start(mode);
    const int ticks = 2 * (TrackReplay::kMaxBlocks + 1);
    bool ended = false;
    for (int i = 0; i < ticks && !ended; ++i) {
        ended = !replay.Tick([&](const std::string& line) {
            FUZZ_CHECK(&line >= held.data() && &line < held.data() + held.size());
            FUZZ_CHECK(!line.empty());
        });
        FUZZ_CHECK(replay.CurrentBlock() >= 0 && replay.CurrentBlock() < TrackReplay::kMaxBlocks);
    }
    if (mode == TrackReplay::Mode::Track2)
        FUZZ_CHECK(ended);
    return 0;
}
