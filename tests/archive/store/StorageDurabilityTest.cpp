// An acknowledged packet is a stored packet: the journal read back after a
// crash cut it anywhere, a station killed with acknowledged events queued and
// restarted in the same folder, and a station that cannot write its archive
// holding its recorder until it can. The stations are the built program as a
// child process, with the real receiver library and real sockets.
#include "ArchiveFiles.h"
#include "ArchiveNames.h"
#include "ChildProcess.h"
#include "DeviceInfoText.h"
#include "EventJournal.h"
#include "FreePort.h"
#include "LocalTime.h"
#include "PacketBytes.h"
#include "Paths.h"
#include "RecorderConnection.h"
#include "TempFolder.h"
#include "kavrel_events.h"
#include "kavrel_link.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <set>
#include <sys/resource.h>
#include <thread>

using namespace monitor;
using testsupport::ChildProcess;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr auto kProcessBound = 20s;
constexpr auto kAckBound = 10s;
constexpr auto kHeldBound = 2500ms;

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// The most this process has held in memory so far.
long maxResidentKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
constexpr long kLoadMemoryBoundKiB = 64 * 1024;

Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// ---------------------------------------------------------------------------
// The journal's file, cut short or damaged after its last record.

TEST(EventJournalFile, IsReadUpToItsLastWholeRecord)
{
    TempFolder folder;
    const std::string path = folder.path() + "journal";
    const platform::LocalTime at{2026, 12, 6, 14, 30, 5, 0};
    const Bytes sentence = bytesOf("$GPRMC,1\0");
    std::uintmax_t wholeSize = 0;       // the records' end
    std::uintmax_t lastRecordStart = 0; // where the third record begins
    {
        EventJournal journal(path);
        int error = 0;
        for (int i = 0; i < 3; ++i) {
            lastRecordStart = journal.size();
            ASSERT_TRUE(
                journal.append("AB12_3", kavrel::EventCode::CMD_GPRMC_DATA, sentence, at, error))
                << error;
        }
        wholeSize = journal.size();
    }
    struct Case
    {
        const char* legend;
        std::function<void()> damage;
        std::size_t events; // whole events read back
    };
    const auto cutTo = [&](std::uintmax_t size) {
        return [&, size] { fs::resize_file(path, size); };
    };
    const auto putByte = [&](std::uintmax_t offset, char byte) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(offset));
        f.put(byte);
    };
    constexpr std::uintmax_t kGiB = std::uintmax_t{1} << 30;
    const std::vector<Case> cases = {
        {"whole", [] {}, 3},
        {"cut inside the last record's header", cutTo(lastRecordStart + 3), 2},
        {"cut inside the last record's body", cutTo(wholeSize - 4), 2},
        {"last byte damaged", [&] { putByte(wholeSize - 1, 'X'); }, 2},
        {"last record of a kind no station writes", [&] { putByte(lastRecordStart + 8, 7); }, 2},
        // Last: the file is a sparse GiB from here on.
        {"last record's length claims 1 GiB, and the file is that long",
         [&] {
             putByte(lastRecordStart + 3, 0x40); // 0x40000000 + its real length
             fs::resize_file(path, lastRecordStart + 8 + kGiB + 64);
         },
         2},
    };
    const std::string pristine = path + ".pristine";
    fs::copy_file(path, pristine);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        fs::copy_file(pristine, path, fs::copy_options::overwrite_existing);
        c.damage();
        EventJournal journal(path);
        EventJournal::Loaded loaded;
        // A damaged record costs no memory of the size it claims.
        const long rssBefore = maxResidentKiB();
        const auto loadStarted = std::chrono::steady_clock::now();
        ASSERT_EQ(journal.load(loaded), 0);
        EXPECT_LT(maxResidentKiB() - rssBefore, kLoadMemoryBoundKiB);
        std::cout
            << c.legend << ": loaded in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStarted).count()
            << " s\n";
        ASSERT_EQ(loaded.unarchived.size(), c.events);
        EXPECT_EQ(loaded.cutShort, c.events < 3);

        // A record written after the damage is read back whole, next to the
        // earlier ones, under a number of its own.
        int error = 0;
        const auto id = journal.append("CD_4", kavrel::EventCode::CMD_MPEG4_I_CH2,
                                       Bytes(3000, 0x5A), at, error);
        ASSERT_TRUE(id);
        EventJournal reread(path);
        ASSERT_EQ(reread.load(loaded), 0);
        ASSERT_EQ(loaded.unarchived.size(), c.events + 1);
        EXPECT_FALSE(loaded.cutShort);
        const auto event = reread.read(loaded.unarchived.back());
        ASSERT_TRUE(event);
        EXPECT_EQ(event->key, "CD_4");
        EXPECT_EQ(event->code, kavrel::EventCode::CMD_MPEG4_I_CH2);
        EXPECT_EQ(event->data, Bytes(3000, 0x5A));
        EXPECT_EQ(event->receivedAt.second, 5);
        const auto first = reread.read(loaded.unarchived.front());
        ASSERT_TRUE(first);
        EXPECT_EQ(first->data, sentence);

        // Marked archived one by one: the journal is empty once none is left.
        for (const std::uint64_t done : loaded.unarchived)
            reread.markArchived(done);
        EXPECT_EQ(reread.size(), 0u);
        EventJournal emptied(path);
        ASSERT_EQ(emptied.load(loaded), 0);
        EXPECT_TRUE(loaded.unarchived.empty());
        EXPECT_FALSE(loaded.cutShort);
    }
}

// The records' check is zlib's CRC-32, so that journals written by earlier
// versions stay readable, however the bytes are split over calls.
TEST(EventJournalFile, ChecksRecordsWithTheCrc32OfZlib)
{
    struct Case
    {
        const char* legend;
        std::string text;
        std::uint32_t crc;
    };
    const std::vector<Case> cases = {
        {"nothing", "", 0},
        {"the check string", "123456789", 0xCBF43926U},
        {"longer than a step, not a multiple of it", "The quick brown fox jumps over the lazy dog",
         0x414FA339U},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const Bytes bytes = bytesOf(c.text);
        EXPECT_EQ(crc32(bytes), c.crc);
        for (std::size_t split = 0; split <= bytes.size(); ++split)
            EXPECT_EQ(crc32(std::span(bytes).subspan(split), crc32(std::span(bytes).first(split))),
                      c.crc)
                << "split at " << split;
    }
}

// The journal's files on the disk follow what waits, not what passed: a
// steady backlog archived in arrival order, with a restart in the middle that
// recovers exactly what waits from every segment, and an earlier version's
// single file read as the first segment.
TEST(EventJournalFile, StaysNearWhatWaitsUnderASteadyBacklog)
{
    TempFolder folder;
    const std::string path = folder.path() + std::string(EventJournal::kFileName);
    constexpr std::uint64_t kSegment = EventJournal::kGrowBytes;
    constexpr std::size_t kWaiting = 40;
    constexpr int kEvents = 1500;
    const platform::LocalTime at{2026, 12, 6, 14, 30, 5, 0};
    // Every fifth event a clip, the others positions; each says its number.
    const auto dataOf = [](int n) {
        Bytes data(n % 5 == 4 ? 60000 : 70, static_cast<std::uint8_t>(n));
        std::memcpy(data.data(), &n, sizeof n);
        return data;
    };
    {
        // What an earlier version left: one file with a waiting event in it.
        EventJournal earlier(path, std::uint64_t{1} << 40);
        int error = 0;
        ASSERT_TRUE(
            earlier.append("OLD_1", kavrel::EventCode::CMD_GPRMC_DATA, dataOf(-1), at, error));
    }
    auto journal = std::make_unique<EventJournal>(path, kSegment);
    EventJournal::Loaded loaded;
    ASSERT_EQ(journal->load(loaded), 0);
    ASSERT_EQ(loaded.unarchived.size(), 1u);
    std::deque<std::pair<std::uint64_t, int>> waiting = {{loaded.unarchived.front(), -1}};
    std::uint64_t passed = 0;
    std::uint64_t largest = 0;
    for (int n = 0; n < kEvents; ++n) {
        int error = 0;
        const Bytes data = dataOf(n);
        const auto id =
            journal->append("BUS_1", kavrel::EventCode::CMD_MPEG4_I_CH1, data, at, error);
        ASSERT_TRUE(id) << error;
        passed += data.size();
        waiting.emplace_back(*id, n);
        while (waiting.size() > kWaiting) {
            journal->markArchived(waiting.front().first);
            waiting.pop_front();
        }
        std::uint64_t waitingBytes = 0;
        for (const auto& [waitingId, number] : waiting)
            waitingBytes += dataOf(number).size();
        std::uint64_t onDisk = 0;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            onDisk += entry.file_size();
        EXPECT_EQ(onDisk, journal->fileBytes());
        ASSERT_LE(onDisk, 2 * waitingBytes + 2 * kSegment + EventJournal::kGrowBytes)
            << "after event " << n << ", " << passed << " bytes passed";
        largest = std::max(largest, onDisk);

        if (n == kEvents / 2) {
            // A restart reads every segment in order: what waits, nothing else.
            journal = std::make_unique<EventJournal>(path, kSegment);
            ASSERT_EQ(journal->load(loaded), 0);
            EXPECT_FALSE(loaded.cutShort);
            ASSERT_EQ(loaded.unarchived.size(), waiting.size());
            for (std::size_t i = 0; i < waiting.size(); ++i) {
                ASSERT_EQ(loaded.unarchived[i], waiting[i].first);
                const auto event = journal->read(waiting[i].first);
                ASSERT_TRUE(event);
                EXPECT_EQ(event->data, dataOf(waiting[i].second));
            }
        }
    }
    EXPECT_GT(passed, 5 * largest) << "the backlog passed too little to tell";
    std::cout << passed << " bytes passed; the journal's files held at most " << largest << "\n";

    // Everything archived: one segment is left, emptied.
    for (const auto& [id, number] : waiting)
        journal->markArchived(id);
    EXPECT_EQ(journal->size(), 0u);
    journal.reset();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1);
    EventJournal reread(path, kSegment);
    ASSERT_EQ(reread.load(loaded), 0);
    EXPECT_TRUE(loaded.unarchived.empty());
}

// ---------------------------------------------------------------------------
// The station as a process.

class StationProgram
{
public:
    StationProgram()
    {
        for (const char* file : {"Tessaro", "libKavrel.so", "nopicture.mov"})
            fs::copy_file(platform::joinPath(platform::programFolder(), file),
                          m_folder.path() + file);
        fs::permissions(m_runtime.path(), fs::perms::owner_all);
    }

    const std::string& folder() const { return m_folder.path(); }
    std::uint16_t port() const { return m_port; }

    std::unique_ptr<ChildProcess> start() const
    {
        auto station = std::make_unique<ChildProcess>(
            std::vector<std::string>{m_folder.path() + "Tessaro", "--port", std::to_string(m_port)},
            ChildProcess::Output::CaptureBoth,
            std::vector<std::string>{"QT_QPA_PLATFORM=offscreen",
                                     "XDG_RUNTIME_DIR=" + m_runtime.path()});
        const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
        while (std::chrono::steady_clock::now() < deadline) {
            recorder::RecorderConnection probe;
            if (probe.connect("127.0.0.1", m_port, 200ms))
                return station;
            std::this_thread::sleep_for(20ms);
        }
        ADD_FAILURE() << "the station never listened";
        return station;
    }

    // The recorder folder of today.
    fs::path recorderFolder(const std::string& key) const
    {
        return fs::path(archive::dayFolderPath(m_folder.path(), platform::localNow())) / key;
    }

    // The recorder's folders of every day (yyyy/mm/dd/KEY): a run that
    // passes midnight files into two.
    std::vector<fs::path> recorderFolders(const std::string& key) const
    {
        std::vector<fs::path> folders;
        std::error_code ec;
        fs::recursive_directory_iterator it(m_folder.path(), ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            if (it.depth() == 3 && it->is_directory() && it->path().filename() == key)
                folders.push_back(it->path());
            if (it.depth() >= 3)
                it.disable_recursion_pending();
        }
        return folders;
    }

private:
    TempFolder m_folder;
    TempFolder m_runtime;
    std::uint16_t m_port = testsupport::freePort();
};

// Reads the station's output until a line holds text; gives that line.
std::optional<std::string> waitForLine(ChildProcess& station, std::string_view text)
{
    const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto line = station.readLine(500ms);
        if (line && line->find(text) != std::string::npos)
            return line;
        if (!line && !station.alive())
            return std::nullopt;
    }
    return std::nullopt;
}

recorder::RecorderConnection loggedIn(const StationProgram& program, const std::string& serial)
{
    recorder::RecorderConnection recorder;
    EXPECT_TRUE(recorder.connect("127.0.0.1", program.port(), 5s)) << recorder.lastError();
    recorder::DeviceInfo info;
    info.fields = {"QUVEX", serial, "10.0.0.1", "Fleet", "Driver", "Depot", "7"};
    std::string text;
    recorder::appendDeviceInfoText(text, info);
    const auto login =
        recorder.sendPacket(kavrel::EventCode::QUVEX_INFO, recorder::textBytes(text), kAckBound);
    EXPECT_TRUE(login.ok()) << login.error;
    return recorder;
}

// Waits until the folder holds count archived files (bounded); gives them.
std::vector<fs::path> waitForFiles(const std::function<std::vector<fs::path>()>& folders,
                                   std::size_t count)
{
    std::vector<fs::path> files;
    const auto deadline = std::chrono::steady_clock::now() + kProcessBound;
    do {
        files.clear();
        for (const fs::path& folder : folders()) {
            std::error_code ec;
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                // A file being written is not yet in the archive.
                if (!it->path().filename().string().starts_with(kPartialFilePrefix))
                    files.push_back(it->path());
        }
        if (files.size() >= count)
            break;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<fs::path> waitForFiles(const fs::path& folder, std::size_t count)
{
    return waitForFiles([&] { return std::vector<fs::path>{folder}; }, count);
}

TEST(StationKilled, RestartArchivesEveryAcknowledgedEvent)
{
    StationProgram program;
    constexpr int kPositions = 150;
    constexpr int kClips = 3;
    std::set<Bytes> acknowledged;
    {
        const auto station = program.start();
        auto recorder = loggedIn(program, "KILL");
        // As fast as the station acknowledges: its dispatcher takes 50 events a
        // second, so most of these still wait in its queue at the kill.
        for (int i = 0; i < kPositions; ++i) {
            const std::string sentence =
                "$GPRMC,120000.00,A,5100.0,N,00700.0,E,0.0,0.0,061226,,,A*" + std::to_string(i);
            if (recorder
                    .sendPacket(kavrel::EventCode::CMD_GPRMC_DATA, recorder::textBytes(sentence),
                                kAckBound)
                    .ok())
                acknowledged.insert(bytesOf(sentence + "\r\n"));
        }
        for (int i = 0; i < kClips; ++i) {
            Bytes clip(40000 + i, static_cast<std::uint8_t>('a' + i));
            if (recorder.sendPacket(kavrel::EventCode::CMD_MPEG4_I_CH1, clip, kAckBound).ok()) {
                clip.push_back(0); // the library's zero byte, archived with the clip
                acknowledged.insert(clip);
            }
        }
        ::kill(station->pid(), SIGKILL);
        ASSERT_TRUE(station->waitExit(kProcessBound));
    }
    ASSERT_EQ(acknowledged.size(), std::size_t{kPositions + kClips});
    const auto recorderFolders = [&] { return program.recorderFolders("KILL_7"); };
    const auto before = waitForFiles(recorderFolders, 0);
    const std::size_t archivedBeforeRestart = before.size();
    ASSERT_GT(archivedBeforeRestart, 0u);
    // A write the kill interrupted, as it would lie there.
    const fs::path cut = before.back().parent_path() / ".partial-1-1";
    std::ofstream(cut) << "cut";

    const auto restarted = program.start();
    const auto recovered = waitForLine(*restarted, "recovered from the journal");
    ASSERT_TRUE(recovered) << "the restart told no recovery";
    std::cout << "archived before the restart: " << archivedBeforeRestart << "; " << *recovered
              << "\n";
    std::set<Bytes> archived;
    for (const fs::path& file : waitForFiles(recorderFolders, acknowledged.size()))
        archived.insert(readFile(file));
    EXPECT_EQ(archived, acknowledged) << "every acknowledged event, and nothing cut short";
    EXPECT_FALSE(fs::exists(cut)) << "the cut write was left";
    EventJournal journal(program.folder() + std::string(EventJournal::kFileName));
    EventJournal::Loaded left;
    ASSERT_EQ(journal.load(left), 0);
    EXPECT_TRUE(left.unarchived.empty()) << "the journal was not emptied";
}

// ---------------------------------------------------------------------------
// What the archive can never take holds nobody: a journal left with 1,001
// positions of one recorder in one second (one more than the names a second
// has) and records whose receive time cannot be. The restart archives the
// 1,000, sets the last aside whole with its reason, archives the damaged
// times under the time of recovery, serves a recorder at once, and the next
// restart sets nothing aside again.
TEST(StationRestarted, SetsAsideWhatCanNeverBeStoredAndServesTheOthers)
{
    StationProgram program;
    const platform::LocalTime busySecond{2026, 12, 6, 14, 30, 5, 0};
    const auto sentence = [](const std::string& text) {
        Bytes data = bytesOf(text);
        data.push_back(0); // the library's zero byte, journaled with the sentence
        return data;
    };
    struct Damaged
    {
        const char* legend;
        platform::LocalTime receivedAt;
    };
    const std::vector<Damaged> damaged = {
        {"no date at all", {0, 0, 0, 0, 0, 0, 0}},
        {"year 65535, month 13, day 45", {65535, 13, 45, 14, 30, 5, 0}},
        {"29 February of a common year", {2026, 2, 29, 14, 30, 5, 0}},
        {"hour 24", {2026, 12, 6, 24, 0, 0, 0}},
    };
    constexpr auto kPosition = kavrel::EventCode::CMD_GPRMC_DATA;
    {
        EventJournal journal(program.folder() + std::string(EventJournal::kFileName));
        int error = 0;
        for (int i = 0; i <= kMaxSameSecondFiles; ++i)
            ASSERT_TRUE(journal.append("BUSY_1", kPosition, sentence("$GPRMC," + std::to_string(i)),
                                       busySecond, error));
        ASSERT_TRUE(
            journal.append("CALM_2", kPosition, sentence("$GPRMC,calm"), busySecond, error));
        for (const Damaged& d : damaged)
            ASSERT_TRUE(
                journal.append("ODD_3", kPosition, sentence(d.legend), d.receivedAt, error));
    }
    const fs::path quarantine = fs::path(program.folder()) / "quarantine";
    const fs::path busyFolder =
        fs::path(archive::dayFolderPath(program.folder(), busySecond)) / "BUSY_1";
    const auto filesIn = [](const fs::path& folder) {
        std::vector<fs::path> files;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            files.push_back(it->path());
        std::sort(files.begin(), files.end());
        return files;
    };
    // A recorder is served while, and after, the journal is recovered.
    const auto served = [&](const std::string& text) {
        auto recorder = loggedIn(program, "LIVE");
        const auto ack = recorder.sendPacket(kPosition, recorder::textBytes(text), kAckBound);
        EXPECT_TRUE(ack.ok()) << ack.error;
    };
    {
        const auto station = program.start();
        const auto told = waitForLine(*station, "set aside");
        ASSERT_TRUE(told) << "setting aside was not told";
        EXPECT_NE(told->find("BUSY_1"), std::string::npos) << *told;
        served("$GPRMC,live");
        EXPECT_EQ(waitForFiles(program.recorderFolder("LIVE_7"), 1).size(), 1u);

        EXPECT_EQ(filesIn(busyFolder).size(), std::size_t{kMaxSameSecondFiles});
        const auto setAside = filesIn(quarantine);
        ASSERT_EQ(setAside.size(), 2u) << "the event's data and its text";
        EXPECT_EQ(setAside[0].extension(), ".event");
        EXPECT_EQ(readFile(setAside[0]), sentence("$GPRMC," + std::to_string(kMaxSameSecondFiles)));
        const Bytes text = readFile(setAside[1]);
        const std::string description(text.begin(), text.end());
        const std::vector<std::string> lines = {
            "key: BUSY_1\n", "code: " + std::to_string(kPosition) + "\n",
            "received: 2026/12/06 14:30:05\n", "reason: File exists"};
        for (const std::string& line : lines)
            EXPECT_NE(description.find(line), std::string::npos) << description;

        EXPECT_EQ(readFile(fs::path(archive::dayFolderPath(program.folder(), busySecond)) /
                           "CALM_2" / "143005.bin"),
                  bytesOf("$GPRMC,calm\r\n"));
        std::set<Bytes> odd;
        for (const fs::path& file : waitForFiles(program.recorderFolder("ODD_3"), damaged.size()))
            odd.insert(readFile(file));
        for (const Damaged& d : damaged)
            EXPECT_TRUE(odd.contains(bytesOf(std::string(d.legend) + "\r\n")))
                << d.legend << ": not archived under the time of recovery";
        ::kill(station->pid(), SIGKILL);
        ASSERT_TRUE(station->waitExit(kProcessBound));
    }
    const auto restarted = program.start();
    served("$GPRMC,after");
    EXPECT_EQ(waitForFiles(program.recorderFolder("LIVE_7"), 2).size(), 2u);
    EXPECT_EQ(filesIn(quarantine).size(), 2u) << "set aside again";
    EXPECT_EQ(filesIn(busyFolder).size(), std::size_t{kMaxSameSecondFiles});
}

// ---------------------------------------------------------------------------
// A station that cannot write holds the recorder and acknowledges nothing it
// has not stored; once writing works again the packet is stored and acknowledged.

// Sets the station's file-size limit: 0 fails every write to a file with
// EFBIG, for any user (permissions do not stop root).
void limitFileSize(pid_t pid, rlim_t soft)
{
    const rlimit limit{soft, RLIM_INFINITY};
    ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0) << std::strerror(errno);
}

TEST(StationCannotWrite, HoldsTheRecorderUntilItCan)
{
    struct Case
    {
        const char* legend;
        // Takes writing away; the first position is acknowledged (journaled)
        // only when the archive alone fails.
        std::function<void(const StationProgram&, ChildProcess&)> block;
        std::function<void(const StationProgram&, ChildProcess&)> unblock;
        bool firstAcknowledged;
        const char* reason; // the system's words the station tells
    };
    const std::vector<Case> cases = {
        {"no file can be written (journal and archive)",
         [](const StationProgram&, ChildProcess& s) { limitFileSize(s.pid(), 0); },
         [](const StationProgram&, ChildProcess& s) { limitFileSize(s.pid(), RLIM_INFINITY); },
         false, "File too large"},
        {"the recorder's folder cannot be made",
         [](const StationProgram& p, ChildProcess&) {
             fs::create_directories(p.recorderFolder("HOLD_7").parent_path());
             std::ofstream(p.recorderFolder("HOLD_7")) << "in the way";
         },
         [](const StationProgram& p, ChildProcess&) { fs::remove(p.recorderFolder("HOLD_7")); },
         true, "File exists"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        StationProgram program;
        const auto station = program.start();
        c.block(program, *station);
        auto recorder = loggedIn(program, "HOLD");

        const std::string first = "$GPRMC,1";
        const std::string second = "$GPRMC,2";
        if (c.firstAcknowledged) {
            const auto acked = recorder.sendPacket(kavrel::EventCode::CMD_GPRMC_DATA,
                                                   recorder::textBytes(first), kAckBound);
            ASSERT_TRUE(acked.ok()) << acked.error;
            ASSERT_TRUE(waitForLine(*station, c.reason)) << "the failure was not told";
            ASSERT_TRUE(recorder.sendPacketOnly(kavrel::EventCode::CMD_GPRMC_DATA,
                                                recorder::textBytes(second)));
        } else {
            ASSERT_TRUE(recorder.sendPacketOnly(kavrel::EventCode::CMD_GPRMC_DATA,
                                                recorder::textBytes(first)));
            ASSERT_TRUE(waitForLine(*station, c.reason)) << "the failure was not told";
        }
        // Held: nothing is acknowledged through a few of the station's
        // one-second retries (no acknowledgement is an absence: only a bound
        // can show it).
        EXPECT_EQ(recorder.readAck(kHeldBound).status, recorder::AckRead::Status::TimedOut)
            << "acknowledged without being stored";

        c.unblock(program, *station);
        ASSERT_TRUE(waitForLine(*station, "can be written again"));
        const auto ack = recorder.readAck(kAckBound);
        ASSERT_EQ(ack.status, recorder::AckRead::Status::Received) << ack.error;
        EXPECT_EQ(ack.bytes, kavrel::encodeAck(kavrel::EventCode::CMD_GPRMC_DATA));

        std::set<Bytes> expected = {bytesOf(first + "\r\n")};
        if (c.firstAcknowledged)
            expected.insert(bytesOf(second + "\r\n"));
        std::set<Bytes> archived;
        for (const fs::path& file : waitForFiles(program.recorderFolder("HOLD_7"), expected.size()))
            archived.insert(readFile(file));
        EXPECT_EQ(archived, expected);
    }
}

} // namespace
