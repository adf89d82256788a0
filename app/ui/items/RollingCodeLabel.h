#pragma once

#include <QLabel>

class QVariantAnimation;

namespace vael {

// A live code's text. The new code is the label's text at once (for selection and screen readers);
// on screen it rolls up into place over the old one, counting up, unless motion is reduced.
class RollingCodeLabel : public QLabel {
public:
    explicit RollingCodeLabel(QWidget* parent = nullptr);
    void setCode(const QString& code);
    bool isRolling() const;

    static constexpr int kRollMotionMs = 500;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString previous_;
    double progress_ = 1.0;
    QVariantAnimation* roll_ = nullptr;
};

}  // namespace vael
