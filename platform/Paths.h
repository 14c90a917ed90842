// File-system paths: the one place that knows the separator and the program's folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kPathSeparator = '/';

// The folder of the running program's file, with a trailing separator.
// Empty when it cannot be found.
std::string programFolder();

// The process's current folder, with a trailing separator; "./" when it cannot be named.
std::string currentFolder();

// folder + separator + name; no doubled separator when folder already ends in one.
std::string joinPath(std::string_view folder, std::string_view name);

// folder with a trailing separator.
std::string withTrailingSeparator(std::string_view folder);

// Creates the folder when it is missing (its parent must exist). True when it exists afterwards.
bool ensureFolder(const std::string& path);

bool fileExists(const std::string& path);

// The longest file name, in bytes, that the folder's file system takes.
std::size_t maxNameLength(const std::string& folder);

// The user's home: $HOME, else the home of the user database; empty when neither.
std::string homeFolder();

// Where the station keeps what belongs to the user on this computer (its
// single-instance lock, the virtual GPS port's folder), never a folder that
// other users may write to: $XDG_RUNTIME_DIR when set and not empty, else
// <home>/.cache/tessaro-<host name> in the user's own home ($HOME, else the
// home of the user database). The host's name keeps computers that share a
// home apart. Empty when there is no home either. Nothing is created.
std::string userRuntimeFolder();

} // namespace platform
