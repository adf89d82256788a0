#pragma once

#include <QDialog>
#include <QKeySequence>

#include <functional>

class QAction;

namespace vael {

// A dialog's title bar: a title and a close button, no minimise or maximise button.
void useDialogTitleBar(QDialog* dialog);

// A key of `widget`'s own (within `context`) that runs `run`, as an action named `objectName`.
QAction* addKeyAction(QWidget* widget, const char* objectName, const QList<QKeySequence>& keys,
                      Qt::ShortcutContext context, std::function<void()> run);

// Escape closes `window` (a small window or popup that is no dialog, so has no Escape of its own).
void closeOnEscape(QWidget* window);

// A sheet: a window-modal dialog made for one request and deleted when it closes. Open it with
// open(); Escape is reject (the cancel action); the default action is QPushButton::setDefault, and
// no other button ever takes Return. It carries no minimise or maximise button.
class Sheet : public QDialog {
public:
    // A width of 0 leaves the width to the layout.
    explicit Sheet(QWidget* parent, const QString& title = {}, int fixedWidth = 0);

    // Fixes the sheet at its designed size, or larger where its content needs more at the current
    // font: a scroll area inside counts at its content's full height, so it scrolls only where
    // the screen is too small to show everything.
    void fitDesignedSize(QSize designed);

protected:
    bool event(QEvent* event) override;

private:
    void quietSecondaryButtons();
};

}  // namespace vael
