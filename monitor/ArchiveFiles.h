// Writing the archive's files: new files that never replace an existing one,
// and the one file that is replaced on purpose. A file whose write fails is
// removed again, so that no half-written file stays behind. Failures are
// reported only to the caller, which ignores them.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

namespace monitor {

using ByteSpan = std::span<const std::uint8_t>;

// How many files of one name and second the archive keeps at most.
inline constexpr int kMaxSameSecondFiles = 1000;

// Creates the first file of folder + name(1), name(2), ... that does not exist
// yet and writes the parts into it. Gives its path, or none when no file was written.
std::optional<std::string> writeNewFile(const std::string& folder,
                                        const std::function<std::string(int)>& name,
                                        std::initializer_list<ByteSpan> parts);

// Creates or truncates the file and writes the bytes. True when all were written.
bool replaceFile(const std::string& path, ByteSpan bytes);

} // namespace monitor
