// Message boxes of the station. The window shows its failures through this
// interface, so that tests can see what an operator would be shown.
#pragma once

#include <QString>

class QWidget;

namespace monitor {

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // A box with an error icon and an OK button over the parent. It does not
    // block: the window behind it goes on showing and working.
    virtual void showError(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// Real message boxes, each deleted when it is closed.
MessageBoxes& windowMessageBoxes();

// An error's text as a message box shows it: a full stop is added when the
// text ends in a character that sorts after ".", so that "file" becomes
// "file." while "file." and "file!" stay as they are.
QString withClosingFullStop(const QString& text);

} // namespace monitor
