#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QFileDialog;

namespace vael {

// Asks the user for a file or a folder; nothing when they cancel. Tests hand in a scripted one.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // `filters` as QFileDialog takes them, e.g. "Images (*.png *.jpg)"; an empty start folder is
    // the home folder, never the process's working folder.
    virtual std::optional<QString> openFile(const QString& title, const QString& filters,
                                            const QString& startFolder = {}) = 0;
    // `message` says what to choose, inside the dialog; the title stays short.
    virtual std::optional<QString> chooseFolder(const QString& title, const QString& message,
                                                const QString& startFolder, const QString& acceptLabel) = 0;

    // The user's pictures folder where there is one, else home.
    static QString picturesFolder();
};

// The desktop's file dialog, modal over `parent`.
class LiveFileChooser final : public FileChooser {
public:
    explicit LiveFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<QString> openFile(const QString& title, const QString& filters,
                                    const QString& startFolder = {}) override;
    std::optional<QString> chooseFolder(const QString& title, const QString& message, const QString& startFolder,
                                        const QString& acceptLabel) override;

    // The folder dialog as chooseFolder shows it: Qt's own dialog, so the message shows inside it,
    // hidden folders such as ~/.ssh are listed, and a typed path can be accepted.
    static std::unique_ptr<QFileDialog> folderDialog(QWidget* parent, const QString& title, const QString& message,
                                                     const QString& startFolder, const QString& acceptLabel);

private:
    QPointer<QWidget> parent_;
};

}  // namespace vael
