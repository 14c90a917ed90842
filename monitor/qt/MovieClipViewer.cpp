#include "MovieClipViewer.h"

#include "qtmovie.h"

namespace monitor {

void MovieClipViewer::showFile(const std::string& path)
{
    m_movie.setFileName(QString::fromStdString(path));
}

void MovieClipViewer::closeMovie()
{
    m_movie.setFileName(QString());
}

} // namespace monitor
