// The library's three exports. No exception ever leaves them; each returns 0.
#include "DebugWindow.h"
#include "MainForm.h"
#include "OrphanWorkers.h"
#include "kavrel.h"

#include <memory>
#include <mutex>

namespace {

// The process-wide library object: empty until GPRSInitial and after GPRSFree.
std::mutex g_frmMainMutex; // guards g_frmMain
std::unique_ptr<kavrel::TfrmMain> g_frmMain;

} // namespace

extern "C" {

int32_t KAVREL_CALL GPRSInitial(void* parentWindow, int32_t port)
{
    try {
        std::lock_guard lock(g_frmMainMutex);
        kavrel::OrphanWorkers::instance().reap();
        if (g_frmMain)
            return 0;
        kavrel::TfrmMain::Options options;
        options.windowFactory = kavrel::makeDebugWindow;
        g_frmMain = std::make_unique<kavrel::TfrmMain>(parentWindow, std::move(options));
        g_frmMain->start(port);
    } catch (...) {
    }
    return 0;
}

int32_t KAVREL_CALL GPRSRegisterCallbackInformation(KavrelHostCallback callback)
{
    try {
        std::lock_guard lock(g_frmMainMutex);
        if (g_frmMain)
            g_frmMain->setCallback(callback);
    } catch (...) {
    }
    return 0;
}

int32_t KAVREL_CALL GPRSFree(void)
{
    try {
        std::unique_ptr<kavrel::TfrmMain> frmMain;
        {
            std::lock_guard lock(g_frmMainMutex);
            frmMain = std::move(g_frmMain);
        }
        if (frmMain)
            frmMain->stop();
    } catch (...) {
    }
    return 0;
}

} // extern "C"
