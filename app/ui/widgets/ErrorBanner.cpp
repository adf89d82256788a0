#include "app/ui/widgets/ErrorBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include "app/model/AppModel.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

ErrorBanner::ErrorBanner(AppModel& app, QWidget* parent) : QFrame(parent), app_(app) {
    setObjectName("errorBanner");
    setAccessibleName("Error");
    const QColor red = systemColor(SystemColor::red, palette());
    setStyleSheet(QStringLiteral("#errorBanner { background: rgba(%1, %2, %3, 0.12); border-bottom: 1px solid rgba(%1, %2, %3, 0.35); }")
                      .arg(red.red())
                      .arg(red.green())
                      .arg(red.blue()));

    auto* icon = new QLabel(this);
    icon->setPixmap(SymbolCatalog::pixmap("exclamationmark.triangle.fill", red, 16, devicePixelRatioF()));
    text_ = new QLabel(this);
    text_->setObjectName("errorBannerText");
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    close_ = new QToolButton(this);
    close_->setObjectName("errorBannerClose");
    close_->setAutoRaise(true);
    close_->setIcon(SymbolCatalog::icon("xmark", VaelTheme::secondaryText(palette()), 12));
    close_->setToolTip("Dismiss");
    close_->setAccessibleName("Dismiss");

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 8, 6);
    row->setSpacing(8);
    row->addWidget(icon);
    row->addWidget(text_, 1);
    row->addWidget(close_);

    connect(close_, &QToolButton::clicked, this, [this] { app_.setErrorMessage(std::nullopt); });
    connect(&app_, &AppModel::errorMessageChanged, this, &ErrorBanner::follow);
    follow();
}

void ErrorBanner::follow() {
    const auto& message = app_.errorMessage();
    text_->setText(message ? QString::fromStdString(*message) : QString());
    text_->setAccessibleName(text_->text());
    setVisible(message.has_value());
}

}  // namespace vael
