#include "TimeBase.h"

#include "MovieCallBack.h"
#include "MovieEngineSession.h"

#include <algorithm>

namespace movieview {

TimeBase::~TimeBase()
{
    for (MovieCallBack* callBack : m_callBacks)
        callBack->timeBaseGone();
}

void TimeBase::setFlags(long flags)
{
    m_flags = flags;
    noteEngineResult(EngineCode::noErr);
}

void TimeBase::reachedStopEnd()
{
    // A procedure may dispose callbacks; work on a copy and skip the gone ones.
    const std::vector<MovieCallBack*> callBacks = m_callBacks;
    for (MovieCallBack* callBack : callBacks)
        if (std::find(m_callBacks.begin(), m_callBacks.end(), callBack) != m_callBacks.end())
            callBack->reachedEnd(TriggerFlag::triggerAtStop);
}

void TimeBase::attach(MovieCallBack* callBack)
{
    m_callBacks.push_back(callBack);
}

void TimeBase::detach(MovieCallBack* callBack)
{
    std::erase(m_callBacks, callBack);
}

} // namespace movieview
