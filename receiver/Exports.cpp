// The library's three exports. No exception ever leaves them; GPRSFree and
// GPRSRegisterCallbackInformation return 0, GPRSInitial whether it listens.
//
// The library object lives from GPRSInitial to GPRSFree and is never torn down
// by the process's exit: a host that never calls GPRSFree must not find the
// library stopping on its own at exit, calling it back, waiting for workers or
// touching a debug window whose application is already gone. At exit the only
// step is the host gate's, which keeps the workers out of the host's code.
#include "DebugWindow.h"
#include "HostGate.h"
#include "MainForm.h"
#include "kavrel.h"

#include <memory>
#include <mutex>

namespace {

// The process-wide library object: empty until GPRSInitial and after GPRSFree.
struct Library
{
    std::mutex mutex; // guards frmMain
    std::unique_ptr<kavrel::TfrmMain> frmMain;
};

Library& library()
{
    // Deliberately leaked, so that no destructor runs at exit.
    static auto* const instance = new Library;
    return *instance;
}

} // namespace

extern "C" {

int32_t KAVREL_CALL GPRSInitial(void* parentWindow, int32_t port)
{
    try {
        kavrel::HostGate::closeAtProcessExit();
        auto& lib = library();
        std::lock_guard lock(lib.mutex);
        if (lib.frmMain)
            return lib.frmMain->listenPending() ? lib.frmMain->listen(port) : 0;
        kavrel::TfrmMain::Options options;
        options.windowFactory = kavrel::makeDebugWindow;
        auto frmMain = std::make_unique<kavrel::TfrmMain>(parentWindow, std::move(options));
        const int32_t result = frmMain->start(port);
        // Started even when not listening: a later call only tries the
        // listening again, without reading the settings or remaking the
        // log and the debug window.
        lib.frmMain = std::move(frmMain);
        return result;
    } catch (...) {
        return KAVREL_LISTEN_FAILED;
    }
}

int32_t KAVREL_CALL GPRSRegisterCallbackInformation(KavrelHostCallback callback)
{
    try {
        auto& lib = library();
        std::lock_guard lock(lib.mutex);
        if (lib.frmMain)
            lib.frmMain->setCallback(callback);
    } catch (...) {
    }
    return 0;
}

int32_t KAVREL_CALL GPRSFree(void)
{
    try {
        std::unique_ptr<kavrel::TfrmMain> frmMain;
        {
            auto& lib = library();
            std::lock_guard lock(lib.mutex);
            frmMain = std::move(lib.frmMain);
        }
        if (frmMain)
            frmMain->stop();
    } catch (...) {
    }
    return 0;
}

} // extern "C"
