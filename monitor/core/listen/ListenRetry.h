// ListenRetry: starts the receiver on the station's port and, while the port
// cannot be used (another station or program holds it), starts it again every
// interval until it listens. Each change is told through show (the window's
// line) and on standard error: why it does not listen, once, and that it
// listens again. That notice stands in the band of "Receiving......", which
// it covers: it goes (show with an empty text) at the timer's next tick, a
// notice time after it came, or when data first arrives, whichever is first.
//
// Threading: the user-interface thread only; the timer's ticks call tick().
#pragma once

#include "StationTimer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace monitor {

class ListenRetry
{
public:
    // How often the receiver is started again while its port cannot be used.
    static constexpr std::chrono::milliseconds kInterval{5000};
    // How long "Receiving on port N now." stays when no data comes first.
    static constexpr std::chrono::milliseconds kNoticeShown{5000};

    // Starts the receiver: 0 when it listens, an errno value (> 0) or another
    // failure (< 0) when it does not.
    using Start = std::function<std::int32_t()>;
    // An empty text: nothing to say any more.
    using Show = std::function<void(const std::string& text, bool listening)>;

    ListenRetry(Start start, StationTimer& timer, std::int32_t port,
                std::chrono::milliseconds interval, std::chrono::milliseconds noticeShown,
                Show show);

    // The first start; false (told, and tried again every interval) when the
    // port cannot be used.
    bool start();
    // A tick of the timer: one more try, or the end of the notice that the
    // receiver listens again.
    void tick();
    // Data came: the notice that the receiver listens again goes.
    void dataArrived();
    void stop() { m_timer.setEnabled(false); }

    bool listening() const { return m_listening; }
    // What was last told; empty before anything was.
    const std::string& text() const { return m_text; }

private:
    void tell(std::string text, bool listening);
    void endNotice();

    const Start m_start;
    StationTimer& m_timer;
    const std::int32_t m_port;
    const std::chrono::milliseconds m_interval;
    const std::chrono::milliseconds m_noticeShown;
    const Show m_show;
    bool m_listening = false;
    bool m_noticeUp = false; // "Receiving on port N now." is shown
    std::string m_text;
};

} // namespace monitor
