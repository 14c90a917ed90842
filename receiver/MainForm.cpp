#include "MainForm.h"

#include "Paths.h"
#include "ProcessLimits.h"

#include <algorithm>
#include <cstdio>

namespace kavrel {

TfrmMain::TfrmMain(void* parentWindow, Options options)
    : m_parentWindow(parentWindow), m_windowFactory(std::move(options.windowFactory)),
      m_core(std::make_shared<ReceiverCore>(options.clock)),
      ServerSocket1(m_core, std::move(options.listener))
{
    m_core->silenceLimit = options.silenceLimit;
    m_core->payloadRateFloor = options.payloadRateFloor;
    std::string hostFolder =
        options.hostFolder.empty() ? options.programFolder() : options.hostFolder;
    if (hostFolder.empty()) {
        // Never the file system's root: settings, log and raw files stay where the program was
        // started.
        hostFolder = platform::currentFolder();
        m_hostFolderIsCurrent = true;
    }
    FormCreate(std::move(hostFolder));
}

TfrmMain::~TfrmMain()
{
    stop();
}

void TfrmMain::FormCreate(std::string hostFolder)
{
    m_core->HostFolder = platform::withTrailingSeparator(hostFolder);
    m_core->RawFolder = platform::joinPath(m_core->HostFolder, kRawFolderName);
    m_core->Stopping = false;
}

std::int32_t TfrmMain::start(std::int32_t port)
{
    m_core->Stopping = false;
    LibrarySettingsReading reading =
        readLibrarySettings(platform::joinPath(m_core->HostFolder, LibrarySettings::kFileName));
    m_core->settings = reading.settings;
    const auto& s = m_core->settings;
    m_core->packetMemory.setLimit(static_cast<std::uint64_t>(s.MAX_PACKET_MEMORY));
    m_core->log.configure(s.wantLog(), DiagnosticLog::setUpLogFile(m_core->HostFolder,
                                                                   m_core->clock(), s.saveData()));

    if (m_windowFactory)
        m_window = m_windowFactory(m_parentWindow, [this] { FormClose(); });
    if (m_window) {
        m_window->setShown(s.showDebug());
        if (s.showDebug())
            m_core->log.setWindowSink(m_window->sink());
    }

    LogLine("======= DLL Initial ========");
    if (m_hostFolderIsCurrent)
        LogLine("Program folder unknown; settings and log in the current folder " +
                m_core->HostFolder);
    // What the settings file holds that cannot be used: in the log, and on
    // standard error, which the operator sees even with the log off.
    for (const std::string& finding : reading.findings) {
        LogLine(finding);
        std::fprintf(stderr, "Kavrel: %s\n", finding.c_str());
    }
    if (!s.TRUSTED_PROXIES.empty())
        LogLine("TRUSTED_PROXIES: connections from " + s.TRUSTED_PROXIES.describe() +
                " begin with a PROXY protocol v2 header");
    return listen(port);
}

// A failure is logged when it differs from the last one told, so that a host
// trying again every few seconds leaves one line, not one a try; listening
// after a failure is logged once.
std::int32_t TfrmMain::listen(std::int32_t port)
{
    std::string failure;
    std::int32_t result = 0;
    if (port < 0 || port > 0xFFFF) {
        failure = "Listen failed: port " + std::to_string(port) + " out of range";
        result = KAVREL_LISTEN_FAILED;
    } else {
        if (!m_descriptorsLimited) {
            limitConnectionsToDescriptors();
            m_descriptorsLimited = true;
        }
        try {
            ServerSocket1.activate(static_cast<std::uint16_t>(port));
        } catch (const platform::SocketError& e) {
            failure = std::string("Listen failed: ") + e.what();
            result = e.error() > 0 ? e.error() : KAVREL_LISTEN_FAILED;
        } catch (const std::exception& e) {
            failure = std::string("Listen failed: ") + e.what();
            result = KAVREL_LISTEN_FAILED;
        }
    }
    if (result == 0) {
        if (m_listenPending)
            LogLine("Listening on port " + std::to_string(port));
        m_listenPending = false;
        m_lastListenFailure.clear();
        return 0;
    }
    if (failure != m_lastListenFailure)
        LogLine(failure);
    m_lastListenFailure = std::move(failure);
    m_listenPending = true;
    return result;
}

// Each connection holds a descriptor, and the host needs more for its files
// (archive, journal, log, window system). The soft limit is raised to the hard
// one; when even that leaves too few, fewer connections are served.
void TfrmMain::limitConnectionsToDescriptors()
{
    const std::int64_t limit = platform::raiseDescriptorLimit();
    auto& maxConnections = m_core->settings.MAX_CONNECTIONS;
    if (limit <= 0 || maxConnections + kDescriptorReserve <= limit)
        return;
    const std::int64_t fewer = std::max<std::int64_t>(1, limit - kDescriptorReserve);
    LogLine("MAX_CONNECTIONS " + std::to_string(maxConnections) + " with " +
            std::to_string(kDescriptorReserve) +
            " descriptors kept for files exceeds the limit of " + std::to_string(limit) +
            " open descriptors; serving at most " + std::to_string(fewer) + " connections");
    maxConnections = static_cast<std::int32_t>(fewer);
}

void TfrmMain::FormClose()
{
    ServerSocket1.deactivate();
    if (m_window)
        m_window->setShown(false);
}

void TfrmMain::stop()
{
    m_core->log.stop(); // sets Stopping

    FormClose();
    m_core->log.setWindowSink({});
    m_window.reset();
}

} // namespace kavrel
