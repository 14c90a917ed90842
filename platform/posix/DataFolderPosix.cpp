// The data folder's rule over POSIX: write access and the mode bits decide
// whether the program's folder can take the data.
#include "DataFolder.h"
#include "Paths.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::string_view kXdgDefault = ".local/share";
// The system's own program folders: a copy there is installed, even for root,
// who may write anywhere.
constexpr std::array<std::string_view, 4> kSystemFolders = {"/usr/", "/bin/", "/sbin/", "/lib/"};
constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;

bool inSystemFolder(const std::string& folder)
{
    for (std::string_view system : kSystemFolders)
        if (std::string_view(folder).starts_with(system))
            return true;
    return false;
}

// access() alone says yes to root for every folder: a folder whose mode
// forbids writing to everyone is read-only here too.
bool canWrite(const std::string& folder)
{
    struct stat st
    {
    };
    return !folder.empty() && !inSystemFolder(folder) && ::access(folder.c_str(), W_OK) == 0 &&
           ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & kAnyWrite) != 0;
}

std::string userDataFolder()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        base = xdg;
    else if (const std::string home = homeFolder(); !home.empty())
        base = joinPath(home, kXdgDefault);
    else
        return {};
    return withTrailingSeparator(joinPath(base, kUserDataName));
}

} // namespace

std::string dataFolder(DataOwner owner, std::string_view given)
{
    std::string folder;
    if (!given.empty())
        folder = withTrailingSeparator(given);
    else if (const std::string program = programFolder(); canWrite(program))
        folder = program;
    else
        folder = owner == DataOwner::user ? userDataFolder() : std::string(kServiceDataFolder);
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    return folder;
}

bool programFolderTakesData()
{
    return canWrite(programFolder());
}

bool dataFolderIsElsewhere(const std::string& dataFolder)
{
    std::error_code error;
    return !std::filesystem::equivalent(dataFolder, programFolder(), error) || error;
}

std::string shippedFile(const std::string& folder, std::string_view name)
{
    const std::string here = joinPath(folder, name);
    if (fileExists(here))
        return here;
    const std::string program = programFolder();
    if (program.empty())
        return here;
    const std::string shared = joinPath(joinPath(program, kSharedDataFolder), name);
    return fileExists(shared) ? shared : here;
}

std::string libraryHostFolder()
{
    if (const char* host = std::getenv(kHostDataVariable); host != nullptr && host[0] != '\0')
        return withTrailingSeparator(host);
    return programFolder();
}

} // namespace platform
