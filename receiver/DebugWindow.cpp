#include "DebugWindow.h"

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
        setFixedSize(kClientWidth, kClientHeight);
        Memo1 = new QPlainTextEdit(this);
        Memo1->setReadOnly(true);
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
        QString text;
        text.reserve(static_cast<qsizetype>(line.size()));
        for (unsigned char c : line)
            text.append(windows1252(c));
        Memo1->appendPlainText(text);
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
    static QChar windows1252(unsigned char c)
    {
        // 0x80..0x9F differ from Latin-1; the rest maps one to one.
        static constexpr char16_t kHigh[32] = {
            0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
            0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
        if (c >= 0x80 && c <= 0x9F)
            return QChar(kHigh[c - 0x80]);
        return QChar(static_cast<char16_t>(c));
    }

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
            if (window.isNull())
                return;
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
