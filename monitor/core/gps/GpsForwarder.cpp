// Port writes, the live and replay ticks, and the navigation window's steps.
#include "GpsForwarder.h"

#include "DataFolder.h"
#include "DevicePath.h"
#include "NavigationTitle.h"
#include "NmeaSentence.h"
#include "Paths.h"
#include "SerialDevice.h"
#include "TextCodec.h"

#include <algorithm>
#include <fstream>
#include <optional>

namespace monitor {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Track lines go out with what the port takes at once: a replay tick sends a
// whole block, and a stopped reader must not make it wait per line.
constexpr std::chrono::milliseconds kNoWait{0};
constexpr std::size_t kReadChunk = 4096;

// A whole file; nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text;
    char buffer[kReadChunk];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return std::nullopt;
    return text;
}

// The sentence a recorder's position text holds: the text ends at its first
// zero byte, and the line end recorders commonly send with it (CR LF, LF, CR,
// with zero bytes after them) is not part of it. What follows a line end
// inside the text stays, so that the check refuses it.
std::string_view sentenceOf(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    const std::size_t last = text.find_last_not_of("\r\n");
    return text.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

} // namespace

GpsForwarder::GpsForwarder(StationTimer& gpsTimer, StationTimer& initGpsTimer,
                           platform::WindowSystem& windows, Options options)
    : m_gpsTimer(gpsTimer), m_initGpsTimer(initGpsTimer), m_windows(windows),
      m_programFolder(std::move(options.programFolder)),
      m_portPath(options.portPath.empty() ? platform::virtualDevicePath(kVirtualGpsPort)
                                          : std::move(options.portPath)),
      m_portWait(std::clamp(options.portWait, kNoWait, kPortWait))
{
    m_gpsTimer.setInterval(kGpsTimerInterval);
    m_gpsTimer.setEnabled(true);
    m_initGpsTimer.setInterval(kInitGpsTimerInterval);
    m_initGpsTimer.setEnabled(true);
}

GpsForwarder::~GpsForwarder() = default;

void GpsForwarder::SetTextOutput(std::function<void(const std::string&)> showText)
{
    m_showText = std::move(showText);
}

void GpsForwarder::OpenPort()
{
    m_port.reset();
    m_port = platform::SerialDevice::open(m_portPath);
    const std::string refusal =
        m_port ? std::string() : platform::SerialDevice::folderRefusal(m_portPath);
    m_portRefusal = refusal.empty() ? std::string() : std::string(kPortRefusedText).append(refusal);
    m_portState = m_port                  ? PortState::Open
                  : m_portRefusal.empty() ? PortState::Missing
                                          : PortState::Refused;
    if (m_portState == PortState::Refused)
        showText({}); // the GPS line tells the refusal from now on
    m_lineBroken = false;
    m_portStalled = false;
}

void GpsForwarder::ResetSentenceState()
{
    m_gpsSendBusy = false;
    m_liveSentenceSent = false;
}

void GpsForwarder::Close()
{
    m_initGpsTimer.setEnabled(false);
    m_replay.Reset();
    ClosePort();
}

void GpsForwarder::ClosePort()
{
    m_port.reset();
    m_portState = PortState::Closed;
}

void GpsForwarder::writeToPort(std::string_view text, std::chrono::milliseconds wait)
{
    if (!m_port)
        return;
    const std::string_view lead = m_lineBroken ? kLineEnd : std::string_view();
    std::string bytes;
    bytes.reserve(lead.size() + text.size());
    bytes.append(lead).append(text);
    const std::size_t written = m_port->write(bytes, m_portStalled ? kNoWait : wait);
    if (m_port->failed()) {
        portLost();
        return;
    }
    if (written > 0)
        m_portStalled = false;
    else if (wait > kNoWait)
        m_portStalled = true;
    if (written == bytes.size() || written == lead.size())
        m_lineBroken = false; // all went out, or the line end and nothing of the text
    else if (written > lead.size())
        m_lineBroken = true; // the text went out in part
    // else: not even the whole line end went out; the next one finishes it
}

void GpsForwarder::portLost()
{
    m_port.reset();
    m_portState = PortState::Lost;
    if (m_portReport)
        m_portReport(
            "GPS port lost: " + m_portPath + "; opening it again every " +
            std::to_string(
                std::chrono::duration_cast<std::chrono::seconds>(kGpsTimerInterval).count()) +
            " s");
    showText({});
}

void GpsForwarder::watchPort()
{
    switch (m_portState) {
    case PortState::Closed:
    case PortState::Refused:
        return;
    case PortState::Open:
        if (m_port->isAt(m_portPath))
            return;
        // Removed by hand, or made anew by its maker: the device that the
        // name leads to now, if any, is the port.
        m_port.reset();
        m_portState = PortState::Removed;
        if (!reopenPort("GPS port open again: ") && m_portReport)
            m_portReport("GPS port removed: " + m_portPath + "; taking it again once it is back");
        return;
    case PortState::Missing:
        reopenPort("GPS port open: ");
        return;
    case PortState::Removed:
    case PortState::Lost:
        reopenPort("GPS port open again: ");
        return;
    }
}

bool GpsForwarder::reopenPort(std::string_view said)
{
    m_port = platform::SerialDevice::open(m_portPath);
    if (!m_port)
        return false;
    m_portState = PortState::Open;
    m_portRefusal.clear();
    m_lineBroken = false;
    m_portStalled = false;
    if (m_portReport)
        m_portReport(std::string(said).append(m_portPath));
    return true;
}

void GpsForwarder::SendGpsSentence(std::string_view text)
{
    m_gpsSendBusy = true;
    if (GpsPortOpen()) {
        m_latestSentence = text;
        writeToPort(m_latestSentence, m_portWait);
    }
    m_liveSentenceSent = true;
    m_gpsSendBusy = false;
}

void GpsForwarder::ResendGpsSentence()
{
    if (!m_latestSentence.empty() && GpsPortOpen())
        writeToPort(m_latestSentence, m_portWait);
}

void GpsForwarder::GPSTimerTimer()
{
    if (m_gpsSendBusy)
        return;
    watchPort();
    if (m_portState == PortState::Missing || m_portState == PortState::Removed ||
        m_portState == PortState::Lost) {
        // Nothing reaches a navigation program: no replay, and the GPS line
        // says why until the port is there again.
        m_initGpsTimer.setEnabled(false);
        showText({});
        return;
    }
    if (m_liveSentenceSent) {
        ResendGpsSentence();
        showText(m_latestSentence);
        m_initGpsTimer.setEnabled(false);
    } else {
        LoadTracks();
    }
}

void GpsForwarder::LoadTracks()
{
    m_initGpsTimer.setEnabled(false);
    m_replay.Reset();
    if (loadTrack(1, kTrack1File)) {
        m_replay.Start(TrackReplay::Mode::Track1);
        m_initGpsTimer.setEnabled(true); // a fresh interval
        showText(std::string(kInitialGpsText));
    }
    loadTrack(2, kTrack2File);
}

bool GpsForwarder::loadTrack(int track, std::string_view fileName)
{
    const std::string path = platform::shippedFile(m_programFolder, fileName);
    if (!platform::fileExists(path))
        return false;
    const auto text = readWholeFile(path);
    return text && m_replay.Load(track, TrackReplay::splitLines(*text));
}

void GpsForwarder::StartTrack2Replay()
{
    if (m_replay.BlockCount(2) == 0)
        return;
    m_replay.Start(TrackReplay::Mode::Track2);
    m_initGpsTimer.setEnabled(true);
}

void GpsForwarder::InitGPSTimerTimer()
{
    const bool goesOn = m_replay.Tick([this](const std::string& line) {
        std::string bytes = line;
        bytes.append(kLineEnd);
        writeToPort(bytes, kNoWait);
    });
    if (!goesOn)
        m_initGpsTimer.setEnabled(false);
}

bool GpsForwarder::FindNavigationWindow(platform::NativeWindow window)
{
    if (window == m_mainWindow)
        return true;
    const std::string className = m_windows.className(window);
    const std::string title = m_windows.title(window);
    if (className.empty() || title.empty())
        return true;
    auto navigationTitle = navigationTitleOf(title);
    if (!navigationTitle)
        return true;
    m_navigationWindow = window;
    m_navigationTitle = std::move(*navigationTitle);
    return false;
}

void GpsForwarder::ForwardSelectedSentence(std::string_view text, bool userBusy)
{
    text = sentenceOf(text);
    // Anything but one well-formed sentence stays in the archive only: it is
    // not written, not shown, not repeated, and brings no window forward.
    if (!nmea::isWellFormedNmeaSentence(text))
        return;
    m_selectedDeviceSentence.assign(text).append(kLineEnd);
    SendGpsSentence(m_selectedDeviceSentence);
    // With no navigation window known, the bring-to-front below fails and the
    // topmost band is left, whatever window has the focus.
    if (userBusy || (m_navigationWindow != platform::kNoWindow &&
                     m_windows.foregroundWindow() == m_navigationWindow))
        return;
    if (!m_windows.bringToForeground(m_navigationWindow))
        forgetNavigationWindow();
}

void GpsForwarder::forgetNavigationWindow()
{
    m_navigationWindow = platform::kNoWindow;
    m_navigationWindowTitled = false;
    m_windows.setTopmost(m_mainWindow, false);
}

void GpsForwarder::RefreshNavigationWindow(std::string_view selectedKey)
{
    if (m_navigationWindow == platform::kNoWindow) {
        for (platform::NativeWindow window : m_windows.topLevelWindows())
            if (!FindNavigationWindow(window))
                break;
    }
    if (!GpsPortOpen() || m_navigationWindow == platform::kNoWindow)
        return;
    if (!m_navigationWindowTitled) {
        m_navigationWindowTitled = true;
        RetitleNavigationWindow(selectedKey);
        m_windows.setTopmost(m_mainWindow, true);
    }
    if (!m_selectedDeviceSentence.empty())
        SendGpsSentence(m_selectedDeviceSentence);
}

void GpsForwarder::RetitleNavigationWindow(std::string_view key)
{
    if (m_navigationWindow != platform::kNoWindow && !m_navigationTitle.empty())
        m_windows.setTitle(m_navigationWindow, keyedNavigationTitle(key, m_navigationTitle));
}

void GpsForwarder::SelectionChanged()
{
    m_selectedDeviceSentence.clear();
    m_latestSentence.clear();
    // The replay's "(Initial GPS...)" stays until the first live sentence.
    if (m_liveSentenceSent)
        showText({});
}

void GpsForwarder::showText(const std::string& windows1252)
{
    if (!m_showText)
        return;
    // What became of the port is what the GPS line says until a port opens.
    if (m_portState == PortState::Refused)
        m_showText(platform::utf8ToWindows1252(m_portRefusal));
    else if (m_portState == PortState::Lost)
        m_showText(std::string(kPortLostText));
    else if (m_portState == PortState::Removed)
        m_showText(std::string(kPortRemovedText));
    else if (m_portState == PortState::Missing)
        m_showText(std::string(kNoPortText));
    else if (windows1252.size() <= kShownTextMax)
        m_showText(windows1252);
    else
        m_showText(windows1252.substr(0, kShownTextMax));
}

} // namespace monitor
