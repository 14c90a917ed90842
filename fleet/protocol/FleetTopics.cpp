#include "FleetTopics.h"

#include "HexDigit.h"

#include <array>
#include <charconv>

namespace fleet {

namespace {

bool staysAsIs(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

std::string level(std::string_view name)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (staysAsIs(c)) {
            out += ch;
        } else {
            out += '%';
            out += kDigits[c >> 4];
            out += kDigits[c & 0x0F];
        }
    }
    return out;
}

std::string codeLevel(std::int32_t code)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto value = static_cast<std::uint32_t>(code) & 0xFFFFu;
    return {kDigits[(value >> 12) & 0xF], kDigits[(value >> 8) & 0xF], kDigits[(value >> 4) & 0xF],
            kDigits[value & 0xF]};
}

std::optional<std::int32_t> codeOfLevel(std::string_view text)
{
    if (text.size() != 4)
        return std::nullopt;
    std::int32_t code = 0;
    for (const char c : text) {
        const int digit = hexValue(c);
        if (digit < 0 || (c >= 'a' && c <= 'f'))
            return std::nullopt;
        code = code * 16 + digit;
    }
    return code;
}

// Splits "a/b/c" into its levels; false when there are more than `out` holds.
template <std::size_t N>
bool splitLevels(std::string_view topic, std::array<std::string_view, N>& out, std::size_t& count)
{
    count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = topic.find('/', start);
        if (count == N)
            return false;
        out[count++] = topic.substr(start, slash == std::string_view::npos ? std::string_view::npos
                                                                           : slash - start);
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace

std::optional<std::string> topicLevel(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameBytes)
        return std::nullopt;
    return level(name);
}

std::optional<std::string> nameOfTopicLevel(std::string_view text)
{
    std::string name;
    name.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (staysAsIs(c)) {
            name += text[i];
            continue;
        }
        if (c != '%' || i + 2 >= text.size())
            return std::nullopt;
        const char high = text[i + 1];
        const char low = text[i + 2];
        const int h = hexValue(high);
        const int l = hexValue(low);
        // Upper-case digits only, and only for bytes that do not stay as they
        // are: one name, one level.
        if (h < 0 || l < 0 || (high >= 'a' && high <= 'f') || (low >= 'a' && low <= 'f'))
            return std::nullopt;
        const auto byte = static_cast<unsigned char>(h * 16 + l);
        if (staysAsIs(byte))
            return std::nullopt;
        name += static_cast<char>(byte);
        i += 2;
    }
    if (name.empty() || name.size() > kMaxNameBytes)
        return std::nullopt;
    return name;
}

std::string gatewayStateTopic(std::string_view prefix, std::string_view gateway)
{
    return std::string(prefix) + "/gateway/" + level(gateway) + "/state";
}

std::string recorderStateTopic(std::string_view prefix, std::string_view recorderKey,
                               std::string_view gateway)
{
    return std::string(prefix) + "/recorder/" + level(recorderKey) + "/state/" + level(gateway);
}

std::string recorderEventTopic(std::string_view prefix, std::string_view recorderKey,
                               std::int32_t code)
{
    return std::string(prefix) + "/recorder/" + level(recorderKey) + "/event/" + codeLevel(code);
}

std::string allGatewayStatesFilter(std::string_view prefix)
{
    return std::string(prefix) + "/gateway/+/state";
}

std::string allRecorderStatesFilter(std::string_view prefix)
{
    return std::string(prefix) + "/recorder/+/state/+";
}

std::string recorderEventsFilter(std::string_view prefix, std::string_view recorderKey)
{
    return std::string(prefix) + "/recorder/" + level(recorderKey) + "/event/+";
}

std::optional<FleetTopic> parseTopic(std::string_view prefix, std::string_view topic)
{
    if (topic.size() <= prefix.size() + 1 || topic.substr(0, prefix.size()) != prefix ||
        topic[prefix.size()] != '/')
        return std::nullopt;
    std::array<std::string_view, 4> levels;
    std::size_t count = 0;
    if (!splitLevels(topic.substr(prefix.size() + 1), levels, count))
        return std::nullopt;

    FleetTopic parsed;
    if (count == 3 && levels[0] == "gateway" && levels[2] == "state") {
        auto gateway = nameOfTopicLevel(levels[1]);
        if (!gateway)
            return std::nullopt;
        parsed.kind = TopicKind::GatewayState;
        parsed.gateway = std::move(*gateway);
        return parsed;
    }
    if (count != 4 || levels[0] != "recorder")
        return std::nullopt;
    auto key = nameOfTopicLevel(levels[1]);
    if (!key)
        return std::nullopt;
    parsed.recorderKey = std::move(*key);
    if (levels[2] == "state") {
        auto gateway = nameOfTopicLevel(levels[3]);
        if (!gateway)
            return std::nullopt;
        parsed.kind = TopicKind::RecorderState;
        parsed.gateway = std::move(*gateway);
        return parsed;
    }
    if (levels[2] == "event") {
        const auto code = codeOfLevel(levels[3]);
        if (!code)
            return std::nullopt;
        parsed.kind = TopicKind::RecorderEvent;
        parsed.code = *code;
        return parsed;
    }
    return std::nullopt;
}

} // namespace fleet
