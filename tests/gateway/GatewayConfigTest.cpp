// What a gateway runs with: the command line over tessaro.ini's [Fleet]
// section over the defaults, and one line for what cannot be used.
#include "GatewayConfig.h"

#include "FleetSettings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(GatewayConfigTest, CommandLineWinsOverSettingsOverDefaults)
{
    struct Case
    {
        const char* legend;
        std::vector<std::string_view> args;
        std::string ini;
        std::string broker; // text(); empty: none
        std::string name;
        std::string prefix;
        std::uint64_t maxClipBytes;
        std::size_t problems;
        std::string error; // found in the one line; empty: none
    };
    const Case cases[] = {
        {"nothing given: no broker, host-port, default prefix",
         {},
         "",
         "",
         "host-9600",
         "tessaro/v1",
         16u << 20,
         0,
         ""},
        {"the file's fleet section",
         {},
         "[Fleet]\nBROKER=mqtt://b1:1884\nPREFIX=bus/v1\nNAME=depot\nMAX_CLIP_BYTES=1000\n",
         "mqtt://b1:1884",
         "depot",
         "bus/v1",
         1000,
         0,
         ""},
        {"the command line wins",
         {"--fleet", "tcp://b2", "--name", "north", "--port", "9700"},
         "[fleet]\nbroker=mqtt://b1:1884\nname=depot\n",
         "mqtt://b2:1883",
         "north",
         "tessaro/v1",
         16u << 20,
         0,
         ""},
        {"the default name follows the port",
         {"--port", "9701"},
         "",
         "",
         "host-9701",
         "tessaro/v1",
         16u << 20,
         0,
         ""},
        {"other sections are not the fleet's; a name unknown there is told",
         {},
         "[Archive]\nKEEP_DAYS=3\nNAME=x\n[Fleet]\n; comment\nNAME=ok\n",
         "",
         "ok",
         "tessaro/v1",
         16u << 20,
         1,
         ""},
        {"unusable values are told and defaulted",
         {},
         "[Fleet]\nPREFIX=a/+/b\nMAX_CLIP_BYTES=-1\nCOLOUR=red\n",
         "",
         "host-9600",
         "tessaro/v1",
         16u << 20,
         3,
         ""},
        {"a broker that cannot be read is one line",
         {},
         "[Fleet]\nBROKER=http://b1\n",
         "",
         "",
         "",
         0,
         0,
         "[Fleet] BROKER"},
        {"a name too long for a topic level is one line",
         {},
         "[Fleet]\nNAME=" + std::string(300, 'n') + "\n",
         "",
         "",
         "",
         0,
         0,
         "must be 1 to"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.legend);
        const gateway::ParsedCommandLine parsed = gateway::parseGatewayCommandLine(c.args);
        ASSERT_EQ(parsed.action, gateway::ParsedCommandLine::Action::Run) << parsed.error;
        const gateway::FleetSettings settings = gateway::parseFleetSettings(c.ini, "tessaro.ini");
        EXPECT_EQ(settings.problems.size(), c.problems);
        const auto resolved = gateway::resolveGatewayConfig(parsed.line, settings, "host");
        if (!c.error.empty()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(resolved));
            EXPECT_NE(std::get<std::string>(resolved).find(c.error), std::string::npos);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<gateway::GatewayConfig>(resolved))
            << std::get<std::string>(resolved);
        const auto& config = std::get<gateway::GatewayConfig>(resolved);
        EXPECT_EQ(config.broker ? config.broker->text() : std::string(), c.broker);
        EXPECT_EQ(config.name, c.name);
        EXPECT_EQ(config.prefix, c.prefix);
        EXPECT_EQ(config.maxClipBytes, c.maxClipBytes);
    }
    // The service reads its settings from /etc, its data stays in its data folder.
    const std::vector<std::string_view> service = {"--data", "/var/lib/gw", "--settings",
                                                   "/etc/tessaro/tessaro.ini"};
    const gateway::ParsedCommandLine parsed = gateway::parseGatewayCommandLine(service);
    ASSERT_EQ(parsed.action, gateway::ParsedCommandLine::Action::Run) << parsed.error;
    EXPECT_EQ(gateway::settingsFileOf(parsed.line), "/etc/tessaro/tessaro.ini");
    EXPECT_EQ(gateway::settingsFileOf({}).substr(gateway::settingsFileOf({}).size() - 11),
              "tessaro.ini");
}

} // namespace
