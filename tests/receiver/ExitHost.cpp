// A host that never calls GPRSFree: it starts the library, has a recorder
// connected with packets still being worked through, and ends by returning from
// main or by calling exit, as the argument says. It prints "callback after exit
// began" for every callback that reaches it once its own exit step has run.
//
// Its exit step is registered before the library starts, so it runs after any
// exit step of the library's (exit steps run in reverse order).
#include "FreePort.h"
#include "PacketBytes.h"
#include "RecorderConnection.h"
#include "kavrel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

// Packets queued on the connection when the host ends, so that its worker is
// still busy reporting them while the process exits.
constexpr int kQueuedPackets = 2000;
// How long the exit step watches for a late callback.
constexpr std::chrono::milliseconds kWatch{300};

std::atomic<bool> g_exitBegan{false};
std::atomic<int> g_lateCallbacks{0};
std::mutex* g_lateMutex = new std::mutex;                      // leaked: used during exit
std::condition_variable* g_late = new std::condition_variable; // leaked: used during exit
recorder::RecorderConnection* g_recorder = nullptr;            // kept open through exit

void say(const char* text)
{
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text, std::strlen(text));
}

int32_t KAVREL_CALL onEvent(const char*, int32_t, const void*, int32_t)
{
    if (g_exitBegan.load()) {
        say("callback after exit began\n");
        std::lock_guard lock(*g_lateMutex);
        ++g_lateCallbacks;
        g_late->notify_all();
    }
    return 0;
}

void onExit()
{
    g_exitBegan = true;
    say("exit began\n");
    std::unique_lock lock(*g_lateMutex);
    g_late->wait_for(lock, kWatch, [] { return g_lateCallbacks.load() > 0; });
}

} // namespace

int main(int argc, char** argv)
{
    const std::string how = argc > 1 ? argv[1] : "";
    if (how != "return" && how != "exit") {
        std::fprintf(stderr, "usage: %s return|exit\n", argv[0]);
        return 2;
    }
    std::atexit(onExit);

    const std::uint16_t port = testsupport::freePort();
    GPRSInitial(nullptr, port);
    GPRSRegisterCallbackInformation(onEvent);

    g_recorder = new recorder::RecorderConnection;
    if (!g_recorder->connect("127.0.0.1", port) ||
        !g_recorder->sendPacket(0, recorder::textBytes("I,BUS,A,D,U,L,7")).ok()) {
        say("no recorder connected\n");
        return 1;
    }
    recorder::Bytes stream;
    for (int i = 0; i < kQueuedPackets; ++i)
        recorder::appendPacket(stream, 2, recorder::textBytes("$GPRMC,exit"));
    if (!g_recorder->sendRaw(stream)) {
        say("packets not sent\n");
        return 1;
    }
    say("ending\n");
    if (how == "exit")
        std::exit(0);
    return 0;
}
