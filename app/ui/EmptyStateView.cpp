#include "app/ui/EmptyStateView.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

EmptyStateView::EmptyStateView(const std::string& symbol, const QString& title, const QString& description,
                               QWidget* parent)
    : QWidget(parent), title_(new QLabel), description_(new QLabel) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->addStretch(1);
    auto* icon = new QLabel;
    icon->setPixmap(SymbolCatalog::pixmap(symbol, VaelTheme::secondaryText(palette()), 44, devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    column->addWidget(icon);
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
    QPalette secondary = description_->palette();
    secondary.setColor(QPalette::WindowText, VaelTheme::secondaryText(palette()));
    description_->setPalette(secondary);
    column->addStretch(1);
    setTexts(title, description);
}

void EmptyStateView::setTexts(const QString& title, const QString& description) {
    title_->setText(title);
    title_->setAccessibleName(title);
    description_->setText(description);
    description_->setAccessibleName(description);
    description_->setVisible(!description.isEmpty());
}

}  // namespace vael
