#include "app/ui/widgets/ErrorLabel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/design/MotionPreference.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

ErrorLabel::ErrorLabel(QWidget* parent) : QWidget(parent), icon_(new QLabel), text_(new QLabel) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(icon_, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setFont(VaelFont::style(TextStyle::caption));
    restyle();
    hide();
}

void ErrorLabel::setMessage(const std::optional<std::string>& message) {
    setMessage(message ? QString::fromStdString(*message) : QString());
}

void ErrorLabel::setMessage(const QString& message) {
    const bool appearing = isHidden() && !message.isEmpty();
    text_->setText(message);
    setAccessibleName(message);
    text_->setAccessibleName(message);
    setVisible(!message.isEmpty());
    if (appearing) MotionPreference::fadeIn(this);
}

QString ErrorLabel::message() const { return isHidden() ? QString() : text_->text(); }

void ErrorLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) restyle();
    QWidget::changeEvent(event);
}

void ErrorLabel::restyle() {
    const QColor red = systemColor(SystemColor::red, palette());
    const int side = QFontMetrics(text_->font()).height();
    icon_->setPixmap(SymbolCatalog::pixmap("exclamationmark.triangle.fill", red, side, devicePixelRatioF()));
    QPalette pal = text_->palette();
    pal.setColor(QPalette::WindowText, red);
    text_->setPalette(pal);
}

}  // namespace vael
