// Where the single-instance lock and the virtual GPS port's folder live, by the
// environment a station starts in: never in a folder that other users share,
// so that no other user can keep the station from starting, let a second one
// run, or stand in for the GPS port.
#include "DevicePath.h"
#include "Paths.h"
#include "SingleInstanceLock.h"
#include "TempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Sets (or, with none, unsets) an environment variable for one scope.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, std::optional<std::string> value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        apply(value);
    }
    ~ScopedEnvironment() { apply(m_old); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void apply(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_name, value->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string hostName()
{
    char buffer[256] = {};
    ::gethostname(buffer, sizeof buffer - 1);
    return buffer;
}

} // namespace

TEST(RuntimeFolder, LockAndGpsFolderStayInTheUsersOwnFolders)
{
    struct Case
    {
        const char* legend;
        bool runtimeSet;     // XDG_RUNTIME_DIR: the runtime folder, else unset
        const char* runtime; // or this text when not set to the folder
        bool vgpsDirSet;     // VGPS_DIR: a folder of its own
        const char* folder;  // expected, under the home ("~") or runtime ("run") folder
    };
    const Case cases[] = {
        {"the session's runtime folder", true, nullptr, false, "run"},
        {"no runtime folder: the home's cache, by host", false, nullptr, false, "~"},
        {"an empty runtime folder counts as none", false, "", false, "~"},
        {"VGPS_DIR moves the GPS folder only", false, nullptr, true, "~"},
    };
    const std::string lockName = "RuntimeFolderTest-" + std::to_string(::getpid());
    const std::string tmpLock = "/tmp/" + lockName + "-" + std::to_string(::getuid()) + ".lock";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder home;
        TempFolder run;
        TempFolder vgps;
        const std::string runPath = fs::path(run.path()).parent_path().string();
        ScopedEnvironment homeVariable("HOME", fs::path(home.path()).parent_path().string());
        ScopedEnvironment runtimeVariable(
            "XDG_RUNTIME_DIR",
            c.runtimeSet ? std::optional(runPath)
                         : (c.runtime ? std::optional<std::string>(c.runtime) : std::nullopt));
        ScopedEnvironment vgpsVariable("VGPS_DIR",
                                       c.vgpsDirSet ? std::optional(vgps.path()) : std::nullopt);
        const std::string expected =
            std::string(c.folder) == "run" ? runPath : home.path() + ".cache/tessaro-" + hostName();

        EXPECT_EQ(platform::userRuntimeFolder(), expected);
        EXPECT_EQ(platform::virtualDeviceFolder(), c.vgpsDirSet ? vgps.path() : expected + "/vgps");
        EXPECT_EQ(platform::virtualDevicePath("\\\\.\\VGPSIn"),
                  platform::joinPath(c.vgpsDirSet ? vgps.path() : expected + "/vgps", "VGPSIn"));

        auto first = platform::SingleInstanceLock::acquire(lockName);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(platform::SingleInstanceLock::acquire(lockName), nullptr) << "held";
        EXPECT_TRUE(fs::is_regular_file(expected + "/" + lockName + ".lock"));
        EXPECT_FALSE(fs::exists(tmpLock));
        // A folder the station made is the user's alone.
        EXPECT_EQ(fs::status(expected).permissions() &
                      (fs::perms::group_all | fs::perms::others_all),
                  fs::perms::none);
        first.reset();
        EXPECT_NE(platform::SingleInstanceLock::acquire(lockName), nullptr) << "released";
    }
}
