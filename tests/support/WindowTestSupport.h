// What the station's window tests share besides StationTestSupport.h: a
// screen of a chosen height, message boxes that only record, and the options
// of a window made of them.
#pragma once

#include "MessageBoxes.h"
#include "ScreenGeometry.h"
#include "StationTestSupport.h"
#include "pmain.h"

#include <QString>
#include <vector>

namespace stationtest {

class FixedScreen final : public monitor::ScreenGeometry
{
public:
    explicit FixedScreen(int height) : m_height(height) {}
    int screenHeight() const override { return m_height; }

private:
    int m_height;
};

class RecordedMessageBoxes final : public monitor::MessageBoxes
{
public:
    struct Box
    {
        QString caption;
        QString text;
    };
    void showError(QWidget*, const QString& caption, const QString& text) override
    {
        boxes.push_back({caption, text});
    }
    std::vector<Box> boxes;
};

// A window over a station in the given folder that shows on the given screen
// and records its message boxes.
inline monitor::WindowOptions windowOptions(const ProgramFolder& folder, FixedScreen& screen,
                                            RecordedMessageBoxes& boxes,
                                            std::uint16_t port = freePort())
{
    monitor::WindowOptions options;
    static_cast<monitor::StationOptions&>(options) = stationOptions(folder, port);
    options.screen = &screen;
    options.messageBoxes = &boxes;
    return options;
}

} // namespace stationtest
