#include "HarmlessQtMessages.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdio>

namespace qtcommon {

namespace {

// How each notice begins, and why it says nothing the operator can act on.
constexpr std::array<std::string_view, 2> kHarmlessBeginnings{
    // Without a session's runtime folder Qt makes a private one in /tmp; the
    // programs never use it (the station finds its own, platform/Paths.h).
    "QStandardPaths: XDG_RUNTIME_DIR not set",
    // The offscreen platform has no window manager to give size hints to.
    "This plugin does not support propagateSizeHints()",
};

// The handler in place before ours; only the filter's constructor and
// destructor change it, on the main thread, before and after any other thread.
QtMessageHandler g_previous = nullptr;

void filterMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray text = message.toUtf8();
    if (HarmlessQtMessages::isHarmless(std::string_view(text.constData(), text.size())))
        return;
    if (g_previous) {
        g_previous(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

HarmlessQtMessages::HarmlessQtMessages()
{
    g_previous = qInstallMessageHandler(filterMessage);
}

HarmlessQtMessages::~HarmlessQtMessages()
{
    qInstallMessageHandler(g_previous);
    g_previous = nullptr;
}

bool HarmlessQtMessages::isHarmless(std::string_view message)
{
    for (std::string_view beginning : kHarmlessBeginnings)
        if (message.starts_with(beginning))
            return true;
    return false;
}

} // namespace qtcommon
