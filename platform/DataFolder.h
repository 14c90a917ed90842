// Where a program of the station keeps its data (archive, journal, settings,
// log), and where it finds the files it ships with (the idle movie, the demo
// track). One rule for every program, so that the archive browser and the
// export find what the station or the gateway wrote.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Whose data: the station and the archive browser keep the user's, the
// gateway the service's.
enum class DataOwner
{
    user,
    service
};

// The folder of the data, with a trailing separator:
//  - `given` when not empty (the program's --data DIR);
//  - else the program's own folder, when it can be written and is not a
//    folder of the system's (/usr/..., /bin, /sbin): a copy run from where
//    it was built or assembled keeps its data beside it, as it always has;
//  - else, for the user: $XDG_DATA_HOME/tessaro, by default
//    <home>/.local/share/tessaro; for the service: /var/lib/tessaro-gateway.
// The folder is created (with its parents) when it is missing; whether that
// worked shows when the program writes there. Empty only when there is no
// home to take the user's from.
std::string dataFolder(DataOwner owner, std::string_view given = {});

// Whether the program's own folder can take data: it can be written and is
// not one of the system's.
bool programFolderTakesData();

// Whether the data folder differs from the program's (an installed copy).
bool dataFolderIsElsewhere(const std::string& dataFolder);

// A file the program ships with: the one in `folder` (the data folder) when
// it is there, else the installed one in kSharedDataFolder beside the
// program's folder (/usr/bin/ -> /usr/share/tessaro/, wherever the package
// was unpacked). The first of these when neither exists.
std::string shippedFile(const std::string& folder, std::string_view name);

// Where an installed copy's shipped files lie, from its program's folder.
inline constexpr std::string_view kSharedDataFolder = "../share/tessaro/";
// The gateway's data when it runs as a service.
inline constexpr std::string_view kServiceDataFolder = "/var/lib/tessaro-gateway/";
// Below $XDG_DATA_HOME.
inline constexpr std::string_view kUserDataName = "tessaro";

// Set by a host for the receiver library in its process: the library's
// settings and log live in the host's data folder.
inline constexpr const char* kHostDataVariable = "TESSARO_DATA";

// The library's folder: $TESSARO_DATA when a host set it, else the program's.
std::string libraryHostFolder();

} // namespace platform
