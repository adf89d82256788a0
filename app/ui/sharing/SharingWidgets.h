#pragma once

// Small pieces every sharing screen uses: the error line, status labels and named controls.

#include <QLabel>
#include <QString>
#include <QWidget>

#include <optional>
#include <string>

#include "app/ui/widgets/ErrorLabel.h"

class QPushButton;

namespace vael {

// The sharing screens' error line: the design system's error label, inset 16 on either side, taking
// no room while there is no message.
class ErrorBar : public QWidget {
    Q_OBJECT

public:
    explicit ErrorBar(QWidget* parent = nullptr);
    void setMessage(const std::optional<std::string>& message);
    QString message() const { return label_->message(); }

private:
    ErrorLabel* label_;
};
ErrorBar* errorBar(const std::optional<std::string>& message, QWidget* parent = nullptr);

// A symbol and a text in one colour ("Access granted", "Added", ...), plain text.
QWidget* statusLabel(const char* symbol, const QString& text, QColor colour, const QString& objectName,
                     QWidget* parent = nullptr);

// Names a control for tests and assistive technology alike.
template <class W>
W* named(W* widget, const QString& objectName, const QString& accessibleName) {
    widget->setObjectName(objectName);
    widget->setAccessibleName(accessibleName);
    return widget;
}

// A fingerprint shown for reading aloud: monospace, selectable, on a rounded box. Screen readers
// hear "Fingerprint" as its name and the fingerprint itself as its value.
class FingerprintBox : public QLabel {
    Q_OBJECT

public:
    explicit FingerprintBox(QWidget* parent = nullptr);
};
QLabel* fingerprintBox(const QString& objectName, QWidget* parent = nullptr);

}  // namespace vael
