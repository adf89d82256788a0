#include "app/ui/widgets/Sheet.h"

namespace vael {

Sheet::Sheet(QWidget* parent, const QString& title, int fixedWidth) : QDialog(parent) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(true);
    if (!title.isEmpty()) setWindowTitle(title);
    if (fixedWidth > 0) setFixedWidth(fixedWidth);
}

}  // namespace vael
