// Texts of unbounded length (a recorder's name, a path) in a label of limited
// room: cut at the end with an ellipsis, the whole text in the label's
// tooltip. A text that fits is shown whole, with no tooltip.
//
// Threading: user-interface thread only.
#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace monitor {

// Space kept between a label and the control after it.
inline constexpr int kFittedGap = 4;

// Shows the text in the label, cut to width pixels (the label's whole width,
// margins included) when it is wider.
void showFitted(QLabel& label, const QString& text, int width);

// The width from the widget's left edge to the next control on its line, or to
// its parent's right edge when there is none, less kFittedGap; unbounded for a
// widget without a parent.
int roomToTheRight(const QWidget& widget);

} // namespace monitor
