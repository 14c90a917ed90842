// The error that the movie view raises: a message text for the user.
#pragma once

#include <QString>
#include <stdexcept>

namespace movieview {

class MovieError : public std::runtime_error
{
public:
    explicit MovieError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text)
    {
    }

    const QString& text() const { return m_text; }

private:
    QString m_text;
};

} // namespace movieview
