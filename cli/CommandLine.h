// What the tools' command lines share: CLI11 takes the arguments apart, and
// every complaint reaches the user as one sentence in the tools' own words.
// Options whose values a tool checks itself throw OptionError with its text.
#pragma once

#include "ParseResult.h"

#include <CLI/CLI.hpp>
#include <span>
#include <string>
#include <string_view>

namespace toolcli {

using OptionError = CLI::ValidationError;

// Parses args (the arguments after the program name) into what app declares.
ParseResult parse(CLI::App& app, std::span<const std::string_view> args);

// Adds an option whose value apply() checks and stores; apply returns an error
// text, or an empty one when the value fits.
template <typename Apply>
CLI::Option* addValue(CLI::App& app, const std::string& name, const std::string& valueName,
                      const std::string& help, Apply apply)
{
    return app
        .add_option_function<std::string>(
            name,
            [apply](const std::string& value) {
                if (std::string error = apply(value); !error.empty())
                    throw OptionError(error);
            },
            help)
        ->type_name(valueName);
}

// Adds a switch that takes no value ("--quiet=yes" is refused).
CLI::Option* addSwitch(CLI::App& app, const std::string& name, bool& target,
                       const std::string& help);

} // namespace toolcli
