// Logins and the ends of connections as the fleet's recorder states.
#include "RecorderPresence.h"

#include "CONNECTIONINFO.h"

#include <algorithm>

namespace gateway {

fleet::RecorderState RecorderPresence::login(const std::string& recorderKey,
                                             std::uint64_t connection, std::string_view loginText,
                                             std::uint64_t nowMicros, std::string since)
{
    m_lastNumber = std::max(nowMicros, m_lastNumber + 1);
    monitor::CONNECTIONINFO fields;
    monitor::splitLoginText(fields, loginText);
    fleet::RecorderState state;
    state.online = true;
    state.gateway = m_gateway;
    state.connection = m_lastNumber;
    state.since = std::move(since);
    // The device record's third field is the address the recorder reports.
    state.address = fields.Info3;
    state.device = {fields.Info1,    fields.Info2,  fields.Info3, fields.Department,
                    fields.UserName, fields.Locate, fields.IdNo};
    m_held[recorderKey] = Held{connection, state};
    return state;
}

std::optional<fleet::RecorderState> RecorderPresence::leave(const std::string& recorderKey,
                                                            std::uint64_t connection)
{
    const auto found = m_held.find(recorderKey);
    if (found == m_held.end() || found->second.connection != connection)
        return std::nullopt;
    fleet::RecorderState state = std::move(found->second.state);
    m_held.erase(found);
    state.online = false;
    return state;
}

} // namespace gateway
