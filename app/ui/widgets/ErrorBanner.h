#pragma once

#include <QFrame>

class QLabel;
class QToolButton;

namespace vael {

class AppModel;

// The model's failure sentence across the top of the vault window, so that a failed move, rename
// or delete never looks done. Hidden while there is none; closing it clears the model's message.
class ErrorBanner final : public QFrame {
    Q_OBJECT
public:
    explicit ErrorBanner(AppModel& app, QWidget* parent = nullptr);

private:
    void follow();

    AppModel& app_;
    QLabel* text_;
    QToolButton* close_;
};

}  // namespace vael
