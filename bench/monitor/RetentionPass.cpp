// One retention pass over an archive folder, timed: what bench/archive/
// retention-pass.sh runs over a synthetic year.
//
//   archive-retention-pass FOLDER TODAY KEEP_DAYS MIN_FREE_GIB [FREE_GIB]
//
// TODAY is yyyy-mm-dd (noon of it is the pass's time). FREE_GIB, when given,
// stands in for the file system's free space, growing by one GiB for every
// day folder deleted, so that the free-space limit can be measured on any
// disk. Prints key=value lines: the pass's wall time, the days deleted, the
// first and last of them.
#include "ArchiveRetention.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class GrowingFreeSpace final : public monitor::FreeSpace
{
public:
    explicit GrowingFreeSpace(double gib) : m_start(gib) {}
    Reading available(const std::string& folder) const override
    {
        if (m_daysAtStart < 0)
            m_daysAtStart = static_cast<long>(archive::listDayFolders(folder).size());
        const long deleted =
            m_daysAtStart - static_cast<long>(archive::listDayFolders(folder).size());
        return {0, static_cast<std::uint64_t>((m_start + static_cast<double>(deleted)) *
                                              static_cast<double>(1ull << 30))};
    }

private:
    double m_start;
    mutable long m_daysAtStart = -1;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 5) {
        std::fputs("usage: archive-retention-pass FOLDER TODAY KEEP_DAYS MIN_FREE_GIB [FREE_GIB]\n",
                   stderr);
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/')
        folder += '/';
    platform::LocalTime today;
    if (std::sscanf(argv[2], "%d-%d-%d", &today.year, &today.month, &today.day) != 3) {
        std::fprintf(stderr, "archive-retention-pass: TODAY is yyyy-mm-dd, not %s\n", argv[2]);
        return 2;
    }
    today.hour = 12;
    monitor::RetentionLimits limits;
    limits.keepDays = std::atoi(argv[3]);
    limits.minFreeBytes = static_cast<std::uint64_t>(std::atof(argv[4]) * (1ull << 30));
    GrowingFreeSpace growing(argc > 5 ? std::atof(argv[5]) : 0);
    monitor::ArchiveRetention retention(folder, limits,
                                        argc > 5 ? static_cast<const monitor::FreeSpace&>(growing)
                                                 : monitor::systemFreeSpace());

    const auto start = std::chrono::steady_clock::now();
    const monitor::ArchiveRetention::Pass pass = retention.run({today, 0});
    const auto elapsed = std::chrono::steady_clock::now() - start;

    std::printf("pass_ms=%.1f\n", std::chrono::duration<double, std::milli>(elapsed).count());
    std::printf("deleted_days=%zu\n", pass.deleted.size());
    if (!pass.deleted.empty())
        std::printf("first_deleted=%s\nlast_deleted=%s\n", pass.deleted.front().c_str(),
                    pass.deleted.back().c_str());
    for (const std::string& line : pass.lines)
        if (line.find("deleted the day") == std::string::npos)
            std::printf("told=%s\n", line.c_str());
    return 0;
}
