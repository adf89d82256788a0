#include "app/ui/widgets/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

namespace vael {

namespace {

QString orHome(const QString& folder) { return folder.isEmpty() || !QDir(folder).exists() ? QDir::homePath() : folder; }

}  // namespace

QString FileChooser::picturesFolder() {
    return orHome(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
}

std::optional<QString> LiveFileChooser::openFile(const QString& title, const QString& filters,
                                                 const QString& startFolder) {
    const QString path = QFileDialog::getOpenFileName(parent_, title, orHome(startFolder), filters);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::unique_ptr<QFileDialog> LiveFileChooser::folderDialog(QWidget* parent, const QString& title,
                                                           const QString& message, const QString& startFolder,
                                                           const QString& acceptLabel) {
    auto dialog = std::make_unique<QFileDialog>(parent, title, orHome(startFolder));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
    if (!acceptLabel.isEmpty()) dialog->setLabelText(QFileDialog::Accept, acceptLabel);
    if (!message.isEmpty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            auto* note = new QLabel(message);
            note->setObjectName("folderDialog.message");
            note->setTextFormat(Qt::PlainText);
            note->setWordWrap(true);
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
        dialog->setAccessibleDescription(message);
    }
    return dialog;
}

std::optional<QString> LiveFileChooser::chooseFolder(const QString& title, const QString& message,
                                                     const QString& startFolder, const QString& acceptLabel) {
    auto dialog = folderDialog(parent_, title, message, startFolder, acceptLabel);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    return dialog->selectedFiles().first();
}

}  // namespace vael
