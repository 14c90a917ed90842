#include "FleetStates.h"

#include "FleetTopics.h"
#include "TextCodec.h"

#include <nlohmann/json.hpp>

namespace fleet {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kOnline = "online";
constexpr std::string_view kOffline = "offline";
// A time text is "yyyy/mm/dd hh:mm:ss"; a little room for other writers.
constexpr std::size_t kMaxTimeTextBytes = 32;
constexpr std::size_t kMaxAddressBytes = 64;
// One device text at most; a device record fits in far less.
constexpr std::size_t kMaxDeviceTextBytes = 1024;

std::optional<Json> parseObject(std::string_view text)
{
    if (text.size() > kMaxStateBytes)
        return std::nullopt;
    Json json = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    return json;
}

std::optional<std::string> stringField(const Json& json, const char* name, std::size_t maxBytes)
{
    const auto it = json.find(name);
    if (it == json.end() || !it->is_string())
        return std::nullopt;
    const auto& text = it->get_ref<const std::string&>();
    if (text.size() > maxBytes)
        return std::nullopt;
    return text;
}

std::optional<bool> stateField(const Json& json)
{
    const auto state = stringField(json, "state", kOffline.size());
    if (!state)
        return std::nullopt;
    if (*state == kOnline)
        return true;
    if (*state == kOffline)
        return false;
    return std::nullopt;
}

std::string_view stateWord(bool online)
{
    return online ? kOnline : kOffline;
}

// Names from settings may hold bytes that are not UTF-8: they are replaced,
// never thrown over.
std::string dump(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace

std::string encodeGatewayState(const GatewayState& state)
{
    const Json json = {
        {"state", stateWord(state.online)}, {"gateway", state.gateway}, {"since", state.since}};
    return dump(json);
}

std::string encodeRecorderState(const RecorderState& state)
{
    Json device = Json::array();
    for (const auto& text : state.device)
        device.push_back(platform::windows1252ToUtf8(text));
    const Json json = {{"state", stateWord(state.online)}, {"gateway", state.gateway},
                       {"connection", state.connection},   {"since", state.since},
                       {"address", state.address},         {"device", std::move(device)}};
    return dump(json);
}

std::optional<GatewayState> decodeGatewayState(std::string_view text)
{
    const auto json = parseObject(text);
    if (!json)
        return std::nullopt;
    const auto online = stateField(*json);
    auto gateway = stringField(*json, "gateway", kMaxNameBytes);
    auto since = stringField(*json, "since", kMaxTimeTextBytes);
    if (!online || !gateway || gateway->empty() || !since)
        return std::nullopt;
    return GatewayState{*online, std::move(*gateway), std::move(*since)};
}

std::optional<RecorderState> decodeRecorderState(std::string_view text)
{
    const auto json = parseObject(text);
    if (!json)
        return std::nullopt;
    RecorderState state;
    const auto online = stateField(*json);
    auto gateway = stringField(*json, "gateway", kMaxNameBytes);
    auto since = stringField(*json, "since", kMaxTimeTextBytes);
    auto address = stringField(*json, "address", kMaxAddressBytes);
    const auto connection = json->find("connection");
    const auto device = json->find("device");
    if (!online || !gateway || gateway->empty() || !since || !address ||
        connection == json->end() || !connection->is_number_unsigned() || device == json->end() ||
        !device->is_array() || device->size() != kDeviceTextCount)
        return std::nullopt;
    for (std::size_t i = 0; i < kDeviceTextCount; ++i) {
        const Json& item = (*device)[i];
        if (!item.is_string() || item.get_ref<const std::string&>().size() > kMaxDeviceTextBytes)
            return std::nullopt;
        state.device[i] = platform::utf8ToWindows1252(item.get_ref<const std::string&>());
    }
    state.online = *online;
    state.gateway = std::move(*gateway);
    state.connection = connection->get<std::uint64_t>();
    state.since = std::move(*since);
    state.address = std::move(*address);
    return state;
}

} // namespace fleet
