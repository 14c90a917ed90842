#include "DebugWindow.h"

#include "HostGate.h"
#include "TextCodec.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

namespace kavrel {

namespace {

constexpr int kClientWidth = 349;
constexpr int kClientHeight = 316;
constexpr int kFontPoints = 8;

class TfrmMainWindow : public QWidget
{
public:
    explicit TfrmMainWindow(std::function<void()> onClose)
        : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowCloseButtonHint),
          m_onClose(std::move(onClose))
    {
        setWindowTitle(QStringLiteral("Debug Window"));
        // The host's main window decides when the host ends: closing it must
        // quit the host's event loop even while this window is still shown.
        setAttribute(Qt::WA_QuitOnClose, false);
        setFixedSize(kClientWidth, kClientHeight);
        Memo1 = new QPlainTextEdit(this);
        Memo1->setReadOnly(true);
        // A station runs for months: the oldest lines go once the window holds its limit.
        Memo1->setMaximumBlockCount(kDebugWindowLines);
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Memo1->setFont(QFont(QStringLiteral("Sans Serif"), kFontPoints));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(Memo1);
    }

    // Lines keep the log's 8-bit text; they are shown as Windows-1252.
    void addLine(const std::string& line)
    {
        if (!isVisible())
            return;
        Memo1->appendPlainText(QString::fromStdString(platform::windows1252ToUtf8(line)));
    }

    QPlainTextEdit* Memo1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        if (m_onClose)
            m_onClose();
    }

private:
    std::function<void()> m_onClose;
};

class QtLogWindow : public LogWindow
{
public:
    QtLogWindow(void* parentWindow, std::function<void()> onClose)
        : m_window(new TfrmMainWindow(std::move(onClose)))
    {
        if (parentWindow != nullptr && QGuiApplication::platformName() == QLatin1String("xcb")) {
            m_window->winId();
            if (QWindow* parent = QWindow::fromWinId(reinterpret_cast<WId>(parentWindow)))
                m_window->windowHandle()->setTransientParent(parent);
        }
    }
    ~QtLogWindow() override { delete m_window.data(); }

    void setShown(bool shown) override { m_window->setVisible(shown); }

    DiagnosticLog::WindowSink sink() override
    {
        QPointer<TfrmMainWindow> window = m_window;
        return [window](const std::string& line) {
            const HostGate::Pass pass;
            if (!pass || window.isNull())
                return; // no line into the host's event loop once the process exits
            if (QThread::currentThread() == window->thread()) {
                window->addLine(line);
                return;
            }
            QMetaObject::invokeMethod(
                window.data(),
                [window, line] {
                    if (!window.isNull())
                        window->addLine(line);
                },
                Qt::QueuedConnection);
        };
    }

private:
    QPointer<TfrmMainWindow> m_window;
};

} // namespace

std::unique_ptr<LogWindow> makeDebugWindow(void* parentWindow, std::function<void()> onClose)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread())
        return nullptr;
    return std::make_unique<QtLogWindow>(parentWindow, std::move(onClose));
}

} // namespace kavrel
