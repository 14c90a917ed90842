// Writing one of the export's output files (the GPX, the NMEA log, a copied
// clip) so that it is either whole under its name or not there at all, and
// never through a symbolic link.
//
// The bytes go to a new file under an unpredictable temporary name in the
// destination's own folder (".partial-<name>-<random>", opened with O_EXCL and
// O_NOFOLLOW, so that nothing planted under any name is opened), are flushed
// to the disk, and only then is the file renamed to its name. On any failure
// the temporary file is removed. A name that exists already (a file, or a
// symbolic link, even a dangling one) is refused, unless replacing is asked
// for: then the rename puts the new file in the place of what had the name
// (a link itself is replaced, never the file it points to). A process killed
// while writing leaves at most a hidden temporary file, never a file cut short
// under the name.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace archive {

// What writing an output does to a name that exists already.
enum class ExistingOutput
{
    Refuse,
    Replace
};

// The temporary names begin with this (hidden: the archive reader skips them).
inline constexpr std::string_view kOutputPartialPrefix = ".partial-";

// Takes the next bytes of the file; returns 0, or the errno that stopped it.
using OutputSink = std::function<int(std::string_view bytes)>;
// Hands the whole file to the sink, piece by piece; returns the error text
// that stopped it, or an empty string.
using OutputProducer = std::function<std::string(const OutputSink& sink)>;

// Writes the file at path with what produce hands over. Returns the error
// text ("cannot write PATH: reason", "PATH exists already...", or the
// producer's), or an empty string when the file is in place.
std::string writeOutputFile(const std::string& path, ExistingOutput existing,
                            const OutputProducer& produce);
std::string writeOutputFile(const std::string& path, ExistingOutput existing,
                            std::string_view bytes);

// What has the name of an output before it is written, checked before any
// work is done (writing checks again): nothing, a folder (which no output
// replaces), or something else (a file, a link) that only Replace replaces.
enum class OutputName
{
    Free,
    Folder,
    Taken
};
OutputName outputName(const std::string& path);

// "cannot write PATH: Is a directory", "PATH exists already (give --force to
// replace it)": the texts of those names.
std::string folderOutputText(const std::string& path);
std::string existsAlreadyText(const std::string& path);

} // namespace archive
