#include "DisplayCheck.h"

#include <QByteArray>
#include <QtGlobal>
#include <string_view>

namespace qtcommon {

bool displayMissing(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "--help-all") {
            // Only text to print: no window is needed.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return false;
        }
    }
    return true;
}

} // namespace qtcommon
