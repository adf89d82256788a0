#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

namespace vael {

// Asks the user for a file or a folder; nothing when they cancel. Tests hand in a scripted one.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // `filters` as QFileDialog takes them, e.g. "Images (*.png *.jpg)".
    virtual std::optional<QString> openFile(const QString& title, const QString& filters) = 0;
    virtual std::optional<QString> chooseFolder(const QString& title, const QString& startFolder,
                                                const QString& acceptLabel) = 0;
};

// The desktop's file dialog, modal over `parent`.
class LiveFileChooser final : public FileChooser {
public:
    explicit LiveFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<QString> openFile(const QString& title, const QString& filters) override;
    std::optional<QString> chooseFolder(const QString& title, const QString& startFolder,
                                        const QString& acceptLabel) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace vael
