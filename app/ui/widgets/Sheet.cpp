#include "app/ui/widgets/Sheet.h"

#include <QEvent>
#include <QPushButton>

namespace vael {

Sheet::Sheet(QWidget* parent, const QString& title, int fixedWidth) : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    if (!title.isEmpty()) setWindowTitle(title);
    if (fixedWidth > 0) setFixedWidth(fixedWidth);
}

// Return belongs to the sheet's default button alone: a focused secondary button (Cancel above
// all) must never take it, which Qt's auto-default would let it do.
void Sheet::quietSecondaryButtons() {
    for (auto* button : findChildren<QPushButton*>())
        if (!button->isDefault() && button->autoDefault()) button->setAutoDefault(false);
}

bool Sheet::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) quietSecondaryButtons();
    return QDialog::event(event);
}

}  // namespace vael
