// Forwards the selected recorder's position sentences to the virtual GPS port,
// so that navigation software on this computer follows the vehicle, and ties in
// the navigation program's window: found by its title, retitled with the
// recorder's key, brought to the front on each new sentence, with our main
// window kept above it. Until the first live sentence, a canned track from
// "Track1.txt" in the program folder is replayed so that the navigation
// program starts from a known position.
//
// Threads: the user-interface thread only. The window owns the forwarder and
// its two timers and calls GPSTimerTimer and InitGPSTimerTimer when they fire;
// the dispatcher calls ForwardSelectedSentence and RefreshNavigationWindow.
// m_gpsSendBusy and the replay's busy flag keep a tick from re-entering.
//
// The GPS line says what became of the port: missing from the start, its name
// removed while the station runs, or dead under a write (the program that
// makes the virtual port was stopped and started). Each GPSTimer tick checks
// that the port's name still leads to the open device, and opens the name
// again while the port is missing, removed or dead; a port lost or found is
// told through the port report.
//
// Port writes never hold the thread longer than the port wait (at most
// kPortWait), and after a wait in which the port took nothing, writes do not
// wait at all until it takes something again. A sentence that the port took
// only in part is never followed straight by the next one: the next write
// starts with CR LF, so the reader sees the broken piece as a line of its own.
#pragma once

#include "StationTimer.h"
#include "TrackReplay.h"
#include "WindowSystem.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class SerialDevice;
}

namespace monitor {

class GpsForwarder
{
public:
    // The virtual GPS port's Windows device name (see platform/DevicePath.h).
    static constexpr std::string_view kVirtualGpsPort = "\\\\.\\VGPSIn";
    // The longest a sentence write may wait for the port.
    static constexpr std::chrono::milliseconds kPortWait{500};
    static constexpr std::chrono::milliseconds kGpsTimerInterval{2000};
    static constexpr std::chrono::milliseconds kInitGpsTimerInterval{1000};
    static constexpr std::string_view kTrack1File = "Track1.txt";
    static constexpr std::string_view kTrack2File = "Track2.txt";
    static constexpr std::string_view kInitialGpsText = "(Initial GPS...)";
    // Begins the GPS line's text while the port's folder is refused.
    static constexpr std::string_view kPortRefusedText = "GPS port refused: ";
    // The GPS line while the port is lost.
    static constexpr std::string_view kPortLostText = "(GPS port lost)";
    // The GPS line while there is no port at the port's path.
    static constexpr std::string_view kNoPortText = "(no GPS port: scripts/vgps makes it)";
    // The GPS line once the port's name was removed while the station ran.
    static constexpr std::string_view kPortRemovedText =
        "(GPS port removed: scripts/vgps makes it)";
    // The GPS line shows at most this many bytes of a sentence (an NMEA
    // sentence has at most 82 characters with its line end).
    static constexpr std::size_t kShownTextMax = 96;

    struct Options
    {
        std::string programFolder;
        // Empty: the path that kVirtualGpsPort maps to.
        std::string portPath;
        // Cut to kPortWait when longer.
        std::chrono::milliseconds portWait = kPortWait;
    };

    // Switches both timers on with their intervals, as the window has them
    // from its creation.
    GpsForwarder(StationTimer& gpsTimer, StationTimer& initGpsTimer,
                 platform::WindowSystem& windows, Options options);
    ~GpsForwarder();
    GpsForwarder(const GpsForwarder&) = delete;
    GpsForwarder& operator=(const GpsForwarder&) = delete;

    // Where the text of the GPS line (LabelGPRMC) goes, as Windows-1252.
    void SetTextOutput(std::function<void(const std::string& windows1252)> showText);
    // Where the forwarder tells that it lost the port and that it has it again.
    void SetPortReport(std::function<void(const std::string& text)> report)
    {
        m_portReport = std::move(report);
    }
    // Our own main window: kept topmost, and never taken for the navigation window.
    void SetMainWindow(platform::NativeWindow window) { m_mainWindow = window; }
    // Where the track files are, when the window learns it after creating the forwarder.
    void SetProgramFolder(std::string folder) { m_programFolder = std::move(folder); }

    // Start-up: opens the port when its device exists (read-write, raw). A
    // missing port is shown on the GPS line from the first GPSTimer tick, and
    // taken once it appears; a folder that is refused (another user's, or
    // others may write to it) is told by PortRefusal and shown on the GPS
    // line instead of its texts.
    void OpenPort();
    // Start-up, after the dispatcher's timer is on: no sentence sent yet.
    void ResetSentenceState();
    // Closing the window: stops the replay, releases the track lines, closes the port.
    void Close();
    void ClosePort();

    // Makes the text the LatestSentence and writes it, when the port is open;
    // from now on the replay is over.
    void SendGpsSentence(std::string_view text);
    void ResendGpsSentence();
    // Every kGpsTimerInterval: check the port (see above); with a port,
    // repeat the latest sentence or reload the tracks, without one say so.
    void GPSTimerTimer();
    // Reads the track files afresh and restarts the replay of track 1.
    void LoadTracks();
    void BuildBlockIndex(int track) { m_replay.BuildBlockIndex(track); }
    // Every kInitGpsTimerInterval: one block of the track.
    void InitGPSTimerTimer();
    // Plays track 2 from its first block, each block once (nothing calls it yet).
    void StartTrack2Replay();

    // One step of the enumeration of top-level windows: takes the window as the
    // navigation window when its title has a navigation program's fragment.
    // Answers whether the enumeration goes on.
    bool FindNavigationWindow(platform::NativeWindow window);

    // For a position sentence of the selected recorder (the text ends at a
    // zero byte; trailing CR, LF and zero bytes are taken off): remembered, sent, and the
    // navigation window brought to the front unless the user is busy with our window. A navigation
    // window that cannot come to the front is forgotten, and our window leaves the topmost band. A
    // text that is not one well-formed NMEA sentence (NmeaSentence.h) is dropped here and changes
    // nothing.
    void ForwardSelectedSentence(std::string_view text, bool userBusy);
    // Once a second while a recorder is selected: look for the navigation
    // window; with the port open, title it once with the key and keep our
    // window above it, and send the selected recorder's sentence again.
    void RefreshNavigationWindow(std::string_view selectedKey);
    // When the selection changes: the known navigation window gets the new key.
    void RetitleNavigationWindow(std::string_view key);
    // Another recorder (or none) is selected now: nothing of the previous one
    // is sent or shown any more, until the newly selected one sends a sentence.
    void SelectionChanged();

    bool GpsPortOpen() const { return m_port != nullptr; }
    // Why the port's folder was refused (UTF-8), or empty.
    const std::string& PortRefusal() const { return m_portRefusal; }
    // The port died under a write and is being opened again.
    bool GpsPortLost() const { return m_portState == PortState::Lost; }
    bool LiveSentenceSent() const { return m_liveSentenceSent; }
    const std::string& LatestSentence() const { return m_latestSentence; }
    const std::string& SelectedDeviceSentence() const { return m_selectedDeviceSentence; }
    bool NavigationWindowTitled() const { return m_navigationWindowTitled; }
    platform::NativeWindow NavigationWindow() const { return m_navigationWindow; }
    const std::string& NavigationTitle() const { return m_navigationTitle; }
    const TrackReplay& Replay() const { return m_replay; }

private:
    enum class PortState
    {
        Closed,  // before start-up, and once the window closed
        Open,    // m_port is the device
        Missing, // nothing usable at the path since start-up
        Refused, // the path's folder is refused (m_portRefusal)
        Removed, // the open port's name went away while the station ran
        Lost,    // the port died under a write
    };

    void watchPort();
    bool reopenPort(std::string_view said);
    void writeToPort(std::string_view text, std::chrono::milliseconds wait);
    void portLost();
    void forgetNavigationWindow();
    void showText(const std::string& windows1252);
    bool loadTrack(int track, std::string_view fileName);

    StationTimer& m_gpsTimer;
    StationTimer& m_initGpsTimer;
    platform::WindowSystem& m_windows;
    std::function<void(const std::string&)> m_showText;
    std::string m_programFolder;
    const std::string m_portPath;
    const std::chrono::milliseconds m_portWait;

    std::unique_ptr<platform::SerialDevice> m_port;
    std::string m_portRefusal;
    // Missing, Removed and Lost: every GPSTimer tick opens the port's name
    // again until that succeeds.
    PortState m_portState = PortState::Closed;
    std::function<void(const std::string&)> m_portReport;
    // The last write left a sentence unfinished on the port.
    bool m_lineBroken = false;
    // A wait for the port ended with nothing taken: its reader has stopped.
    // Writes do not wait again until the port takes something, so that a
    // stopped reader costs the user-interface thread one wait, not one for
    // every sentence (several a second, under the dispatcher's queue lock).
    bool m_portStalled = false;

    std::string m_latestSentence;
    std::string m_selectedDeviceSentence;
    bool m_liveSentenceSent = false;
    bool m_gpsSendBusy = false;

    platform::NativeWindow m_mainWindow = platform::kNoWindow;
    platform::NativeWindow m_navigationWindow = platform::kNoWindow;
    std::string m_navigationTitle;
    bool m_navigationWindowTitled = false;

    TrackReplay m_replay;
};

} // namespace monitor
