// The debug window: shown by SHOW_DEBUG=1, fed from worker threads, and its
// close box ends the listener.
#include "DebugWindow.h"

#include "MainForm.h"
#include "RecorderConnection.h"
#include "TempFolder.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

QWidget* debugWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == QLatin1String("Debug Window"))
            return w;
    return nullptr;
}

std::unique_ptr<kavrel::TfrmMain> startWith(const TempFolder& host, const char* ini)
{
    std::ofstream(host.path() + "quvex.ini") << ini;
    kavrel::TfrmMain::Options options;
    options.hostFolder = host.path();
    options.windowFactory = kavrel::makeDebugWindow;
    auto frm = std::make_unique<kavrel::TfrmMain>(nullptr, options);
    frm->start(0);
    return frm;
}

} // namespace

TEST(DebugWindow, ShownWithItsFirstLineAndLinesFromWorkers)
{
    TempFolder host;
    auto frm = startWith(host, "[Option]\nSHOW_DEBUG=1\n");
    QWidget* window = debugWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(349, 316));
    auto* memo = window->findChild<QPlainTextEdit*>();
    ASSERT_NE(memo, nullptr);
    const QString first = memo->toPlainText().section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d ======= DLL Initial ========$"))
            .match(first)
            .hasMatch())
        << first.toStdString();

    frm->core().LogLine("Fahrer M\xFCller \x80 5");
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("Fahrer M\u00FCller \u20AC 5")))
        << "log text is shown as Windows-1252";

    recorder::RecorderConnection c;
    ASSERT_TRUE(c.connect("127.0.0.1", frm->listener().port()));
    // Lines of the accept and worker threads arrive through the event loop.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return memo->toPlainText().contains(QLatin1String("Remote Address=127.0.0.1")); },
        10000));

    window->close(); // the close box
    EXPECT_FALSE(frm->listener().active());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(c.waitForClose(10s), recorder::RecorderConnection::CloseWait::Closed);
    frm->stop();
}

TEST(DebugWindow, KeepsOnlyTheLatestLines)
{
    TempFolder host;
    auto frm = startWith(host, "[Option]\nSHOW_DEBUG=1\n");
    auto* memo = debugWindow()->findChild<QPlainTextEdit*>();
    ASSERT_NE(memo, nullptr);
    const int written = kavrel::kDebugWindowLines + 50; // and the start line before them
    for (int i = 1; i <= written; ++i)
        frm->core().LogLine("line " + std::to_string(i));
    EXPECT_EQ(memo->document()->blockCount(), kavrel::kDebugWindowLines);
    EXPECT_TRUE(memo->document()->firstBlock().text().endsWith(QStringLiteral(" line 51")))
        << memo->document()->firstBlock().text().toStdString();
    EXPECT_TRUE(memo->document()->lastBlock().text().endsWith(QStringLiteral(" line 10050")));
    frm->stop();
}

TEST(DebugWindow, HiddenUnlessShowDebugIsExactlyOne)
{
    TempFolder host;
    auto frm = startWith(host, "[Option]\nSHOW_DEBUG=256\n");
    QWidget* window = debugWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->findChild<QPlainTextEdit*>()->toPlainText().isEmpty());
    frm->stop();
}

TEST(DebugWindow, ClosingTheHostsMainWindowStillEndsItsEventLoop)
{
    TempFolder host;
    QWidget mainWindow;
    mainWindow.show();
    auto frm = startWith(host, "[Option]\nSHOW_DEBUG=1\n");
    ASSERT_TRUE(debugWindow()->isVisible());

    bool loopEndedByItself = true;
    QTimer::singleShot(0, &mainWindow, &QWidget::close);
    QTimer failsafe;
    failsafe.setSingleShot(true);
    QObject::connect(&failsafe, &QTimer::timeout, [&] {
        loopEndedByItself = false;
        QCoreApplication::quit();
    });
    failsafe.start(5000);
    QApplication::exec();
    EXPECT_TRUE(loopEndedByItself) << "the shown debug window kept the host running";
    frm->stop();
}

TEST(DebugWindow, NoWindowWithoutAnApplicationOnTheCallingThread)
{
    std::unique_ptr<kavrel::LogWindow> fromOtherThread;
    std::jthread([&] { fromOtherThread = kavrel::makeDebugWindow(nullptr, {}); }).join();
    EXPECT_EQ(fromOtherThread, nullptr);
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
