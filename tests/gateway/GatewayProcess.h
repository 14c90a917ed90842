// tessaro-gateway as tests run it: the real program with its standard error
// read line by line, and the archive it writes read back.
#pragma once

#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace fleettest {

using Bytes = std::vector<std::uint8_t>;

class GatewayProcess
{
public:
    // program: the gateway's executable; a copy elsewhere reads the quvex.ini beside it.
    explicit GatewayProcess(std::vector<std::string> args,
                            const std::string& program = TESSARO_GATEWAY_PATH)
    {
        args.insert(args.begin(), program);
        m_child = std::make_unique<testsupport::ChildProcess>(
            args, testsupport::ChildProcess::Output::CaptureBoth);
    }

    // Waits until a line of standard error holding text has been read, in
    // whatever order the lines came; every line read is kept.
    bool waitLine(std::string_view text, std::chrono::milliseconds timeout)
    {
        if (countLines(text) > 0)
            return true;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            const auto line = m_child->readLine(left);
            if (!line)
                return false;
            m_lines.push_back(*line);
            if (line->find(text) != std::string::npos)
                return true;
        }
    }
    // Stops the program (SIGTERM) and reads what it wrote to the end; its exit code.
    std::optional<int> stop(std::chrono::milliseconds timeout)
    {
        m_child->stop(timeout);
        waitLine("\n", timeout); // no line holds one: reads to the end
        return m_child->exitCode();
    }
    // Lines read so far that hold text.
    int countLines(std::string_view text) const
    {
        int count = 0;
        for (const std::string& line : m_lines)
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }
    std::string lines() const
    {
        std::string all;
        for (const std::string& line : m_lines)
            all += line + "\n";
        return all;
    }

    testsupport::ChildProcess& process() { return *m_child; }
    void kill()
    {
        ::kill(m_child->pid(), SIGKILL);
        m_child->waitExit(std::chrono::seconds(10));
    }

private:
    std::unique_ptr<testsupport::ChildProcess> m_child;
    std::vector<std::string> m_lines;
};

inline Bytes fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The position files (.bin) and clip files (.mov) under the data folder's day folders.
inline void archived(const std::string& dataFolder, std::multiset<Bytes>& positions,
                     std::multiset<Bytes>& clips)
{
    namespace fs = std::filesystem;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dataFolder)) {
        const std::string name = e.path().filename().string();
        if (!e.is_regular_file() || e.path().string().find("/20") == std::string::npos)
            continue;
        if (name.ends_with(".bin"))
            positions.insert(fileBytes(e.path()));
        else if (name.ends_with(".mov") && name != "temp.mov")
            clips.insert(fileBytes(e.path()));
    }
}

} // namespace fleettest
