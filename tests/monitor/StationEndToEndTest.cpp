// The whole station at work: the window offscreen with a real receiver on a
// free port, real recorders over loopback, a real virtual GPS port (a socat
// pty pair) read by a real gpsd, and real clips. Three recorders log in, send
// positions, event times and clips on channels 1 to 4 and all four, two
// leave and the last falls silent and times out. The lists and details follow, the
// archive holds every acknowledged packet byte for byte, the movie view shows
// the selected recorder's latest clip, gpsd reports its position, and the
// alarm goes off.
#include "Alarm.h"
#include "Archive.h"
#include "DeviceInfoText.h"
#include "DeviceRegistry.h"
#include "EventDispatcher.h"
#include "GpsForwarder.h"
#include "GpsdHarness.h"
#include "HostCallback.h"
#include "HostEventQueue.h"
#include "MainForm.h"
#include "MovieEngineSession.h"
#include "RecorderConnection.h"
#include "RecordingSound.h"
#include "TestClips.h"
#include "WindowTestSupport.h"
#include "kavrel_events.h"
#include "pmain.h"
#include "qtmovie.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace monitor;
using namespace stationtest;
using namespace testsupport;
using namespace std::chrono_literals;
namespace Code = kavrel::EventCode;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Short enough for a test to wait for, long enough for a busy machine.
constexpr auto kSilenceLimit = 4000ms;
constexpr int kWaitMs = 20000;

// Solid clips above the archive's threshold, one colour per recorder's last clip.
const movietest::ClipSpec kRedClip{"e2e-red640.mov", 640, 480, movietest::kRed,
                                   movietest::ClipForm::Container};
const movietest::ClipSpec kBlueClip{"e2e-blue640.mov", 640, 480, movietest::kBlue,
                                    movietest::ClipForm::Container};

Bytes fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// One recorder: its connection and what the station acknowledged.
struct Recorder
{
    explicit Recorder(std::string serialNumber) : serial(std::move(serialNumber)) {}
    std::string serial;
    std::string key() const { return serial + "_ID"; }
    recorder::RecorderConnection connection;
    std::multiset<Bytes> positions; // file contents the archive must hold
    std::multiset<Bytes> clips;

    void send(std::uint16_t code, const Bytes& payload)
    {
        const auto result = connection.sendPacket(code, payload, 10s);
        ASSERT_TRUE(result.ok()) << serial << ": " << result.error;
    }
    void login(std::uint16_t port)
    {
        ASSERT_TRUE(connection.connect("127.0.0.1", port, 5s)) << connection.lastError();
        recorder::DeviceInfo info;
        info.fields = {"QUVEX", serial, "10.0.0.1", "Fleet", "Driver " + serial, "Depot", "ID"};
        std::string text;
        recorder::appendDeviceInfoText(text, info);
        send(Code::QUVEX_INFO, Bytes(text.begin(), text.end()));
    }
    void position(const std::string& sentence)
    {
        send(Code::CMD_GPRMC_DATA, Bytes(sentence.begin(), sentence.end()));
        Bytes stored(sentence.begin(), sentence.end());
        stored.push_back('\r');
        stored.push_back('\n');
        positions.insert(stored);
    }
    void eventTime(const std::string& text)
    {
        send(Code::CMD_QUVEX_TIME_EVENT, Bytes(text.begin(), text.end()));
    }
    void clip(std::uint16_t code, const Bytes& movie)
    {
        send(code, movie);
        Bytes stored = movie;
        stored.push_back(0); // the library's zero byte
        clips.insert(stored);
    }
};

// What the archive holds in a recorder's folder: position files and clip files.
void archived(const std::string& folder, std::multiset<Bytes>& positions,
              std::multiset<Bytes>& clips)
{
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".bin"))
            positions.insert(fileBytes(e.path().string()));
        else if (name.ends_with(".mov") && name != "temp.mov")
            clips.insert(fileBytes(e.path().string()));
    }
}

bool seesFix(ChildProcess& client, double latitude, double longitude)
{
    while (const auto line = client.readLine(100ms)) {
        if (line->find("\"class\":\"TPV\"") == std::string::npos)
            continue;
        const auto lat = jsonNumber(*line, "lat");
        const auto lon = jsonNumber(*line, "lon");
        if (lat && lon && std::abs(*lat - latitude) < 1e-6 && std::abs(*lon - longitude) < 1e-6)
            return true;
    }
    return false;
}

// What the station calls to start its receiver: the library on the program's
// folder, kept in `receiver`, reporting to HostCallback.
std::function<void(void*, std::int32_t)>
receiverStarter(std::unique_ptr<kavrel::TfrmMain>& receiver, const ProgramFolder& folder,
                std::chrono::milliseconds silenceLimit = kavrel::TfrmMain::Options{}.silenceLimit)
{
    return [&receiver, &folder, silenceLimit](void* window, std::int32_t port) {
        kavrel::TfrmMain::Options receiverOptions;
        receiverOptions.hostFolder = folder.path();
        receiverOptions.silenceLimit = silenceLimit;
        receiver = std::make_unique<kavrel::TfrmMain>(window, receiverOptions);
        receiver->start(port);
        receiver->setCallback(&HostCallback);
    };
}

TEST(StationEndToEnd, RecordersComeWorkAndGo)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    TempFolder devices;
    const std::string gpsInput = devices.path() + "VGPSIn";
    const auto socat = startPtyPair(gpsInput, devices.path() + "ttyVGPS");
    const int gpsdPort = testsupport::freePort();
    const auto gpsd = startGpsd(devices.path() + "ttyVGPS", devices.path(), gpsdPort);
    ChildProcess gpsClient(
        {findTool("gpspipe", "gpsd-clients"), "-w", "127.0.0.1:" + std::to_string(gpsdPort)},
        ChildProcess::Output::Capture);

    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    RecordingSound sound;
    std::unique_ptr<kavrel::TfrmMain> receiver;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.alarmSound = &sound;
    options.gpsPortPath = gpsInput;
    options.startReceiver = receiverStarter(receiver, folder, kSilenceLimit);
    TForm1 form(options);
    ASSERT_TRUE(form.gpsForwarder().GpsPortOpen());
    const auto port = static_cast<std::uint16_t>(options.port);
    DeviceLists& lists = form.registry().lists();
    const auto label = [&](const char* name) {
        return form.findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    };
    const auto statusPanel = [&](int i) {
        return label(qPrintable(QStringLiteral("StatusPanel%1").arg(i)));
    };

    const auto sentences = capturedRmcSentences();
    const Bytes red = fileBytes(movietest::clipPath(kRedClip).toStdString());
    const Bytes blue = fileBytes(movietest::clipPath(kBlueClip).toStdString());

    // Three recorders log in; the first is selected and its details shown.
    Recorder r1{"SN1"}, r2{"SN2"}, r3{"SN3"};
    r1.login(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 1; }, kWaitMs));
    EXPECT_EQ(lists.selectedKey(), r1.key());
    EXPECT_EQ(label("LblUN"), "Driver SN1");
    EXPECT_EQ(label("LblCon"), "Connection No.=1");
    r2.login(port);
    r3.login(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 3; }, kWaitMs));
    const auto* locateList = form.findChild<QComboBox*>(QStringLiteral("CmbBxLocateID"));
    EXPECT_EQ(locateList->count(), 3);
    EXPECT_TRUE(locateList->isEnabled());
    EXPECT_EQ(lists.selectedKey(), r1.key()) << "later logins leave the selection";
    EXPECT_EQ(statusPanel(2), "3");

    // Positions, event times and clips on every channel.
    r2.position(sentences[1]);
    r2.clip(Code::CMD_MPEG4_I_CH2, red);
    r2.clip(Code::CMD_MPEG4_I_CH3, red);
    r3.eventTime("2026/12/07 10:00:00,motion");
    r3.clip(Code::CMD_MPEG4_I_CH4, red);
    r1.eventTime("2026/12/07 10:00:05,door");
    r1.clip(Code::CMD_MPEG4_I_CH1, red);
    r1.position(sentences[0]);
    r1.clip(Code::CMD_MPEG4_I_4in1, blue);
    for (int i = 0; i < 3; ++i)
        r3.position(sentences[2]);

    // The selected recorder's position reaches a navigation client through gpsd.
    bool fix = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!fix && std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(50); // the station resends the selected sentence every second
        fix = seesFix(gpsClient, -(27 + 12.6520 / 60), 153 + 3.1397 / 60);
    }
    EXPECT_TRUE(fix) << "gpsd never reported the selected recorder's position";

    // The movie view plays the selected recorder's latest clip: all channels, blue.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return form.movieView()->HasPicture() &&
                   form.movieView()->FileName().endsWith("_CH_ALL.mov");
        },
        kWaitMs));
    const QImage picture = form.movieView()->grab().toImage();
    EXPECT_TRUE(movietest::closeColour(
        picture.pixelColor(picture.width() / 2, picture.height() / 2), movietest::kBlue));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return label("LblEventTime") == "Channel:ALL ,Event time:2026/12/07 10:00:05"; },
        kWaitMs))
        << label("LblEventTime");
    EXPECT_FALSE(form.alarm().AlarmCleared());
    EXPECT_NE(std::find(sound.played.begin(), sound.played.end(), "tone 800 Hz 1000 ms"),
              sound.played.end());

    // The first and the third leave; the second falls silent and times out.
    r2.position(sentences[3]); // its silence starts now
    r1.connection.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 2; }, kWaitMs));
    EXPECT_EQ(lists.selectedKey(), r2.key()) << "the selection moves to the removed position";
    EXPECT_EQ(label("LblCon"), "Connection No.=1");
    EXPECT_EQ(label("LblUN"), "Driver SN2");
    r3.connection.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 1; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 0; }, kWaitMs)) << "no time-out";
    EXPECT_FALSE(locateList->isEnabled());
    EXPECT_EQ(statusPanel(2), "0");

    // Every acknowledged position and clip is in its recorder's folder, byte for byte.
    for (const Recorder* r : {&r1, &r2, &r3}) {
        SCOPED_TRACE(r->serial);
        std::multiset<Bytes> positions, clips;
        archived(form.archive()->DeviceFolder(r->key()), positions, clips);
        EXPECT_EQ(positions, r->positions);
        EXPECT_EQ(clips, r->clips);
    }
}

} // namespace

// A recorder whose link dropped without a close dials in again while its old
// connection is still open. The old connection's time-out must not take the
// recorder off the lists: the entry belongs to the newer connection, whose
// logout alone removes it.
TEST(StationEndToEnd, ARecorderThatDialsAgainStaysListedUntilItsNewConnectionEnds)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    RecordingSound sound;
    std::unique_ptr<kavrel::TfrmMain> receiver;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.alarmSound = &sound;
    options.startReceiver = receiverStarter(receiver, folder, 1500ms);
    TForm1 form(options);
    const auto port = static_cast<std::uint16_t>(options.port);
    DeviceLists& lists = form.registry().lists();
    const auto label = [&](const char* name) {
        return form.findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    };
    const auto queueDrained = [&] {
        const auto held = form.eventQueue()->lock();
        return form.eventQueue()->ring(held).empty();
    };

    Recorder first{"SN7"};
    first.login(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 1; }, kWaitMs));
    Recorder again{"SN7"};
    again.login(port); // the same recorder on a new link; the old one stays silent

    // The new link keeps sending until the old connection times out and is
    // closed; by then its logout has been reported.
    const std::string sentence = capturedRmcSentences()[0];
    auto oldLink = recorder::RecorderConnection::CloseWait::TimedOut;
    for (int i = 0; i < 100 && oldLink != recorder::RecorderConnection::CloseWait::Closed; ++i) {
        again.position(sentence);
        oldLink = first.connection.waitForHangUp(200ms);
    }
    ASSERT_EQ(oldLink, recorder::RecorderConnection::CloseWait::Closed);
    ASSERT_TRUE(QTest::qWaitFor(queueDrained, kWaitMs));
    EXPECT_EQ(lists.count(), 1) << "the old connection's time-out removed the recorder";
    EXPECT_EQ(lists.selectedKey(), again.key());
    EXPECT_EQ(label("LblUN"), "Driver SN7");
    EXPECT_EQ(label("LblCon"), "Connection No.=1");
    // Its positions are still forwarded: the recorder is still the selected one.
    again.position(sentence);
    ASSERT_TRUE(QTest::qWaitFor(queueDrained, kWaitMs));
    EXPECT_EQ(form.gpsForwarder().SelectedDeviceSentence(), sentence + "\r\n");

    // The new connection's logout removes it.
    again.connection.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lists.count() == 0; }, kWaitMs));
}

// Everything the window shows of a recorder belongs to the selected one: the
// caption, the movie, the GPS line and what goes to the GPS port follow the
// selection, and with no recorder selected nothing of one stays in view. Texts
// of any length are shown at a sane length.
TEST(StationEndToEnd, TheWindowShowsOnlyTheSelectedRecorder)
{
    movieview::MovieEngineSession engine;
    ProgramFolder folder;
    TempFolder devices;
    const std::string gpsInput = devices.path() + "VGPSIn";
    const auto socat = startPtyPair(gpsInput, devices.path() + "ttyVGPS");
    FixedScreen screen(1024);
    RecordedMessageBoxes boxes;
    RecordingSound sound;
    std::unique_ptr<kavrel::TfrmMain> receiver;
    WindowOptions options = windowOptions(folder, screen, boxes);
    options.alarmSound = &sound;
    options.gpsPortPath = gpsInput;
    options.startReceiver = receiverStarter(receiver, folder);
    TForm1 form(options);
    ASSERT_TRUE(form.gpsForwarder().GpsPortOpen());
    const auto port = static_cast<std::uint16_t>(options.port);
    DeviceRegistry& registry = form.registry();
    const auto label = [&](const char* name) {
        return form.findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    };
    const auto showing = [&](const char* fileEnd) {
        return form.movieView()->FileName().endsWith(QString::fromLatin1(fileEnd));
    };
    const auto queueDrained = [&] {
        const auto held = form.eventQueue()->lock();
        return form.eventQueue()->ring(held).empty();
    };
    const std::vector<std::string> sentences = capturedRmcSentences();

    Recorder r1{"SN1"}, r2{"SN2"}, r3{"SN3"};
    r1.login(port);
    r2.login(port);
    r3.login(port);
    r2.eventTime("2026/12/07 10:00:00,motion");
    r2.clip(Code::CMD_MPEG4_I_CH3, fileBytes(movietest::clipPath(kBlueClip).toStdString()));
    r1.clip(Code::CMD_MPEG4_I_CH1, fileBytes(movietest::clipPath(kRedClip).toStdString()));
    r1.position(sentences[0]);
    ASSERT_TRUE(QTest::qWaitFor(queueDrained, kWaitMs));
    ASSERT_EQ(registry.lists().selectedKey(), r1.key());
    EXPECT_TRUE(QTest::qWaitFor([&] { return label("LblEventTime") == "Channel:1"; }, kWaitMs))
        << "the caption tells of another recorder: " << label("LblEventTime");
    EXPECT_TRUE(showing("_CH_1.mov"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return label("LabelGPRMC") == sentences[0]; }, kWaitMs));

    // The second is chosen: its clip, its caption; nothing of the first's position.
    registry.locateChosen(1);
    EXPECT_TRUE(showing("_CH_3.mov")) << form.movieView()->FileName().toStdString();
    EXPECT_EQ(form.gpsForwarder().SelectedDeviceSentence(), "");
    EXPECT_EQ(form.gpsForwarder().LatestSentence(), "") << "the port would go on repeating it";
    EXPECT_EQ(label("LabelGPRMC"), "");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return label("LblEventTime") == "Channel:3 ,Event time:2026/12/07 10:00:00"; },
        kWaitMs))
        << label("LblEventTime");

    // The third has sent no clip: the idle movie, no caption.
    registry.locateChosen(2);
    EXPECT_TRUE(showing("nopicture.mov")) << form.movieView()->FileName().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return label("LblEventTime").empty(); }, kWaitMs))
        << label("LblEventTime");

    // Texts of megabytes are shown cut to a sane length.
    r3.eventTime("2026/12/07 10:00:09" + std::string(1 << 20, 'x') + ",flood");
    r3.position("$GPRMC," + std::string(100000, '9'));
    ASSERT_TRUE(QTest::qWaitFor(queueDrained, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return label("LblEventTime").starts_with("Event time:2026/12/07 10:00:09"); },
        kWaitMs));
    EXPECT_LE(label("LblEventTime").size(), 11 + EventDispatcher::kEventTimeTextMax);
    form.gpsForwarder().GPSTimerTimer();
    EXPECT_LE(label("LabelGPRMC").size(), GpsForwarder::kShownTextMax);

    // Everyone leaves: nothing of any recorder stays in view or on the port.
    for (Recorder* r : {&r1, &r2, &r3})
        r->connection.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return registry.lists().count() == 0; }, kWaitMs));
    for (const char* name :
         {"LblUN", "LblID", "LblLoc", "LblDept", "LblCon", "LblConStart", "LabelGPRMC"})
        EXPECT_EQ(label(name), "") << name;
    EXPECT_EQ(form.gpsForwarder().LatestSentence(), "");
    EXPECT_TRUE(showing("nopicture.mov"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return label("LblEventTime").empty(); }, kWaitMs));
}
