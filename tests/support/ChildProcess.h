// An outside program that a test starts and that is stopped when the test
// ends: SIGTERM, then SIGKILL when it does not end in time. Its standard
// output (and standard error, when asked) can be read line by line with a
// time-out. Tools the tests need are required, not optional: findTool()
// throws with the Debian package to install.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

// The tool's path, looked for in PATH and in the system folders that a
// user's PATH may lack (gpsd lives in /usr/sbin).
inline std::string findTool(const std::string& name, const std::string& debianPackage)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        const std::string candidate = path.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    throw std::runtime_error(name + " is missing: install the Debian package " + debianPackage +
                             " (scripts/setup)");
}

class ChildProcess
{
public:
    enum class Output
    {
        Inherit,      // the test's own output
        Capture,      // standard output readable through readLine()
        CaptureBoth,  // standard output and standard error, merged
        CaptureError, // standard error only; standard output goes to /dev/null
    };

    ChildProcess(const std::vector<std::string>& argv, Output output = Output::Inherit,
                 const std::vector<std::string>& extraEnvironment = {})
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeFds[2] = {-1, -1};
        if (output != Output::Inherit) {
            if (::pipe2(pipeFds, O_CLOEXEC) != 0)
                throw std::runtime_error("pipe failed");
            if (output == Output::CaptureError)
                posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            else
                posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
            if (output != Output::Capture)
                posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        // The extra variables replace the test's own of the same name.
        std::vector<std::string> envStrings(extraEnvironment);
        const auto overridden = [&extraEnvironment](std::string_view entry) {
            const std::string_view name = entry.substr(0, entry.find('=') + 1);
            return std::any_of(
                extraEnvironment.begin(), extraEnvironment.end(),
                [name](const std::string& extra) { return extra.starts_with(name); });
        };
        for (char** e = environ; *e; ++e)
            if (!overridden(*e))
                envStrings.emplace_back(*e);
        std::vector<char*> env;
        for (auto& e : envStrings)
            env.push_back(e.data());
        env.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (pipeFds[1] >= 0)
            ::close(pipeFds[1]);
        m_output = pipeFds[0];
        if (rc != 0) {
            m_pid = -1;
            throw std::runtime_error("cannot start " + argv[0]);
        }
        m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    }

    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

    bool alive()
    {
        if (m_pid < 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
            m_pid = -1;
            return false;
        }
        return true;
    }

    // The next line of output without its line end; nothing when the time is
    // up or the output has ended.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (const auto nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (m_output < 0 || left.count() <= 0)
                return std::nullopt;
            pollfd pfd{m_output, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char chunk[4096];
            const ssize_t n = ::read(m_output, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Ends the program: SIGTERM, and SIGKILL when it is still there after the grace time.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3))
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            if (!waitExit(grace)) {
                ::kill(m_pid, SIGKILL);
                waitExit(grace);
            }
        }
        if (m_pidFd >= 0)
            ::close(m_pidFd);
        if (m_output >= 0)
            ::close(m_output);
        m_pidFd = m_output = -1;
    }

    // Waits for the program to end by itself; false when the time is up first.
    bool waitExit(std::chrono::milliseconds timeout)
    {
        if (m_pid <= 0)
            return true;
        if (m_pidFd >= 0) {
            pollfd pfd{m_pidFd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0)
                return false;
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_status = status;
        m_pid = -1;
        return true;
    }

    // How the program ended, once alive() or waitExit() saw it end: its exit
    // code, or minus the number of the signal that ended it.
    std::optional<int> exitCode() const
    {
        if (!m_status)
            return std::nullopt;
        return WIFEXITED(*m_status) ? WEXITSTATUS(*m_status) : -WTERMSIG(*m_status);
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status; // as waitpid() gave it
    int m_pidFd = -1;
    int m_output = -1;
    std::string m_buffer;
};

} // namespace testsupport
