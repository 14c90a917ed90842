// Text of a settings file as its readers take it apart.
#pragma once

#include <cctype>
#include <string_view>

namespace kavrel {

// The text without the blanks at either end.
inline std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace kavrel
