#pragma once

#include <QColor>
#include <QWidget>

class QPushButton;
class QVariantAnimation;

namespace vael {

// The small progress indicator: a turning arc, or a still one under reduced motion.
class BusySpinner : public QWidget {
public:
    explicit BusySpinner(int size = 16, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {size_, size_}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    int size_;
    qreal angle_ = 0;
    QVariantAnimation* turn_ = nullptr;
};

// A hidden spinner inside a button's label, before its text, as a busy button shows it (white on a
// primary button); the button is made wide enough that its centred text never runs under it.
BusySpinner* spinnerInButton(QPushButton* button, int size = 14, QColor colour = Qt::white);

}  // namespace vael
