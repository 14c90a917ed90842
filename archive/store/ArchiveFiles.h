// Writing the archive's files: new files that never replace an existing one,
// and the one file that is replaced on purpose. Every file is written whole
// under a temporary name in its own folder, flushed to the disk, and only then
// given its final name, so that no file is ever seen cut short under the name
// of a real one, whenever the process or the computer stops. Failures are
// reported to the caller with the system's error number.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace monitor {

using ByteSpan = std::span<const std::uint8_t>;

// How many files of one name and second the archive keeps at most.
inline constexpr int kMaxSameSecondFiles = 1000;

// Temporary files begin with this; no archived name does (they begin with a
// digit, or are the preview's "temp.mov").
inline constexpr std::string_view kPartialFilePrefix = ".partial-";

// The outcome of a write: the file's path, or the error that stopped it.
struct WrittenFile
{
    std::string path; // empty when nothing was written
    int error = 0;    // errno of the failing step; 0 when written
    // Every name of the file's second was taken (error is EEXIST then).
    bool namesUsedUp = false;
    explicit operator bool() const { return !path.empty(); }
};

// Whether a failure to write a name with this error number stays whatever the
// operator does to the disk: the file system refuses the name itself (too
// long, or characters it cannot hold). A full disk, missing permission, a
// read-only file system, a file where a folder should be or a quota can all
// be mended, and are not such failures.
bool nameCannotBeMade(int error);

// Writes the parts under a temporary name in folder, then gives the file the
// first of folder + name(1), name(2), ... name(kMaxSameSecondFiles) that does
// not exist yet.
WrittenFile writeNewFile(const std::string& folder, const std::function<std::string(int)>& name,
                         std::initializer_list<ByteSpan> parts);

// Writes the bytes under a temporary name and puts the file in place of path.
// True when the whole file is in place.
bool replaceFile(const std::string& path, ByteSpan bytes);

// Removes the temporary files that a stopped process left in the archive's
// recorder folders (<program folder>/yyyy/mm/dd/<recorder>/). Returns how many.
int removePartialFiles(const std::string& programFolder);

} // namespace monitor
