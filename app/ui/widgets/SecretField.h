#pragma once

#include <QWidget>

#include "app/model/ModelTime.h"

class QLabel;

namespace vael {

class CopyButton;

// A secret shown in plain sight: the caption in upper case over a box with the selectable value
// (fixed-width font) and a copy button that copies exactly the shown text. A screen reader hears
// the value itself, and the copy button as "Copy " and the caption.
class SecretField : public QWidget {
public:
    SecretField(const QString& caption, TimerSource& timers, QWidget* parent = nullptr);
    // Overwrites the value it alone still holds.
    ~SecretField() override;
    void setValue(const QString& value);
    QString value() const;
    CopyButton* copyButton() const { return copy_; }

private:
    QLabel* value_;
    CopyButton* copy_;
};

}  // namespace vael
