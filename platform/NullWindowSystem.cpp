// The window system of a session without a display: it finds nothing, and the
// callers' "window lost" paths run.
#include "WindowSystem.h"

namespace platform {

namespace {

class NullWindowSystem final : public WindowSystem
{
public:
    std::vector<NativeWindow> topLevelWindows() override { return {}; }
    std::string className(NativeWindow) override { return {}; }
    std::string title(NativeWindow) override { return {}; }
    bool setTitle(NativeWindow, std::string_view) override { return false; }
    NativeWindow foregroundWindow() override { return kNoWindow; }
    bool bringToForeground(NativeWindow) override { return false; }
    bool setTopmost(NativeWindow, bool) override { return false; }
};

} // namespace

std::unique_ptr<WindowSystem> makeNullWindowSystem()
{
    return std::make_unique<NullWindowSystem>();
}

} // namespace platform
