#include "CommandLine.h"

#include <vector>

namespace toolcli {

namespace {

// CLI11's own words for a value left out or given to a switch, turned into the tools' words.
std::string plainMismatch(const std::string& what)
{
    std::string name = what.substr(0, what.find_first_of(": "));
    if (!name.starts_with("-"))
        name = "--" + name; // CLI11 names a switch without its dashes
    if (what.ends_with("disallowed flag override"))
        return name + " takes no value";
    if (what.ends_with("missing"))
        return name + " needs a value";
    return what;
}

} // namespace

ParseResult parse(CLI::App& app, std::span<const std::string_view> args)
{
    ParseResult result;
    app.allow_extras();
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.action = ParseResult::Action::Help;
        return result;
    } catch (const CLI::ArgumentMismatch& e) {
        result.action = ParseResult::Action::Error;
        result.error = plainMismatch(e.what());
        return result;
    } catch (const CLI::ParseError& e) {
        result.action = ParseResult::Action::Error;
        result.error = e.what();
        return result;
    }
    if (const auto rest = app.remaining(); !rest.empty()) {
        result.action = ParseResult::Action::Error;
        result.error = rest.front().starts_with("-")
                           ? "unknown option " + rest.front()
                           : "unexpected argument \"" + rest.front() + "\"";
    }
    return result;
}

CLI::Option* addSwitch(CLI::App& app, const std::string& name, bool& target,
                       const std::string& help)
{
    return app.add_flag(name, target, help)->disable_flag_override();
}

} // namespace toolcli
