#include "MovieCallBack.h"

#include "MovieEngineSession.h"
#include "TimeBase.h"

namespace movieview {

namespace {
std::uint64_t g_nextSerial = 1; // user-interface thread only
} // namespace

MovieCallBack::MovieCallBack(TimeBase& timeBase, int type)
    : m_timeBase(&timeBase), m_type(type), m_serial(g_nextSerial++)
{
    m_timeBase->attach(this);
}

MovieCallBack::~MovieCallBack()
{
    if (m_timeBase)
        m_timeBase->detach(this);
}

MovieErrorCode MovieCallBack::callMeWhen(MovieCallBackProc proc, void* refCon, long flags, long,
                                         long)
{
    if (!m_timeBase || !proc) {
        noteEngineResult(EngineCode::internalError);
        return EngineCode::internalError;
    }
    m_proc = proc;
    m_refCon = refCon;
    m_flags = flags;
    noteEngineResult(EngineCode::noErr);
    return EngineCode::noErr;
}

void MovieCallBack::cancel()
{
    m_proc = nullptr;
    m_refCon = nullptr;
    m_flags = 0;
}

void MovieCallBack::reachedEnd(long endFlag)
{
    if (!m_proc || (m_flags & endFlag) == 0)
        return;
    const MovieCallBackProc proc = m_proc;
    void* refCon = m_refCon;
    cancel();
    proc(*this, refCon);
}

std::unique_ptr<MovieCallBack> NewCallBack(TimeBase& timeBase, int type)
{
    if (type != CallBackType::callBackAtExtremes) {
        noteEngineResult(EngineCode::internalError);
        return nullptr;
    }
    noteEngineResult(EngineCode::noErr);
    return std::make_unique<MovieCallBack>(timeBase, type);
}

} // namespace movieview
