// The library object: one per process between GPRSInitial and GPRSFree. It
// reads the settings, sets up the log and the debug window, and owns the
// listener `ServerSocket1`.
//
// Threads: every member function runs on the host's thread that called
// GPRSInitial (the debug window's close box too). The state that workers read
// lives in the shared ReceiverCore.
#pragma once

#include "ConnectionListener.h"
#include "DataFolder.h"
#include "LogWindow.h"
#include "Paths.h"
#include "ReceiverCore.h"
#include "kavrel.h"

#include <functional>
#include <memory>
#include <string>

namespace kavrel {

class TfrmMain
{
public:
    struct Options
    {
        std::string hostFolder; // empty: the host's data folder
        // The host's data folder (the one it names in TESSARO_DATA), else where
        // the running program's file lies; empty when that cannot be found.
        std::function<std::string()> programFolder = platform::libraryHostFolder;
        std::chrono::milliseconds silenceLimit = kSilenceLimit;
        PayloadRateFloor payloadRateFloor;
        ListenerOptions listener;
        DiagnosticLog::Clock clock = platform::localNow;
        LogWindowFactory windowFactory; // empty: no debug window
    };

    TfrmMain(void* parentWindow, Options options);
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    // Reads the settings, sets up the log and the window, and listens on the
    // port. Answers 0 when listening, else why not: the system's error number
    // (such as EADDRINUSE), or KAVREL_LISTEN_FAILED when there is none.
    std::int32_t start(std::int32_t port);
    // Tries the listening alone again, after start or an earlier listen could
    // not listen; answers as start. Settings, log and window stay as they are.
    std::int32_t listen(std::int32_t port);
    // The last start or listen could not listen, and no later one has.
    bool listenPending() const { return m_listenPending; }

    void setCallback(KavrelHostCallback callback) { m_core->callback = callback; }

    // Silences the log and ends every connection; the object may then be destroyed.
    void stop();

    // Deactivates the listener: all connections end and no new ones are accepted.
    void FormClose();

    ReceiverCore& core() { return *m_core; }
    ConnectionListener& listener() { return ServerSocket1; }

    static constexpr std::string_view kRawFolderName = "raw";
    // Descriptors kept for the host's files beside one per connection.
    static constexpr std::int64_t kDescriptorReserve = 64;

private:
    void FormCreate(std::string hostFolder);
    void limitConnectionsToDescriptors();
    void LogLine(std::string_view text) { m_core->LogLine(text); }

    void* m_parentWindow;
    bool m_hostFolderIsCurrent = false; // the program's folder was unknown
    bool m_descriptorsLimited = false;  // MAX_CONNECTIONS checked against the descriptors
    bool m_listenPending = false;       // the last try to listen failed
    std::string m_lastListenFailure;    // the log line of that failure
    LogWindowFactory m_windowFactory;
    std::shared_ptr<ReceiverCore> m_core;
    ConnectionListener ServerSocket1;
    std::unique_ptr<LogWindow> m_window;
};

} // namespace kavrel
