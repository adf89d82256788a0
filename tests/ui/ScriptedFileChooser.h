#pragma once

// A file chooser that answers from a script and records what it was asked.

#include <deque>
#include <optional>
#include <vector>

#include "app/ui/widgets/FileChooser.h"

namespace vael::testing {

class ScriptedFileChooser final : public FileChooser {
public:
    struct Request {
        QString title;
        QString filtersOrStartFolder;
        QString acceptLabel;  // folders only
        QString startFolder;  // files: where the dialog opens
        QString message;      // folders only
    };

    // The next question's answer; nothing is a cancel. Unscripted questions are cancelled.
    void answer(std::optional<QString> path) { answers_.push_back(std::move(path)); }

    std::optional<QString> openFile(const QString& title, const QString& filters, const QString& startFolder) override {
        files.push_back({title, filters, {}, startFolder, {}});
        return next();
    }
    std::optional<QString> chooseFolder(const QString& title, const QString& message, const QString& startFolder,
                                        const QString& acceptLabel) override {
        folders.push_back({title, startFolder, acceptLabel, {}, message});
        return next();
    }

    std::vector<Request> files;
    std::vector<Request> folders;

private:
    std::optional<QString> next() {
        if (answers_.empty()) return std::nullopt;
        auto path = std::move(answers_.front());
        answers_.pop_front();
        return path;
    }
    std::deque<std::optional<QString>> answers_;
};

}  // namespace vael::testing
