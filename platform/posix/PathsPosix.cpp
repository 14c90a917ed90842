// Paths over POSIX: the program's folder comes from /proc/self/exe.
#include "Paths.h"

#include <cerrno>
#include <climits>
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
        struct stat st{};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    return false;
}

bool fileExists(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}

} // namespace platform
