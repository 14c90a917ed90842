// Keeps Qt's known harmless notices off standard error, so that what the
// programs print there is their own lines and real problems. Every other
// message of Qt goes on to the handler that was there before.
//
// The handler is process-wide: main owns one filter for the program's life,
// made before the application object (some notices come from its creation).
#pragma once

#include <string_view>

namespace qtcommon {

class HarmlessQtMessages
{
public:
    HarmlessQtMessages();
    ~HarmlessQtMessages();
    HarmlessQtMessages(const HarmlessQtMessages&) = delete;
    HarmlessQtMessages& operator=(const HarmlessQtMessages&) = delete;

    // Whether a message of Qt is one of the notices kept off standard error.
    static bool isHarmless(std::string_view message);
};

} // namespace qtcommon
