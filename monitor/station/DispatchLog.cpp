// The station log's lines of logins, logouts, time-outs and the alarm.
#include "DispatchLog.h"

#include "RAWDATA.h"
#include "StationLog.h"
#include "kavrel_events.h"

namespace monitor {

namespace Code = kavrel::EventCode;

std::string DispatchLog::Session::text() const
{
    return address.empty() ? key : key + " from " + address;
}

void DispatchLog::seen(const RAWDATA& event)
{
    m_raisedBy.clear();
    const std::string key = StationLog::wireText(event.Key);
    if (!kavrel::clipChannel(event.Code).empty()) {
        m_raisedBy = "a clip of " + key;
        return;
    }
    switch (event.Code) {
    case Code::QUVEX_INFO: {
        Session& session = m_loggedIn[event.Connection];
        session = {key, StationLog::wireText(event.Address)};
        m_log.write(LogKind::login, session.text());
        m_raisedBy = "the login of " + key;
        break;
    }
    case Code::CMD_GPRMC_DATA:
        m_raisedBy = "a position of " + key;
        break;
    case Code::CONNECTION_TIMED_OUT:
        if (const auto found = m_loggedIn.find(event.Connection); found != m_loggedIn.end())
            m_log.write(LogKind::timeout, found->second.text() + " (silent too long)");
        break;
    case Code::CONNECTION_CLOSED:
        if (const auto found = m_loggedIn.find(event.Connection); found != m_loggedIn.end()) {
            m_log.write(LogKind::logout, found->second.text());
            m_loggedIn.erase(found);
        }
        break;
    default:
        break;
    }
}

void DispatchLog::alarmChanged(AlarmChange change)
{
    switch (change) {
    case AlarmChange::Raised:
        m_log.write(LogKind::alarm, m_raisedBy.empty() ? "raised" : "raised by " + m_raisedBy);
        break;
    case AlarmChange::Cleared:
        m_log.write(LogKind::alarmCleared, "cleared by the operator");
        break;
    case AlarmChange::SwitchedOff:
        m_log.write(LogKind::alarmCleared, "switched off by the operator (Alarm unticked)");
        break;
    }
}

} // namespace monitor
