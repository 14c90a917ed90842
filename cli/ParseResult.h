// What parsing a tool's command line decided: run, print the help, or stop
// with one line saying what is wrong. Free of the parser's own headers.
#pragma once

#include <string>

namespace toolcli {

struct ParseResult
{
    enum class Action
    {
        Run,
        Help,
        Error
    };
    Action action = Action::Run;
    std::string error; // with Action::Error: one line saying what is wrong
};

} // namespace toolcli
