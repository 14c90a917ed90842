// Archive: what the recorders send, kept in day folders beside the program.
//
// API (user-interface thread; the dispatcher calls it while it handles events):
//   BuildDayFolder()                 DayFolder from today's date, its missing
//                                    folders made; start-up calls it too
//   EnsureDeviceFolder(key)          the recorder's folder in today's day
//                                    folder, made with what is missing of both
//   StorePositionSentence(key, text) a new position file holding the sentence
//                                    and CR LF, while SaveData is on
//   StoreClip(key, bytes, channel)   for a clip event of more than
//                                    kClipThreshold bytes (its Length bytes,
//                                    the zero byte included): ClipStream := the
//                                    bytes; with SaveData on, a new clip file,
//                                    shown when the recorder is selected; with
//                                    it off, the selected recorder's clip only,
//                                    written to its preview file and shown
//   setSaveData(bool)                the "Save data to disk" check box
//   ShowLatestClip(key)              the movie view shows that recorder's
//                                    latest clip of this run, or the idle
//                                    movie when it has none (or key is empty)
//
// Names and the escaping of keys are told in ArchiveNames.h. Each store reads
// the clock once, so that a folder and the file in it always agree on the
// date. No archived file replaces another: a second file of the same name
// within one second takes a suffix. Only the preview file is replaced each time.
//
// A store tells whether the archive could not be written, and why (the
// dispatcher holds the recorders until it can); a clip that the viewer cannot
// show is left unshown. Files are written whole under a temporary name and then
// named (ArchiveFiles.h). Nothing is ever written outside the day folder's
// recorder folders, and nothing at all without a program folder.
//
// Threading: user-interface thread only.
#pragma once

#include "ArchiveNames.h"
#include "Clock.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

class ClipViewer;
class RecorderSelection;

// What a store did: wrote what it had to (or had nothing to write), or could
// not write the archive.
struct StoreOutcome
{
    int error = 0;    // errno of the failing step; 0 when nothing failed
    std::string what; // the folder or file that could not be written
    // Trying again cannot store this event, whatever the operator does: every
    // name of its second is taken, or the file system refuses its name.
    bool lasting = false;
    bool failed() const { return error != 0; }
};

class Archive
{
public:
    // A clip is kept only when its Length is greater than this.
    static constexpr std::size_t kClipThreshold = 2000;
    // Recorders whose latest clip is remembered at most; beyond it those no
    // longer listed are forgotten.
    static constexpr std::size_t kRememberedRecorders = 256;

    // programFolder ends in the separator; empty means there is nowhere to
    // write. The recorders tell which one is selected.
    Archive(std::string programFolder, const platform::Clock& clock,
            const RecorderSelection& recorders);

    // Where the selected recorder's clips are shown; null for nowhere.
    void setClipViewer(ClipViewer* viewer) { m_viewer = viewer; }
    // The movie shown while the selected recorder has no clip; empty: none.
    void setIdleMovie(std::string path) { m_idleMovie = std::move(path); }

    bool SaveData() const { return m_saveData; }
    void setSaveData(bool save) { m_saveData = save; }

    void BuildDayFolder();
    void EnsureDeviceFolder(std::string_view key);
    StoreOutcome StorePositionSentence(std::string_view key, std::string_view text);
    StoreOutcome StoreClip(std::string_view key, std::span<const std::uint8_t> data,
                           std::string_view channelText);

    // Whether an event of this code and data length is archived while
    // SaveData is on: a position sentence, or a clip above the threshold.
    static bool Keeps(std::int32_t code, std::size_t length);
    // An event that was received at receivedAt and not archived then (the
    // station stopped, or the archive could not be written): its position or
    // clip file, named by that time, or by the clock's time now when that
    // time cannot be (month 13, day 0, hour 24...). Shows nothing and leaves
    // ClipStream alone.
    StoreOutcome StoreReceived(std::string_view key, std::int32_t code,
                               std::span<const std::uint8_t> data,
                               const platform::LocalTime& receivedAt);

    const std::string& ProgramFolder() const { return m_programFolder; }
    // Ends in the separator; empty before the first BuildDayFolder.
    const std::string& DayFolder() const { return m_dayFolder; }
    // No trailing separator.
    std::string DeviceFolder(std::string_view key) const;
    std::string PreviewFile(std::string_view key) const;
    // The bytes of the latest clip that was kept.
    const std::vector<std::uint8_t>& ClipStream() const { return m_clipStream; }

    void ShowLatestClip(std::string_view key);
    // The file of the recorder's latest clip of this run; empty when none.
    std::string LatestClip(std::string_view key) const;

private:
    void buildDayFolder(const platform::LocalTime& now);
    // The recorder's folder, made when missing; none when it cannot be made
    // (error says why).
    std::optional<std::string> ensureDeviceFolder(std::string_view key,
                                                  const platform::LocalTime& now,
                                                  StoreOutcome* error = nullptr);
    bool isSelected(std::string_view key) const;
    void rememberLatestClip(std::string_view key, const std::string& file);
    void show(const std::string& path);

    const std::string m_programFolder;
    const platform::Clock& m_clock;
    const RecorderSelection& m_recorders;
    ClipViewer* m_viewer = nullptr;
    bool m_saveData = true;
    std::string m_dayFolder;
    // The longest folder name the day folder's file system takes.
    std::size_t m_maxFolderName = archive::kMaxFolderNameBytes;
    std::vector<std::uint8_t> m_clipStream;
    std::string m_idleMovie;
    // By recorder key: the file of its latest clip kept in this run.
    std::map<std::string, std::string, std::less<>> m_latestClips;
};

} // namespace monitor
