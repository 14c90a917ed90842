#include "WidgetDispatcherView.h"

#include "TextCodec.h"

#include <QCoreApplication>
#include <QLabel>

namespace monitor {

void WidgetDispatcherView::setStatusText(Panel panel, const std::string& text)
{
    m_widgets.statusPanels[static_cast<int>(panel)]->setText(QString::fromStdString(text));
}

void WidgetDispatcherView::setReceivingVisible(bool visible)
{
    m_widgets.receiving->setVisible(visible);
}

void WidgetDispatcherView::setEventCaption(const std::string& windows1252)
{
    m_widgets.eventCaption->setText(
        QString::fromStdString(platform::windows1252ToUtf8(windows1252)));
    m_widgets.eventCaption->adjustSize();
}

void WidgetDispatcherView::setElapsed(const std::string& text)
{
    m_widgets.elapsed->setText(QString::fromStdString(text));
    m_widgets.elapsed->adjustSize();
}

void WidgetDispatcherView::processMessages()
{
    QCoreApplication::processEvents();
}

} // namespace monitor
