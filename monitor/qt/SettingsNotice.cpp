#include "SettingsNotice.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

namespace monitor {
namespace {

constexpr int kMargin = 4;
constexpr int kCloseButtonSize = 16;

} // namespace

SettingsNotice::SettingsNotice(QWidget* parent)
    : QFrame(parent), m_scroll(new QScrollArea(this)), m_text(new QLabel),
      m_close(new QToolButton(this))
{
    setObjectName(QStringLiteral("SettingsNotice"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    m_text->setObjectName(QStringLiteral("SettingsNoticeText"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setForegroundRole(QPalette::ToolTipText);
    m_scroll->setWidget(m_text);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setBackgroundRole(QPalette::ToolTipBase);
    m_close->setObjectName(QStringLiteral("SettingsNoticeClose"));
    m_close->setText(QStringLiteral("\u00D7"));
    m_close->setToolTip(QStringLiteral("Close"));
    m_close->setAutoRaise(true);
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);
    hide();
}

void SettingsNotice::addLines(const std::vector<QString>& lines)
{
    for (const QString& line : lines)
        m_lines.push_back(line);
    m_text->setText(m_lines.join(QStringLiteral("\n")));
    fitInto(m_area);
    show();
    raise();
}

void SettingsNotice::fitInto(const QRect& area)
{
    m_area = area;
    if (area.isEmpty())
        return;
    const int textWidth = area.width() - 2 * frameWidth() - 2 * kMargin - kCloseButtonSize;
    const int needed = m_text->heightForWidth(textWidth) + 2 * frameWidth() + 2 * kMargin;
    const int height = std::min(area.height(), needed);
    setGeometry(area.x(), area.y(), area.width(), height);
    m_scroll->setGeometry(frameWidth() + kMargin, frameWidth() + kMargin,
                          textWidth + kCloseButtonSize / 2,
                          height - 2 * frameWidth() - 2 * kMargin);
    m_close->setGeometry(area.width() - frameWidth() - kCloseButtonSize, frameWidth(),
                         kCloseButtonSize, kCloseButtonSize);
}

} // namespace monitor
