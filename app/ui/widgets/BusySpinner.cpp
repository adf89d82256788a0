#include "app/ui/widgets/BusySpinner.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVariantAnimation>

#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

BusySpinner::BusySpinner(int size, QWidget* parent) : QWidget(parent), size_(size) {
    setFixedSize(size, size);
    setAccessibleName("In progress");
    if (!MotionPreference::reduced()) {
        turn_ = new QVariantAnimation(this);
        turn_->setStartValue(0.0);
        turn_->setEndValue(360.0);
        turn_->setDuration(900);
        turn_->setLoopCount(-1);
        connect(turn_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            angle_ = value.toReal();
            update();
        });
    }
}

void BusySpinner::showEvent(QShowEvent*) {
    if (turn_) turn_->start();
}

void BusySpinner::hideEvent(QHideEvent*) {
    if (turn_) turn_->stop();
}

void BusySpinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal pen = std::max<qreal>(1.5, size_ / 8.0);
    const QRectF ring = QRectF(rect()).adjusted(pen, pen, -pen, -pen);
    p.setPen(QPen(VaelTheme::separator(palette()), pen));
    p.drawEllipse(ring);
    p.setPen(QPen(palette().color(QPalette::WindowText), pen, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, int((90 - angle_) * 16), 100 * 16);
}

BusySpinner* spinnerInButton(QPushButton* button, int size, QColor colour) {
    auto* spinner = new BusySpinner(size, button);
    QPalette light = spinner->palette();
    light.setColor(QPalette::WindowText, colour);
    spinner->setPalette(light);
    constexpr int kLead = 10;
    auto* inside = new QHBoxLayout(button);
    inside->setContentsMargins(kLead, 0, 0, 0);
    inside->addWidget(spinner, 0, Qt::AlignVCenter);
    inside->addStretch(1);
    const int text = button->fontMetrics().horizontalAdvance(button->text());
    button->setMinimumWidth(std::max(button->minimumWidth(), text + 2 * (kLead + size + 8)));
    spinner->hide();
    return spinner;
}

}  // namespace vael
