// Reading "quvex.ini": defaults, name matching, number forms and the low-8-bit rule.
#include "LibrarySettings.h"

#include "LogCapture.h"
#include "MainForm.h"
#include "TempFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kavrel;

namespace {

struct SettingsCase
{
    const char* legend;
    const char* ini; // nullptr: no file
    int wantLog, showDebug, saveData, socketTimeout;
};

const SettingsCase kCases[] = {
    {"missing file gives the defaults", nullptr, 0, 0, 0, 1},
    {"empty file", "", 0, 0, 0, 1},
    {"plain values", "[Option]\nWANT_LOG=1\nSHOW_DEBUG=1\nSAVE_DATA=1\nSOCKET_TIMEOUT=5\n", 1, 1, 1,
     5},
    {"names in any case", "[oPTION]\nwant_log=1\nShow_Debug=1\nsave_DATA=1\n", 1, 1, 1, 1},
    {"257 keeps 1, 256 keeps 0", "[Option]\nWANT_LOG=256\nSHOW_DEBUG=257\nSAVE_DATA=256\n", 0, 1, 0,
     1},
    {"hexadecimal after 0x and $",
     "[Option]\nSHOW_DEBUG=0x101\nSAVE_DATA=$01\nSOCKET_TIMEOUT=0x10\n", 0, 1, 1, 16},
    {"garbage keeps the default", "[Option]\nWANT_LOG=yes\nSOCKET_TIMEOUT=5min\nSAVE_DATA=0x\n", 0,
     0, 0, 1},
    {"negative numbers", "[Option]\nSOCKET_TIMEOUT=-3\nWANT_LOG=-1\n", 255, 0, 0, -3},
    {"out of range keeps the default", "[Option]\nSOCKET_TIMEOUT=99999999999\n", 0, 0, 0, 1},
    {"other sections are ignored", "[Other]\nWANT_LOG=1\n[Option]\nSAVE_DATA=1\n", 0, 0, 1, 1},
    {"the first of a repeated key wins", "[Option]\nSAVE_DATA=1\nSAVE_DATA=0\n", 0, 0, 1, 1},
    {"spaces around names and values", "[Option]\n  WANT_LOG =  1  \n", 1, 0, 0, 1},
    {"an indented key after another is a key, not a continuation",
     "[Option]\nWANT_LOG=1\n  SAVE_DATA=1\n", 1, 0, 1, 1},
    {"only = separates, not :", "[Option]\nSAVE_DATA:1\nSHOW_DEBUG=1\n", 0, 1, 0, 1},
    {"comments, CR LF and a byte-order mark",
     "\xEF\xBB\xBF[Option]\r\n;SAVE_DATA=1\r\nWANT_LOG=1 ; on\r\n", 1, 0, 0, 1},
};

} // namespace

TEST(LibrarySettings, ReadsTheOptionSection)
{
    for (const auto& c : kCases) {
        TempFolder folder;
        const std::string path = folder.path() + "quvex.ini";
        if (c.ini != nullptr)
            std::ofstream(path) << c.ini;
        const auto s = LibrarySettings::load(path);
        EXPECT_EQ(s.WANT_LOG, c.wantLog) << c.legend;
        EXPECT_EQ(s.SHOW_DEBUG, c.showDebug) << c.legend;
        EXPECT_EQ(s.SAVE_DATA, c.saveData) << c.legend;
        EXPECT_EQ(s.SOCKET_TIMEOUT, c.socketTimeout) << c.legend;
    }
}

TEST(LibrarySettings, EffectiveSwitchesFollowTheKeptByte)
{
    LibrarySettings s;
    s.SHOW_DEBUG = 2;
    s.SAVE_DATA = 1;
    s.WANT_LOG = 2;
    EXPECT_FALSE(s.showDebug()) << "only exactly 1 shows the window";
    EXPECT_TRUE(s.saveData());
    EXPECT_TRUE(s.wantLog()) << "any value but 0 logs";
}

TEST(LibrarySettings, GuardLimitsAcceptOnlyPositiveValuesThatFit)
{
    struct Case
    {
        const char* legend;
        const char* ini;
        std::int32_t maxPacketSize, maxConnections;
        std::int32_t maxPacketMemory = 512 * 1024 * 1024, perAddress = 128;
    };
    const Case cases[] = {
        {"zero keeps the default, hexadecimal count",
         "[Option]\nMAX_PACKET_SIZE=0\nMAX_CONNECTIONS=$10\n", 64 * 1024 * 1024, 16},
        {"the largest size whose event length (size + 1) still fits 32 bits",
         "[Option]\nMAX_PACKET_SIZE=2147483647\n", 2147483646, 1000},
        {"memory budget and per-address limit; 0 switches the per-address limit off",
         "[Option]\nMAX_PACKET_MEMORY=$100000\nMAX_CONNECTIONS_PER_ADDRESS=0\n", 64 * 1024 * 1024,
         1000, 0x100000, 0},
        {"a budget of 0 and a negative per-address limit keep the defaults",
         "[Option]\nMAX_PACKET_MEMORY=0\nMAX_CONNECTIONS_PER_ADDRESS=-1\n", 64 * 1024 * 1024, 1000},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string path = folder.path() + "quvex.ini";
        std::ofstream(path) << c.ini;
        const auto s = LibrarySettings::load(path);
        EXPECT_EQ(s.MAX_PACKET_SIZE, c.maxPacketSize) << c.legend;
        EXPECT_EQ(s.MAX_CONNECTIONS, c.maxConnections) << c.legend;
        EXPECT_EQ(s.MAX_PACKET_MEMORY, c.maxPacketMemory) << c.legend;
        EXPECT_EQ(s.MAX_CONNECTIONS_PER_ADDRESS, c.perAddress) << c.legend;
    }
}

TEST(LibrarySettings, ReadFromTheCurrentFolderWhenTheProgramFolderIsUnknown)
{
    TempFolder current;
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(current.path());
    std::ofstream(current.path() + "quvex.ini") << "[Option]\nSOCKET_TIMEOUT=7\n";
    {
        kavrel::TfrmMain::Options options;
        options.programFolder = [] { return std::string(); };
        kavrel::TfrmMain frm(nullptr, options);
        LogCapture log;
        frm.core().log.setWindowSink(log.sink());
        frm.start(0);
        EXPECT_EQ(frm.core().HostFolder, current.path()) << "never the file system's root";
        EXPECT_EQ(frm.core().settings.SOCKET_TIMEOUT, 7);
        EXPECT_TRUE(log.has("Program folder unknown; settings and log in the current folder " +
                            current.path()));
        frm.stop();
    }
    std::filesystem::current_path(before);
}

// What cannot be used is told with the file's line, and the library's start
// logs each finding; the values taken stay those of the rules above.
TEST(LibrarySettings, WhatCannotBeUsedIsToldWithItsLineAndLogged)
{
    struct Case
    {
        const char* legend;
        const char* ini;
        int wantLog, showDebug, saveData, socketTimeout;
        std::int32_t maxConnections, maxPacketSize;
        std::vector<std::string> findings;
    };
    constexpr std::int32_t kSize = 64 * 1024 * 1024;
    const Case cases[] = {
        {"a clean file tells nothing",
         "; station\n[Option]\nWANT_LOG=1\nSAVE_DATA=1 ; raw\n",
         1,
         0,
         1,
         1,
         1000,
         kSize,
         {}},
        {"values that are no number take the default",
         "[Option]\nSOCKET_TIMEOUT=abc\nMAX_CONNECTIONS=lots\nWANT_LOG=\n",
         0,
         0,
         0,
         1,
         1000,
         kSize,
         {"quvex.ini line 2: SOCKET_TIMEOUT must be a whole number (decimal, or hexadecimal after "
          "0x or $), not \"abc\"; the default 1 is taken",
          "quvex.ini line 3: MAX_CONNECTIONS must be a whole number from 1 to 2147483647, not "
          "\"lots\"; the default 1000 is taken",
          "quvex.ini line 4: WANT_LOG must be a whole number (decimal, or hexadecimal after 0x or "
          "$), not \"\"; the default 0 is taken"}},
        {"out of range: the default, or the largest that fits, or the low 8 bits",
         "[Option]\nMAX_CONNECTIONS=0\nMAX_PACKET_SIZE=2147483647\nSHOW_DEBUG=257\n",
         0,
         1,
         0,
         1,
         1000,
         2147483646,
         {"quvex.ini line 2: MAX_CONNECTIONS must be a whole number from 1 to 2147483647, not "
          "\"0\"; the default 1000 is taken",
          "quvex.ini line 3: MAX_PACKET_SIZE must be at most 2147483646, not \"2147483647\"; "
          "2147483646 is taken",
          "quvex.ini line 4: SHOW_DEBUG=257 counts only its low 8 bits: 1 is taken"}},
        {"an unknown name is ignored",
         "[Option]\n\nSAVE_DAT=1\n",
         0,
         0,
         0,
         1,
         1000,
         kSize,
         {"quvex.ini line 3: unknown setting \"SAVE_DAT\" in [Option] is ignored"}},
        {"an unknown section is ignored with its lines, told once",
         "[Options]\nSAVE_DATA=1\nWANT_LOG=1\n[Option]\nSHOW_DEBUG=1\n",
         0,
         1,
         0,
         1,
         1000,
         kSize,
         {"quvex.ini line 1: unknown section [Options] is ignored with its lines (the settings "
          "are read from [Option])"}},
        {"a name given again: the first is kept",
         "[Option]\nSAVE_DATA=1\nsave_data=0\n",
         0,
         0,
         1,
         1,
         1000,
         kSize,
         {"quvex.ini line 3: SAVE_DATA is given again (first on line 2); the first value is "
          "kept"}},
        {"before any section, and a line that is no setting",
         "WANT_LOG=1\n[Option]\nSAVE_DATA:1\n",
         0,
         0,
         0,
         1,
         1000,
         kSize,
         {"quvex.ini line 1: \"WANT_LOG\" stands before [Option] and is ignored",
          "quvex.ini line 3: \"SAVE_DATA:1\" is not a setting (name=value) and is ignored"}},
        {"control characters from the file are shown escaped",
         "[Option]\r\nSOCKET_TIMEOUT=\x1b[2J\r\n",
         0,
         0,
         0,
         1,
         1000,
         kSize,
         {"quvex.ini line 2: SOCKET_TIMEOUT must be a whole number (decimal, or hexadecimal "
          "after 0x or $), not \"%1B[2J\"; the default 1 is taken"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        TempFolder folder;
        std::ofstream(folder.path() + "quvex.ini") << c.ini;
        const LibrarySettingsReading read = readLibrarySettings(folder.path() + "quvex.ini");
        EXPECT_EQ(read.findings, c.findings);

        kavrel::TfrmMain::Options options;
        options.hostFolder = folder.path();
        kavrel::TfrmMain frm(nullptr, options);
        LogCapture log;
        frm.core().log.setWindowSink(log.sink());
        frm.start(0);
        const LibrarySettings& s = frm.core().settings;
        EXPECT_EQ(s.WANT_LOG, c.wantLog);
        EXPECT_EQ(s.SHOW_DEBUG, c.showDebug);
        EXPECT_EQ(s.SAVE_DATA, c.saveData);
        EXPECT_EQ(s.SOCKET_TIMEOUT, c.socketTimeout);
        EXPECT_EQ(s.MAX_CONNECTIONS, c.maxConnections);
        EXPECT_EQ(s.MAX_PACKET_SIZE, c.maxPacketSize);
        for (const std::string& finding : c.findings)
            EXPECT_TRUE(log.has(finding)) << finding;
        frm.stop();
    }
    TempFolder folder;
    std::filesystem::create_directory(folder.path() + "quvex.ini");
    EXPECT_EQ(
        readLibrarySettings(folder.path() + "quvex.ini").findings,
        std::vector<std::string>{"quvex.ini cannot be read (not a file); the defaults are used"});
}
