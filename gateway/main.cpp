// tessaro-gateway: the receiving program without a window. See --help.
#include "DataFolder.h"
#include "FleetSettings.h"
#include "Gateway.h"
#include "GatewayCommandLine.h"
#include "GatewayConfig.h"
#include "Paths.h"
#include "StandardError.h"
#include "StationSettings.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOptions = 2;
constexpr std::size_t kHostNameBytes = 256;

// Set by SIGTERM and SIGINT; the gateway's loop reads it.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read in a signal handler");

extern "C" void onStopSignal(int)
{
    g_stop.store(true);
}

void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A broker that closes its side must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

std::string hostName()
{
    char name[kHostNameBytes] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "gateway";
    return name;
}

int run(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const gateway::ParsedCommandLine parsed = gateway::parseGatewayCommandLine(args);
    if (parsed.action == gateway::ParsedCommandLine::Action::Help) {
        std::fputs(gateway::gatewayUsage("tessaro-gateway").c_str(), stdout);
        return kExitClean;
    }
    if (parsed.action == gateway::ParsedCommandLine::Action::Error) {
        monitor::tellStandardError(parsed.error + " (see --help)");
        return kExitBadOptions;
    }
    const std::string folder = gateway::dataFolderOf(parsed.line);
    // The receiver library reads quvex.ini and writes its log beside the
    // program, where gateways run from one program folder with data folders
    // of their own share them; an installed gateway, whose program folder
    // cannot take them, keeps them in its data folder. Set before any thread runs.
    if (!platform::programFolderTakesData())
        ::setenv(platform::kHostDataVariable, folder.c_str(), 1);
    const gateway::FleetSettings settings =
        gateway::readFleetSettings(gateway::settingsFileOf(parsed.line));
    for (const std::string& problem : settings.problems)
        monitor::tellStandardError(problem);
    auto resolved = gateway::resolveGatewayConfig(parsed.line, settings, hostName());
    if (const std::string* error = std::get_if<std::string>(&resolved)) {
        monitor::tellStandardError(*error);
        return kExitBadOptions;
    }
    monitor::tellStandardError("archive in " + folder);
    catchStopSignals();
    gateway::Gateway gateway(std::get<gateway::GatewayConfig>(std::move(resolved)));
    gateway.start();
    if (!gateway.run(g_stop)) {
        // A receiver thread that does not end would hold the process forever.
        std::fflush(nullptr);
        std::_Exit(kExitClean);
    }
    return kExitClean;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        monitor::tellStandardError(std::string("the gateway cannot run: ") + error.what());
    } catch (...) {
        monitor::tellStandardError("the gateway cannot run");
    }
    return kExitFailed;
}
