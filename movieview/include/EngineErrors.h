// The engine's error state: the result of the call just made (last error) and
// the first failure since the sticky error was last cleared. Every engine call
// leaves its result here. Used on the user-interface thread only.
#pragma once

#include "MovieErrorCode.h"

namespace movieview {

class EngineErrors
{
public:
    // Records the result of one engine call: 0 for success.
    void note(MovieErrorCode code)
    {
        m_last = code;
        if (code != EngineCode::noErr && m_sticky == EngineCode::noErr)
            m_sticky = code;
    }

    MovieErrorCode last() const { return m_last; }
    MovieErrorCode sticky() const { return m_sticky; }
    void clearSticky() { m_sticky = EngineCode::noErr; }

private:
    MovieErrorCode m_last = EngineCode::noErr;
    MovieErrorCode m_sticky = EngineCode::noErr;
};

} // namespace movieview
