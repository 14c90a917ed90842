#include "CONNECTIONINFO.h"

#include <array>

namespace monitor {

namespace {

constexpr char kFieldSeparator = ',';

} // namespace

void splitLoginText(CONNECTIONINFO& entry, std::string_view loginText)
{
    // The order in which comma fields are taken: the fourth is the department.
    const std::array<std::string*, 6> fields = {&entry.Info1,      &entry.Info2,    &entry.Info3,
                                                &entry.Department, &entry.UserName, &entry.Locate};
    std::string_view rest = loginText;
    for (std::string* field : fields) {
        const std::size_t comma = rest.find(kFieldSeparator);
        if (comma == std::string_view::npos) {
            field->clear();
            continue;
        }
        field->assign(rest.substr(0, comma));
        rest.remove_prefix(comma + 1);
    }
    entry.IdNo.assign(rest);
}

std::string LocateIdText(const CONNECTIONINFO& entry)
{
    std::string text;
    text.reserve(entry.Locate.size() + 1 + entry.IdNo.size());
    text.append(entry.Locate).append(1, '_').append(entry.IdNo);
    return text;
}

} // namespace monitor
