// The receiver's start on the station's port, and its retries while the port is taken.
#include "ListenRetry.h"

#include "StandardError.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace monitor {

ListenRetry::ListenRetry(Start start, StationTimer& timer, std::int32_t port,
                         std::chrono::milliseconds interval, std::chrono::milliseconds noticeShown,
                         Show show)
    : m_start(std::move(start)), m_timer(timer), m_port(port), m_interval(interval),
      m_noticeShown(noticeShown), m_show(std::move(show))
{
    m_timer.setEnabled(false);
    m_timer.setInterval(m_interval);
}

bool ListenRetry::start()
{
    const std::int32_t result = m_start();
    m_listening = result == 0;
    if (m_listening)
        return true;
    const std::string why = result > 0 ? std::string(std::strerror(result))
                                       : std::string("the receiver could not start");
    const std::string seconds = std::to_string(std::max<long long>(
        1, std::chrono::duration_cast<std::chrono::seconds>(m_interval).count()));
    const std::string port = std::to_string(m_port);
    tellStandardError("cannot listen on port " + port + ": " + why + "; trying again every " +
                      seconds + " s");
    tell("Not receiving: port " + port + " cannot be used (" + why + "). Trying again every " +
             seconds + " s.",
         false);
    m_timer.setEnabled(true);
    return false;
}

// Once it listens, the timer runs once more, a notice time, to take the
// notice away.
void ListenRetry::tick()
{
    if (m_listening) {
        endNotice();
        return;
    }
    if (m_start() != 0)
        return;
    m_listening = true;
    m_timer.setEnabled(false);
    const std::string port = std::to_string(m_port);
    tell("Receiving on port " + port + " now.", true);
    tellStandardError("listening on port " + port);
    m_noticeUp = true;
    m_timer.setInterval(m_noticeShown);
    m_timer.setEnabled(true);
}

void ListenRetry::dataArrived()
{
    endNotice();
}

void ListenRetry::endNotice()
{
    if (!m_noticeUp)
        return;
    m_noticeUp = false;
    m_timer.setEnabled(false);
    tell({}, true);
}

void ListenRetry::tell(std::string text, bool listening)
{
    m_text = std::move(text);
    if (m_show)
        m_show(m_text, listening);
}

} // namespace monitor
