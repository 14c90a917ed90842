// kavrel-listen's command line.
#pragma once

#include "ParseResult.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace listenhost {

struct ListenOptions
{
    std::uint16_t port = 9600;
    bool rawSink = false; // a plain TCP sink instead of the receiver library
    bool quiet = false;   // count events, print the totals at the end only
};

struct ParsedListenOptions : toolcli::ParseResult
{
    ListenOptions options;
};

// args: the arguments after the program name.
ParsedListenOptions parseListenOptions(std::span<const std::string_view> args);

std::string listenUsage(std::string_view program);

} // namespace listenhost
