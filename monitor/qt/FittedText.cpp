#include "FittedText.h"

#include <QLabel>
#include <algorithm>

namespace monitor {

void showFitted(QLabel& label, const QString& text, int width)
{
    const QMargins margins = label.contentsMargins();
    const int room = std::max(0, width - margins.left() - margins.right() - 2 * label.margin());
    const QString shown = label.fontMetrics().elidedText(text, Qt::ElideRight, room);
    label.setText(shown);
    label.setToolTip(shown == text ? QString() : text);
}

int roomToTheRight(const QWidget& widget)
{
    const QWidget* parent = widget.parentWidget();
    if (!parent)
        return QWIDGETSIZE_MAX; // a window of its own: it takes the width of its text
    int right = parent->width();
    const QRect own = widget.geometry();
    for (const QObject* child : parent->children()) {
        const auto* sibling = qobject_cast<const QWidget*>(child);
        if (!sibling || sibling == &widget || sibling->isHidden())
            continue;
        const QRect other = sibling->geometry();
        const bool sameLine = other.top() <= own.bottom() && own.top() <= other.bottom();
        if (sameLine && other.left() > own.left())
            right = std::min(right, other.left());
    }
    return std::max(0, right - own.left() - kFittedGap);
}

} // namespace monitor
