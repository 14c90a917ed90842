// What the settings files hold that cannot be used, shown whole over the
// movie until the operator closes it: every line, each wrapped to the width it
// is given, none shortened. Lines that need more height than the place it is
// given scroll.
#pragma once

#include <QFrame>
#include <QString>
#include <vector>

class QLabel;
class QScrollArea;
class QToolButton;

namespace monitor {

class SettingsNotice : public QFrame
{
    Q_OBJECT

public:
    explicit SettingsNotice(QWidget* parent);

    // Adds lines after those shown and shows them all.
    void addLines(const std::vector<QString>& lines);
    // Takes the width of area at its top left, and as much of its height as
    // the lines need.
    void fitInto(const QRect& area);
    // The lines as shown, one a paragraph.
    QLabel* textLabel() const { return m_text; }

private:
    QScrollArea* m_scroll;
    QLabel* m_text;
    QToolButton* m_close;
    QStringList m_lines;
    QRect m_area;
};

} // namespace monitor
