// Paths over POSIX: the program's folder comes from /proc/self/exe.
#include "Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string programFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind(kPathSeparator);
    if (slash == std::string::npos)
        return {};
    return path.substr(0, slash + 1);
}

std::string currentFolder()
{
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr)
        return std::string(".") + kPathSeparator;
    return withTrailingSeparator(buffer);
}

std::string withTrailingSeparator(std::string_view folder)
{
    std::string out(folder);
    if (out.empty() || out.back() != kPathSeparator)
        out.push_back(kPathSeparator);
    return out;
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    if (folder.empty())
        return std::string(name);
    return withTrailingSeparator(folder) + std::string(name);
}

bool ensureFolder(const std::string& path)
{
    if (path.empty())
        return false;
    if (mkdir(path.c_str(), 0775) == 0 || errno == EEXIST) {
        struct stat st
        {
        };
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

bool fileExists(const std::string& path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0;
}

std::size_t maxNameLength(const std::string& folder)
{
    const long n = pathconf(folder.c_str(), _PC_NAME_MAX);
    return n > 0 ? static_cast<std::size_t>(n) : std::size_t{NAME_MAX};
}

namespace {

constexpr std::string_view kCacheFolder = ".cache";
constexpr std::string_view kRuntimeFolderPrefix = "tessaro-";

std::string hostName()
{
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return "localhost";
    std::string name(buffer);
    for (char& c : name)
        if (c == kPathSeparator)
            c = '_';
    return name;
}

} // namespace

std::string homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return home;
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : std::size_t{16384}, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr)
        return {};
    return found->pw_dir;
}

std::string userRuntimeFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0')
        return runtime;
    const std::string home = homeFolder();
    if (home.empty())
        return {};
    return joinPath(joinPath(home, kCacheFolder), std::string(kRuntimeFolderPrefix) + hostName());
}

} // namespace platform
