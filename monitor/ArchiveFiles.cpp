#include "ArchiveFiles.h"

#include "Paths.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace monitor {

namespace {

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// "x": fail when the file exists, atomically (C11).
constexpr const char* kCreateNewMode = "wbx";
constexpr const char* kReplaceMode = "wb";

bool writeAndClose(File file, std::initializer_list<ByteSpan> parts)
{
    bool ok = true;
    for (const ByteSpan part : parts)
        ok = ok && std::fwrite(part.data(), 1, part.size(), file.get()) == part.size();
    return std::fclose(file.release()) == 0 && ok;
}

} // namespace

std::optional<std::string> writeNewFile(const std::string& folder,
                                        const std::function<std::string(int)>& name,
                                        std::initializer_list<ByteSpan> parts)
{
    for (int index = 1; index <= kMaxSameSecondFiles; ++index) {
        std::string path = platform::joinPath(folder, name(index));
        File file(std::fopen(path.c_str(), kCreateNewMode));
        if (!file) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        if (writeAndClose(std::move(file), parts))
            return path;
        std::remove(path.c_str());
        return std::nullopt;
    }
    return std::nullopt;
}

bool replaceFile(const std::string& path, ByteSpan bytes)
{
    File file(std::fopen(path.c_str(), kReplaceMode));
    if (!file)
        return false;
    if (writeAndClose(std::move(file), {bytes}))
        return true;
    std::remove(path.c_str());
    return false;
}

} // namespace monitor
