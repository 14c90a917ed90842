// How the station recognises the navigation program's main window by its title,
// and how it puts the selected recorder's key in front of that title:
// "(" key ")@ " title. Titles and keys are Windows-1252 text.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace monitor {

// Lower-case fragments of the navigation programs' titles, in the order they
// are tried.
inline constexpr std::array<std::string_view, 2> kNavigationTitleFragments = {"alturion gps",
                                                                              "magic e-map"};

// Ends the key that the station put in front of a title.
inline constexpr std::string_view kNavigationKeyEnd = ")@ ";

// Windows-1252 text in lower case: ASCII letters and the accented capitals of
// the Windows-1252 code page.
std::string windows1252ToLower(std::string_view text);

// For a window title that contains one of the fragments (in any case): the
// lower-cased title without the key an earlier run put in front of it, which
// is everything up to and including the first ")@ ". Otherwise nothing.
std::optional<std::string> navigationTitleOf(std::string_view title);

// "(" + key + ")@ " + navigationTitle.
std::string keyedNavigationTitle(std::string_view key, std::string_view navigationTitle);

} // namespace monitor
