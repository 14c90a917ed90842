// File-system paths: the one place that knows the separator and the program's folder.
#pragma once

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

} // namespace platform
