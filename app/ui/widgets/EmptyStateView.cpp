#include "app/ui/widgets/EmptyStateView.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/widgets/Labels.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

EmptyStateView::EmptyStateView(const std::string& symbol, const QString& title, const QString& description,
                               QWidget* parent)
    : QWidget(parent), symbol_(symbol), icon_(new QLabel), title_(new QLabel), description_(new QLabel) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->addStretch(1);
    icon_->setAlignment(Qt::AlignCenter);
    column->addWidget(icon_);
    for (auto* label : {title_, description_}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        column->addWidget(label);
    }
    title_->setObjectName("emptyState.title");
    description_->setObjectName("emptyState.description");
    VaelFont::apply(title_, TextStyle::title3, QFont::DemiBold);
    VaelFont::apply(description_, TextStyle::callout);
    makeSecondary(description_);
    column->addStretch(1);
    setTexts(title, description);
    paintIcon();
}

void EmptyStateView::paintIcon() {
    icon_->setPixmap(SymbolCatalog::pixmap(symbol_, VaelTheme::secondaryText(palette()), 44, devicePixelRatioF()));
}

void EmptyStateView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) paintIcon();
    QWidget::changeEvent(event);
}

void EmptyStateView::setTexts(const QString& title, const QString& description) {
    title_->setText(title);
    title_->setAccessibleName(title);
    description_->setText(description);
    description_->setAccessibleName(description);
    description_->setVisible(!description.isEmpty());
}

}  // namespace vael
