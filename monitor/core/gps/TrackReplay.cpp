// Track lines, block tables and the replay step.
#include "TrackReplay.h"

namespace monitor {

std::vector<std::string> TrackReplay::splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

void TrackReplay::Reset()
{
    m_track1 = Track{};
    m_track2 = Track{};
    m_currentBlock = 0;
    m_replayBusy = false;
    m_mode = Mode::None;
}

bool TrackReplay::Load(int number, std::vector<std::string> lines)
{
    Track& t = track(number);
    t.lines = std::move(lines);
    if (t.lines.empty())
        return false;
    BuildBlockIndex(number);
    return true;
}

void TrackReplay::BuildBlockIndex(int number)
{
    Track& t = track(number);
    t.blocks[0] = -1;
    int count = 1;
    for (std::size_t i = 0; i < t.lines.size() && count < kMaxBlocks; ++i) {
        if (t.lines[i].empty())
            t.blocks[static_cast<std::size_t>(count++)] = static_cast<int>(i);
    }
    t.blockCount = count;
}

void TrackReplay::Start(Mode mode)
{
    m_currentBlock = 0;
    m_mode = mode;
}

bool TrackReplay::Tick(const std::function<void(const std::string& line)>& send)
{
    if (m_mode == Mode::None)
        return true;
    if (m_replayBusy)
        return true;
    m_replayBusy = true;
    const Track& t = track(static_cast<int>(m_mode));
    bool goesOn = true;
    // A mode started on a track with no blocks has nothing to play: it ends
    // rather than run past the block table.
    if (t.blockCount == 0 || m_currentBlock >= t.blockCount) {
        goesOn = m_mode == Mode::Track1 && t.blockCount > 0;
        m_currentBlock = 0;
    } else {
        auto i = static_cast<std::size_t>(t.blocks[static_cast<std::size_t>(m_currentBlock)] + 1);
        for (; i < t.lines.size() && !t.lines[i].empty(); ++i)
            send(t.lines[i]);
        if (++m_currentBlock >= t.blockCount) {
            m_currentBlock = 0;
            goesOn = m_mode == Mode::Track1;
        }
    }
    if (!goesOn)
        m_mode = Mode::None;
    m_replayBusy = false;
    return goesOn;
}

const std::vector<std::string>& TrackReplay::Lines(int number) const
{
    return track(number).lines;
}

int TrackReplay::BlockCount(int number) const
{
    return track(number).blockCount;
}

TrackReplay::Track& TrackReplay::track(int number)
{
    return number == 2 ? m_track2 : m_track1;
}

const TrackReplay::Track& TrackReplay::track(int number) const
{
    return number == 2 ? m_track2 : m_track1;
}

} // namespace monitor
