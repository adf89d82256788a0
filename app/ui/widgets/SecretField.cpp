#include "app/ui/widgets/SecretField.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/VaelComponents.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

// The value's box: the field colour in a rounded rectangle with a hairline border.
class SecretBox final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(VaelTheme::field(palette()));
        const QPen outline = hairline(VaelTheme::separator(palette()), *this);
        p.setPen(outline);
        p.drawRoundedRect(hairlineBox(rect(), outline), 8, 8);
    }
};

}  // namespace

SecretField::SecretField(const QString& caption, TimerSource& timers, QWidget* parent)
    : QWidget(parent), value_(new QLabel) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* title = new QLabel(caption.toUpper());
    title->setTextFormat(Qt::PlainText);
    VaelFont::apply(title, TextStyle::caption2, QFont::DemiBold);
    makeSecondary(title);
    column->addWidget(title);

    auto* box = new SecretBox;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(12, 8, 8, 8);
    value_->setTextFormat(Qt::PlainText);
    value_->setFont(VaelFont::secretSmall());
    value_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value_->setWordWrap(true);
    value_->setAccessibleDescription(caption);
    row->addWidget(value_, 1);
    copy_ = new CopyButton(
        "Copy", [this] { return value_->text(); }, timers);
    copy_->setSpokenName("Copy " + caption.toLower());
    row->addWidget(copy_, 0, Qt::AlignVCenter);
    column->addWidget(box);
    setAccessibleName(caption);
    setFocusProxy(value_);
}

SecretField::~SecretField() { setValue(QString()); }

void SecretField::setValue(const QString& value) {
    // Once the label and its accessible name let go of the old value, this is its last holder.
    QString old = value_->text();
    value_->setText(value);
    value_->setAccessibleName(value);
    if (old.isDetached()) std::fill(old.begin(), old.end(), QChar(u'\0'));
}

QString SecretField::value() const { return value_->text(); }

}  // namespace vael
