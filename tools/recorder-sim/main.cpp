// recorder-sim: simulated recorders calling a receiver. See --help.
#include "RecorderSession.h"
#include "RmcLog.h"
#include "SimOptions.h"
#include "SimSummary.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFaults = 1;
constexpr int kExitBadOptions = 2;
// How often the main thread looks up from waiting for signals to see whether all sessions ended.
constexpr long kSignalPollNs = 100'000'000;

// kind: what the file is, for the error text.
template <typename Container>
bool readFile(const std::string& path, const char* kind, Container& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string("cannot open ") + kind + " \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = std::string("cannot read ") + kind + " \"" + path + "\"";
        return false;
    }
    return true;
}

bool readClip(const std::string& path, std::vector<std::uint8_t>& out, std::string& error)
{
    if (!readFile(path, "clip file", out, error))
        return false;
    // A header announcing size 0 never completes a packet: the receiver would wait for ever.
    if (out.empty()) {
        error = "clip file \"" + path + "\" is empty; a packet needs at least one byte";
        return false;
    }
    return true;
}

bool readTrack(const std::string& path, std::vector<std::string>& sentences, std::string& error)
{
    std::string log;
    if (!readFile(path, "track file", log, error))
        return false;
    sentences = nmea::rmcSentencesOf(log);
    if (sentences.empty()) {
        error = "track file \"" + path + "\" holds no $GPRMC or $GNRMC sentence";
        return false;
    }
    return true;
}

int run(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = recorder::parseSimOptions(args);
    if (parsed.action == recorder::ParsedOptions::Action::Help) {
        std::fputs(recorder::simUsage("recorder-sim").c_str(), stdout);
        return kExitClean;
    }
    if (parsed.action == recorder::ParsedOptions::Action::Error) {
        std::fprintf(stderr, "recorder-sim: %s\nTry 'recorder-sim --help'.\n",
                     parsed.error.c_str());
        return kExitBadOptions;
    }
    const recorder::SimOptions& options = parsed.options;

    std::vector<std::uint8_t> clip;
    std::vector<std::string> track;
    std::string error;
    if ((!options.clipPath.empty() && !readClip(options.clipPath, clip, error)) ||
        (!options.trackPath.empty() && !readTrack(options.trackPath, track, error))) {
        std::fprintf(stderr, "recorder-sim: %s\n", error.c_str());
        return kExitBadOptions;
    }

    // SIGINT and SIGTERM are taken by this thread alone (sigtimedwait below);
    // the session threads inherit the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // reports[i] and ends[i] belong to session thread i until that thread has been joined.
    std::vector<recorder::SessionReport> reports(options.recorders);
    std::vector<std::chrono::steady_clock::time_point> ends(options.recorders);
    std::atomic<unsigned> finished{0};
    std::stop_source stop;
    const auto start = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> sessions;
        sessions.reserve(options.recorders);
        for (unsigned i = 0; i < options.recorders; ++i)
            sessions.emplace_back([&, i] {
                try {
                    reports[i] =
                        recorder::RecorderSession(options, i, clip, track).run(stop.get_token());
                } catch (const std::exception& e) {
                    reports[i].fail(std::string("recorder stopped: ") + e.what());
                } catch (...) {
                    reports[i].fail("recorder stopped by an unknown error");
                }
                ends[i] = std::chrono::steady_clock::now();
                finished.fetch_add(1);
            });
        const timespec slice{0, kSignalPollNs};
        while (finished.load() < options.recorders) {
            const int signal = sigtimedwait(&stopSignals, nullptr, &slice);
            if (signal == SIGINT || signal == SIGTERM) {
                std::fputs("recorder-sim: stopping after the packets under way\n", stderr);
                stop.request_stop();
                break;
            }
        }
    } // joins every session
    const auto end = *std::max_element(ends.begin(), ends.end());

    if (!options.quiet)
        for (const auto& r : reports)
            std::printf("%s: %s, %llu packets, %llu acks checked, %llu errors\n", r.key.c_str(),
                        r.connected ? "connected" : "not connected",
                        static_cast<unsigned long long>(r.packetsSent),
                        static_cast<unsigned long long>(r.acksChecked),
                        static_cast<unsigned long long>(r.errors));
    const auto summary = recorder::SimSummary::from(reports, start, end, options.neverRead);
    const bool acksAwaited = !options.noAck && !options.neverRead;
    std::fputs(summary.format(acksAwaited).c_str(), stdout);
    std::fflush(stdout);
    if (stop.stop_requested())
        return kExitFaults;
    return summary.clean(acksAwaited) ? kExitClean : kExitFaults;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "recorder-sim: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "recorder-sim: unknown error\n");
    }
    return kExitFaults;
}
