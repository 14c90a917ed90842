// Archive trees for the reader's tests, written by the station's own archive
// code with a hand-set clock, and the captured NMEA logs that feed them.
#pragma once

#include "Archive.h"
#include "DeviceLists.h"
#include "ManualClock.h"
#include "TempFolder.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace archivetest {

// The sentences of a captured log (tests/data/nmea), in order; only those
// whose text contains `kind` when it is given.
inline std::vector<std::string> logSentences(const std::string& name, const std::string& kind = {})
{
    std::ifstream in(std::string(STATION_TEST_DATA) + "/nmea/" + name);
    if (!in)
        throw std::runtime_error("cannot read the log " + name);
    std::vector<std::string> sentences;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.starts_with("$") && line.find(kind) != std::string::npos)
            sentences.push_back(line);
    }
    return sentences;
}

// A clip event's bytes: above the archive's threshold, the last one the zero
// byte that the receiver appends.
inline std::vector<std::uint8_t> clipEvent(std::size_t length, std::uint8_t fill)
{
    std::vector<std::uint8_t> data(length, fill);
    data.back() = 0;
    return data;
}

// The station's archive in a temporary program folder.
struct StationArchive
{
    explicit StationArchive(platform::LocalTime start) : clock(start) {}

    std::string root() const { return folder.path(); }
    void position(const std::string& key, const std::string& sentence)
    {
        if (archive.StorePositionSentence(key, sentence).failed())
            throw std::runtime_error("the archive cannot be written");
    }
    void clip(const std::string& key, std::size_t length, const std::string& channel)
    {
        if (archive.StoreClip(key, clipEvent(length, 0x42), channel).failed())
            throw std::runtime_error("the archive cannot be written");
    }

    TempFolder folder;
    testsupport::ManualClock clock;
    monitor::DeviceLists lists;
    monitor::Archive archive{folder.path(), clock, lists};
};

} // namespace archivetest
