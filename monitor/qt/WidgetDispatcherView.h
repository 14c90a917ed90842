// The dispatcher's view in the main window's widgets: the status panels, the
// receiving indicator, the caption above the movie and the elapsed time.
#pragma once

#include "DispatcherView.h"

#include <functional>

class QLabel;

namespace monitor {

class WidgetDispatcherView final : public DispatcherView
{
public:
    struct Widgets
    {
        QLabel* statusPanels[4];
        QLabel* receiving;    // LblSR
        QLabel* eventCaption; // LblEventTime
        QLabel* elapsed;      // LblElapse
    };

    // centre puts the caption over the movie frame, as the window lays it out.
    WidgetDispatcherView(Widgets widgets, std::function<void()> centre)
        : m_widgets(widgets), m_centre(std::move(centre))
    {
    }

    void setStatusText(Panel panel, const std::string& text) override;
    void setReceivingVisible(bool visible) override;
    void setEventCaption(const std::string& windows1252) override;
    void centreEventCaption() override { m_centre(); }
    void setElapsed(const std::string& text) override;
    void processMessages() override;

private:
    Widgets m_widgets;
    std::function<void()> m_centre;
};

} // namespace monitor
