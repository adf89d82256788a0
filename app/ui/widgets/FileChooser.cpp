#include "app/ui/widgets/FileChooser.h"

#include <QFileDialog>

namespace vael {

std::optional<QString> LiveFileChooser::openFile(const QString& title, const QString& filters) {
    const QString path = QFileDialog::getOpenFileName(parent_, title, QString(), filters);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> LiveFileChooser::chooseFolder(const QString& title, const QString& startFolder,
                                                     const QString& acceptLabel) {
    QFileDialog dialog(parent_, title, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (!acceptLabel.isEmpty()) dialog.setLabelText(QFileDialog::Accept, acceptLabel);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace vael
