// The canned track that feeds the navigation program until the first live
// position comes: the lines of "Track1.txt" and "Track2.txt", divided into
// blocks at empty lines, sent one block per replay tick. No files and no port
// in here: the GPS forwarder reads the files and writes the lines.
//
// A track has at most kMaxBlocks blocks: only the first kMaxBlocks - 1 empty
// lines separate blocks, and lines after the last counted one are never sent.
// A line of blanks is not empty.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

class TrackReplay
{
public:
    static constexpr int kMaxBlocks = 40;

    // What the replay plays; the number is the replay timer's tag.
    enum class Mode
    {
        None = 0,
        Track1 = 1, // every block in turn, endlessly
        Track2 = 2, // every block once, then the replay stops
    };

    // The lines of a track file's text, ended by CR LF, LF or CR. Text after
    // the last line end is a line when it is not empty.
    static std::vector<std::string> splitLines(std::string_view text);

    // Empty lists and block tables, block 0, not busy, Mode::None.
    void Reset();

    // Takes the lines of track 1 or 2 and divides them into blocks when there
    // are any. Answers whether there are.
    bool Load(int track, std::vector<std::string> lines);

    // Fills the block table of track 1 or 2 from its lines: entry 0 is -1, and
    // each counted empty line adds its index.
    void BuildBlockIndex(int track);

    // Plays from the first block in the mode given.
    void Start(Mode mode);
    Mode mode() const { return m_mode; }

    // One replay tick: passes each line of the current block to `send`, then
    // moves to the next block. Answers false when the replay has ended (the
    // last block of a Track2 replay, or nothing to play in that mode).
    bool Tick(const std::function<void(const std::string& line)>& send);

    const std::vector<std::string>& Lines(int track) const;
    int BlockCount(int track) const;
    int CurrentBlock() const { return m_currentBlock; }

private:
    struct Track
    {
        std::vector<std::string> lines;
        // Index of the line before each block's first line.
        std::array<int, kMaxBlocks> blocks{};
        int blockCount = 0;
    };

    Track& track(int number);
    const Track& track(int number) const;

    Track m_track1;
    Track m_track2;
    int m_currentBlock = 0; // shared by both tracks
    bool m_replayBusy = false;
    Mode m_mode = Mode::None;
};

} // namespace monitor
