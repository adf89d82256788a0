#include "app/ui/sharing/SharingWidgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

ErrorBar::ErrorBar(QWidget* parent) : QWidget(parent), label_(new ErrorLabel(this)) {
    setObjectName("errorBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 0, 16, 0);
    row->addWidget(label_, 1);
    setVisible(false);
}

void ErrorBar::setMessage(const std::optional<std::string>& message) {
    label_->setMessage(message);
    setVisible(message.has_value());
}

ErrorBar* errorBar(const std::optional<std::string>& message, QWidget* parent) {
    auto* bar = new ErrorBar(parent);
    bar->setMessage(message);
    return bar;
}

QWidget* statusLabel(const char* symbol, const QString& text, QColor colour, const QString& objectName,
                     QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(objectName);
    box->setAccessibleName(text);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(box);
    icon->setPixmap(SymbolCatalog::pixmap(symbol, colour, 16, box->devicePixelRatioF()));
    auto* label = new QLabel(text, box);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    row->addStretch(1);
    row->addWidget(icon);
    row->addWidget(label);
    row->addStretch(1);
    return box;
}

namespace {

// The box as assistive technology sees it: static text named "Fingerprint" whose value is the
// fingerprint (a plain label would offer only one of the two).
class FingerprintAccessible final : public QAccessibleWidget {
public:
    explicit FingerprintAccessible(QWidget* box) : QAccessibleWidget(box, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return static_cast<const QLabel*>(widget())->text();
        if (t == QAccessible::Description) return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* fingerprintAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("vael::FingerprintBox") && object && object->isWidgetType())
        return new FingerprintAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

FingerprintBox::FingerprintBox(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(fingerprintAccessible);
        return true;
    }();
    (void)installed;
}

QLabel* fingerprintBox(const QString& objectName, QWidget* parent) {
    auto* label = new FingerprintBox(parent);
    label->setObjectName(objectName);
    label->setAccessibleName("Fingerprint");
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFont(VaelFont::secret());
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(12);
    label->setStyleSheet("QLabel { background: palette(alternate-base); border-radius: 8px; }");
    return label;
}

}  // namespace vael
