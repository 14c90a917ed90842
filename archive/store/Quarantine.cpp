#include "Quarantine.h"

#include "ArchiveNames.h"
#include "DateTimeFormat.h"
#include "Paths.h"

#include <cerrno>

namespace monitor {

namespace {

constexpr std::string_view kStampPattern = "yyyymmdd-hhnnss";
constexpr std::string_view kDataExtension = ".event";
constexpr std::string_view kTextExtension = ".txt";
constexpr char kSameNameMark = '_';

ByteSpan bytesOf(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

WrittenFile quarantineEvent(const std::string& programFolder, const QuarantinedEvent& event,
                            const platform::LocalTime& now, std::string_view reason)
{
    if (programFolder.empty())
        return {{}, ENOENT};
    const std::string folder = platform::joinPath(programFolder, kQuarantineFolderName);
    errno = 0;
    if (!platform::ensureFolder(folder))
        return {{}, errno != 0 ? errno : ENOTDIR};
    const std::string stem =
        platform::formatDateTime(kStampPattern, now) + "-" + std::to_string(event.id);
    const auto nameOf = [&](int index, std::string_view extension) {
        std::string name = stem;
        if (index > 1)
            name.append(1, kSameNameMark).append(std::to_string(index));
        return name.append(extension);
    };
    int taken = 0;
    WrittenFile data = writeNewFile(folder,
                                    [&](int index) {
                                        taken = index;
                                        return nameOf(index, kDataExtension);
                                    },
                                    {event.data});
    if (!data)
        return data;
    const std::string text =
        "key: " + archive::deviceFolderName(event.key) + "\ncode: " + std::to_string(event.code) +
        "\nreceived: " + platform::formatDateTime(platform::kEventTimePattern, event.receivedAt) +
        "\nset aside: " + platform::formatDateTime(platform::kEventTimePattern, now) +
        "\nreason: " + std::string(reason) + "\n";
    // The text takes the data file's name, with its own extension.
    const int index = taken;
    const WrittenFile description =
        writeNewFile(folder, [&](int) { return nameOf(index, kTextExtension); }, {bytesOf(text)});
    if (!description)
        return {{}, description.error};
    return data;
}

} // namespace monitor
