#include "MessageBoxes.h"

#include <QMessageBox>

namespace monitor {
namespace {

class ModalMessageBoxes final : public MessageBoxes
{
public:
    void showError(QWidget* parent, const QString& caption, const QString& text) override
    {
        QMessageBox::critical(parent, caption, text);
    }
};

} // namespace

MessageBoxes& modalMessageBoxes()
{
    static ModalMessageBoxes boxes;
    return boxes;
}

QString withClosingFullStop(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

} // namespace monitor
