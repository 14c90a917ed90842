// DispatchLog: what the dispatcher's events leave in the station's log. A
// recorder that logs in, times out and logs out is told with its key and its
// peer's address; the alarm is told when it goes off, with the event that
// raised it, and when the operator ends it.
//
// Only connections that logged in are told: a peer that never sends its
// device record (a port scan, a hostile peer) leaves no line, so no one can
// fill the log by dialling.
//
// Threading: the user-interface thread only (the dispatcher's tick and the
// alarm's handlers); StationLog does the writing.
#pragma once

#include "Alarm.h"

#include <cstdint>
#include <map>
#include <string>

namespace monitor {

class StationLog;
struct RAWDATA;

class DispatchLog
{
public:
    explicit DispatchLog(StationLog& log) : m_log(log) {}

    // The dispatcher is about to handle this event.
    void seen(const RAWDATA& event);
    void alarmChanged(AlarmChange change);

private:
    struct Session
    {
        std::string key;     // as the log shows it
        std::string address; // as the log shows it
        std::string text() const;
    };

    StationLog& m_log;
    // The connections that logged in and have not closed, by their number.
    std::map<std::uint64_t, Session> m_loggedIn;
    // The event being handled, as the alarm's line names it ("the login of
    // KEY"); empty for one that does not raise the alarm.
    std::string m_raisedBy;
};

} // namespace monitor
