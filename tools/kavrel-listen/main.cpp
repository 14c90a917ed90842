// kavrel-listen: a headless host for the receiver library, or a plain TCP sink. See --help.
#include "EventPrinter.h"
#include "ListenOptions.h"
#include "RawSink.h"
#include "TcpSocket.h"
#include "kavrel.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOptions = 2;

// The printer that the library's callback reports to. The callback takes no
// context, so it finds the printer here; the printer itself is a static of
// run() that lives until the process ends, because a worker that was inside the
// callback while GPRSFree ran may still report after GPRSFree has returned.
std::atomic<listenhost::EventPrinter*> g_printer{nullptr};

int32_t KAVREL_CALL onEvent(const char* text, int32_t code, const void* data, int32_t length)
{
    if (listenhost::EventPrinter* printer = g_printer.load())
        printer->report(text, code, data, length);
    return 0;
}

// Blocks SIGINT and SIGTERM in this thread and every thread started after, so
// that waitForStopSignal() takes them.
sigset_t blockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}

void waitForStopSignal(const sigset_t& set)
{
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
}

int runRawSink(const listenhost::ListenOptions& options, const sigset_t& stopSignals)
{
    listenhost::RawSink sink(stdout);
    std::string error;
    if (!sink.listen(options.port, error)) {
        std::fprintf(stderr, "kavrel-listen: cannot listen on port %u: %s\n", options.port,
                     error.c_str());
        return kExitFailed;
    }
    std::printf("kavrel-listen: raw sink on port %u; Ctrl-C ends\n", sink.port());
    std::fflush(stdout);
    std::jthread server([&sink] {
        try {
            sink.run();
        } catch (...) {
        }
    });
    waitForStopSignal(stopSignals);
    sink.stop();
    server.join();
    std::printf("kavrel-listen: %llu connections, %llu bytes\n",
                static_cast<unsigned long long>(sink.connectionsEnded()),
                static_cast<unsigned long long>(sink.totalBytes()));
    return kExitClean;
}

int runLibrary(const listenhost::ListenOptions& options, const sigset_t& stopSignals)
{
    static listenhost::EventPrinter printer(stdout, options.quiet);
    g_printer.store(&printer);
    const int32_t started = GPRSInitial(nullptr, options.port);
    if (started != 0) {
        std::fprintf(stderr, "kavrel-listen: cannot listen on port %u: %s\n", options.port,
                     started > 0 ? std::strerror(started) : "the library did not start");
        return kExitFailed;
    }
    GPRSRegisterCallbackInformation(&onEvent);
    std::fprintf(stderr, "kavrel-listen: receiving on port %u; Ctrl-C ends\n", options.port);

    waitForStopSignal(stopSignals);
    std::fprintf(stderr, "kavrel-listen: stopping\n");
    GPRSFree();
    std::fflush(stdout);
    std::fprintf(stderr, "kavrel-listen: %s\n", printer.totals().c_str());
    return kExitClean;
}

int run(int argc, char** argv)
{
    // One line per event, as it happens, also when the output is a pipe or a
    // file, which the C library would otherwise fill block by block.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = listenhost::parseListenOptions(args);
    if (parsed.action == listenhost::ParsedListenOptions::Action::Help) {
        std::fputs(listenhost::listenUsage("kavrel-listen").c_str(), stdout);
        return kExitClean;
    }
    if (parsed.action == listenhost::ParsedListenOptions::Action::Error) {
        std::fprintf(stderr, "kavrel-listen: %s\nTry 'kavrel-listen --help'.\n",
                     parsed.error.c_str());
        return kExitBadOptions;
    }
    const sigset_t stopSignals = blockStopSignals();
    return parsed.options.rawSink ? runRawSink(parsed.options, stopSignals)
                                  : runLibrary(parsed.options, stopSignals);
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kavrel-listen: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "kavrel-listen: unknown error\n");
    }
    return kExitFailed;
}
