#include "FleetRoster.h"

namespace fleet {

FleetRoster::FleetRoster(std::size_t maxRecorderStates) : m_maxRecorderStates(maxRecorderStates) {}

bool FleetRoster::applyGatewayState(const std::string& gateway, std::optional<GatewayState> state)
{
    if (!state) {
        m_gateways.erase(gateway);
        return true;
    }
    if (state->gateway != gateway)
        return false;
    m_gateways.insert_or_assign(gateway, std::move(*state));
    return true;
}

bool FleetRoster::applyRecorderState(const std::string& recorderKey, const std::string& gateway,
                                     std::optional<RecorderState> state)
{
    const auto recorder = m_recorders.find(recorderKey);
    if (!state) {
        if (recorder != m_recorders.end() && recorder->second.erase(gateway) == 1) {
            --m_stateCount;
            if (recorder->second.empty())
                m_recorders.erase(recorder);
        }
        return true;
    }
    if (state->gateway != gateway)
        return false;
    if (recorder != m_recorders.end()) {
        const auto known = recorder->second.find(gateway);
        if (known != recorder->second.end()) {
            known->second = std::move(*state);
            return true;
        }
    }
    if (m_stateCount >= m_maxRecorderStates)
        return false;
    m_recorders[recorderKey].emplace(gateway, std::move(*state));
    ++m_stateCount;
    return true;
}

bool FleetRoster::gatewayOnline(const std::string& gateway) const
{
    const auto it = m_gateways.find(gateway);
    return it != m_gateways.end() && it->second.online;
}

const RecorderState* FleetRoster::newestState(const std::string& recorderKey) const
{
    const auto recorder = m_recorders.find(recorderKey);
    if (recorder == m_recorders.end())
        return nullptr;
    const RecorderState* newest = nullptr;
    for (const auto& [gateway, state] : recorder->second) {
        if (newest == nullptr || state.connection > newest->connection)
            newest = &state;
    }
    return newest;
}

std::optional<RecorderState> FleetRoster::onlineState(const std::string& recorderKey) const
{
    const RecorderState* newest = newestState(recorderKey);
    if (newest == nullptr || !newest->online || !gatewayOnline(newest->gateway))
        return std::nullopt;
    return *newest;
}

std::vector<std::pair<std::string, RecorderState>> FleetRoster::onlineRecorders() const
{
    std::vector<std::pair<std::string, RecorderState>> online;
    for (const auto& [key, states] : m_recorders) {
        const RecorderState* newest = newestState(key);
        if (newest != nullptr && newest->online && gatewayOnline(newest->gateway))
            online.emplace_back(key, *newest);
    }
    return online;
}

} // namespace fleet
