#pragma once

#include <QDialog>

namespace vael {

// A sheet: a window-modal dialog made for one request and deleted when it closes. Open it with
// open(); Escape is reject (the cancel action); the default action is QPushButton::setDefault, and
// no other button ever takes Return.
class Sheet : public QDialog {
public:
    // A width of 0 leaves the width to the layout.
    explicit Sheet(QWidget* parent, const QString& title = {}, int fixedWidth = 0);

protected:
    bool event(QEvent* event) override;

private:
    void quietSecondaryButtons();
};

}  // namespace vael
