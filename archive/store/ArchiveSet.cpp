#include "ArchiveSet.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <tuple>

namespace archive {

namespace {

constexpr std::string_view kArchiveTag = ".archive";

std::vector<ArchiveReader> readersOf(std::vector<std::string> folders)
{
    if (folders.empty())
        folders.emplace_back();
    std::vector<ArchiveReader> readers;
    readers.reserve(folders.size());
    for (std::string& folder : folders)
        readers.emplace_back(std::move(folder));
    return readers;
}

} // namespace

std::string nameFromArchive(std::string_view fileName, std::size_t archiveIndex)
{
    const std::size_t dot = fileName.rfind('.');
    const std::size_t stemEnd = dot == std::string_view::npos ? fileName.size() : dot;
    return std::string(fileName.substr(0, stemEnd)) + std::string(kArchiveTag) +
           std::to_string(archiveIndex + 1) + std::string(fileName.substr(stemEnd));
}

ArchiveSet::ArchiveSet(std::vector<std::string> archiveFolders)
    : m_readers(readersOf(std::move(archiveFolders)))
{
}

ArchiveSet::ArchiveSet(std::string archiveFolder)
    : ArchiveSet(std::vector<std::string>{std::move(archiveFolder)})
{
}

std::string ArchiveSet::folder() const
{
    std::string text;
    for (const ArchiveReader& reader : m_readers)
        text += (text.empty() ? "" : ", ") + reader.folder();
    return text;
}

std::string ArchiveSet::dayFolder(const Date& day) const
{
    return m_readers.front().dayFolder(day);
}

std::vector<Date> ArchiveSet::days() const
{
    if (m_readers.size() == 1)
        return m_readers.front().days();
    std::set<Date> days;
    for (const ArchiveReader& reader : m_readers) {
        const std::vector<Date> some = reader.days();
        days.insert(some.begin(), some.end());
    }
    return {days.begin(), days.end()};
}

std::vector<Recorder> ArchiveSet::recorders(const Date& day) const
{
    if (m_readers.size() == 1)
        return m_readers.front().recorders(day);
    std::vector<Recorder> all;
    for (const ArchiveReader& reader : m_readers) {
        std::vector<Recorder> some = reader.recorders(day);
        all.insert(all.end(), std::make_move_iterator(some.begin()),
                   std::make_move_iterator(some.end()));
    }
    // The folder's name is the key: one entry per name.
    const auto byFolder = [](const Recorder& a, const Recorder& b) { return a.folder < b.folder; };
    std::stable_sort(all.begin(), all.end(), byFolder);
    all.erase(
        std::unique(all.begin(), all.end(),
                    [](const Recorder& a, const Recorder& b) { return a.folder == b.folder; }),
        all.end());
    return all;
}

std::optional<RecorderDay> ArchiveSet::recorderDay(const Date& day, std::string_view folder) const
{
    std::optional<RecorderDay> merged;
    for (std::size_t i = 0; i < m_readers.size(); ++i) {
        std::optional<RecorderDay> part = m_readers[i].recorderDay(day, folder);
        if (!part)
            continue;
        for (Position& p : part->positions)
            p.archive = i;
        for (Clip& c : part->clips)
            c.archive = i;
        if (!merged) {
            merged = std::move(part);
            continue;
        }
        std::move(part->positions.begin(), part->positions.end(),
                  std::back_inserter(merged->positions));
        std::move(part->clips.begin(), part->clips.end(), std::back_inserter(merged->clips));
    }
    if (!merged || m_readers.size() == 1)
        return merged;

    // Each archive's part is in order already; a stable sort by the same keys,
    // the archive's place before the path, interleaves them.
    std::stable_sort(merged->positions.begin(), merged->positions.end(),
                     [](const Position& a, const Position& b) {
                         return std::tie(a.secondOfDay, a.sameSecondIndex, a.archive) <
                                std::tie(b.secondOfDay, b.sameSecondIndex, b.archive);
                     });
    std::stable_sort(merged->clips.begin(), merged->clips.end(), [](const Clip& a, const Clip& b) {
        return std::tie(a.secondOfDay, a.sameSecondIndex, a.channel, a.archive) <
               std::tie(b.secondOfDay, b.sameSecondIndex, b.channel, b.archive);
    });
    // A name an earlier archive's clip holds is taken: the later one is named
    // by its archive. Archives are visited in order, so the first keeps its name.
    std::set<std::string> taken;
    for (std::size_t i = 0; i < m_readers.size(); ++i)
        for (Clip& c : merged->clips)
            if (c.archive == i && !taken.insert(c.name).second) {
                c.name = nameFromArchive(c.name, i);
                taken.insert(c.name);
            }
    return merged;
}

} // namespace archive
