#include "MessageBoxes.h"

#include <QMessageBox>

namespace monitor {
namespace {

class WindowMessageBoxes final : public MessageBoxes
{
public:
    void showError(QWidget* parent, const QString& caption, const QString& text) override
    {
        auto* box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    }
};

} // namespace

MessageBoxes& windowMessageBoxes()
{
    static WindowMessageBoxes boxes;
    return boxes;
}

QString withClosingFullStop(const QString& text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

} // namespace monitor
