// Where the archive shows the selected recorder's latest clip: the window's
// movie view. Paths are file-system paths (UTF-8).
#pragma once

#include <string>

namespace monitor {

class ClipViewer
{
public:
    virtual ~ClipViewer() = default;
    // Closes the clip shown and opens the file. May throw std::exception when
    // the file cannot be shown; the archive ignores that.
    virtual void showFile(const std::string& path) = 0;
    // Closes the clip shown, which lets go of its file.
    virtual void closeMovie() = 0;
};

} // namespace monitor
