#include "app/ui/window/SyncStatusPill.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/widgets/BusySpinner.h"
#include "app/ui/widgets/DisplayText.h"
#include "app/ui/design/SymbolCatalog.h"
#include "app/ui/design/VaelTheme.h"

namespace vael {

namespace {

constexpr int kMarkSize = 14;
// Room for our sentence around a server's reason.
constexpr std::size_t kShownServerTextCharacters = 2 * kShownNameCharacters;

QColor toneColor(SyncPillText::Tone tone, const QPalette& palette) {
    switch (tone) {
        case SyncPillText::Tone::green: return systemColor(SystemColor::green, palette);
        case SyncPillText::Tone::orange: return systemColor(SystemColor::orange, palette);
        case SyncPillText::Tone::secondary: break;
    }
    return VaelTheme::secondaryText(palette);
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

SyncStatusPill::SyncStatusPill(QWidget* parent)
    : QWidget(parent),
      mark_(new QLabel(this)),
      spinner_(new BusySpinner(kMarkSize, this)),
      text_(new QLabel(this)),
      suffix_(new QLabel(this)) {
    setObjectName("toolbar.syncPill");
    text_->setObjectName("toolbar.syncPill.status");
    suffix_->setObjectName("toolbar.syncPill.conflicts");
    mark_->setFixedSize(kMarkSize, kMarkSize);
    for (auto* label : {text_, suffix_}) {
        label->setTextFormat(Qt::PlainText);
        VaelFont::apply(label, TextStyle::caption, QFont::Medium);
    }
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(6);
    row->addWidget(mark_);
    row->addWidget(spinner_);
    row->addWidget(text_);
    row->addWidget(suffix_);
    setContent(syncPillText(AppSyncStatus::idle(), 0, std::nullopt, ""));
}

void SyncStatusPill::setContent(SyncPillText content) {
    content_ = std::move(content);
    mark_->setVisible(content_.symbol.has_value());
    spinner_->setVisible(!content_.symbol);
    text_->setText(QString::fromStdString(content_.text));
    suffix_->setVisible(content_.conflictSuffix.has_value());
    suffix_->setText(QString::fromStdString(content_.conflictSuffix.value_or("")));
    // The tooltip may carry a server's error text: one line, plain, of a readable length.
    const auto tooltip = shortName(content_.tooltip, kShownServerTextCharacters);
    setToolTip(plainToolTip(tooltip));
    setAccessibleName(text_->text() + (content_.conflictSuffix ? " " + suffix_->text() : QString()));
    setAccessibleDescription(tooltip);
    restyle();
}

void SyncStatusPill::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) restyle();
}

void SyncStatusPill::restyle() {
    const auto& palette = this->palette();
    if (content_.symbol) {
        mark_->setPixmap(SymbolCatalog::pixmap(*content_.symbol, toneColor(content_.symbolTone, palette), kMarkSize,
                                               devicePixelRatioF()));
    }
    setTextColor(text_, toneColor(content_.textTone, palette));
    setTextColor(suffix_, toneColor(SyncPillText::Tone::orange, palette));
}

}  // namespace vael
