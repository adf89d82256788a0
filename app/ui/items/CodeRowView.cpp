#include "app/ui/items/CodeRowView.h"
#include "app/ui/widgets/DisplayText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "app/items/TOTPDisplay.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/items/CountdownRing.h"
#include "app/ui/items/RollingCodeLabel.h"
#include "app/ui/widgets/ElidedLabel.h"
#include "app/ui/widgets/Labels.h"
#include "app/ui/design/VaelComponents.h"

namespace vael {

namespace {

// One line of a row's names: shortened with "…" to the column it gets, never selectable, so a
// click on it selects the row.
ElidedLabel* rowLine(TextStyle style, QFont::Weight weight, bool secondary, const char* name) {
    auto* label = new ElidedLabel(1);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setFont(VaelFont::style(style, weight));
    if (secondary) makeSecondary(label);
    // A few characters stay readable however narrow the column.
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 6);
    return label;
}

}  // namespace

QWidget* cautionNote(const std::string& symbol, const QString& text, const QString& name) {
    auto* box = new QWidget;
    box->setObjectName(name);
    box->setAccessibleName(text);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const QColor orange = systemColor(SystemColor::orange, box->palette());
    row->addWidget(symbolLabel(symbol, orange, 12));
    auto* label = styledLabel(text, TextStyle::caption);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, orange);
    label->setPalette(palette);
    row->addWidget(label);
    row->addStretch(1);
    return box;
}

QWidget* invalidSeedLabel() { return cautionNote("exclamationmark.triangle.fill", "Invalid seed", "invalidSeed"); }

void LiveCodeParts::show(const std::string& seed, TimePoint date) {
    const auto value = TOTPDisplay::codeAt(seed, date);
    const auto shown = value ? QString::fromStdString(TOTPDisplay::grouped(*value)) : QString();
    code->setCode(shown);
    if (value) ring->setTime(seed, date);
    code->setVisible(value.has_value());
    ring->setVisible(value.has_value());
    copy->setVisible(value.has_value());
    invalid->setVisible(!value);
}

RollingCodeLabel* liveCodeLabel(TextStyle style) {
    auto* label = new RollingCodeLabel;
    label->setObjectName("codeValue");
    label->setFont(VaelFont::style(style, QFont::Medium));
    return label;
}

CodeRowView::CodeRowView(AppModel::CodeRow row, TimePoint date, bool compact, TimerSource& timers,
                         const Clock& clock, QWidget* parent)
    : QWidget(parent), row_(std::move(row)), date_(date), compact_(compact), clock_(clock) {
    setObjectName("codeRow");
    lines_ = new QVBoxLayout(this);
    const int vertical = compact ? 2 : 4;
    lines_->setContentsMargins(compact ? 8 : 4, vertical, compact ? 8 : 4, vertical);
    lines_->setSpacing(2);
    top_ = new QHBoxLayout;
    top_->setSpacing(kSpacing);
    lines_->addLayout(top_);
    if (!compact) {
        glyph_ = new ItemGlyph("timer", systemColor(SystemColor::blue), 30);
        glyph_->setObjectName("codeGlyph");
        top_->addWidget(glyph_);
    }
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    name_ = rowLine(TextStyle::body, QFont::Medium, false, "codeName");
    account_ = rowLine(TextStyle::caption, QFont::Normal, true, "codeAccount");
    names->addWidget(name_);
    names->addWidget(account_);
    top_->addLayout(names, 1);
    top_->addSpacing(kNamesGap);

    live_.code = liveCodeLabel(TextStyle::title3);
    live_.code->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    live_.ring = new CountdownRing;
    live_.copy = new CopyButton(
        "Copy code",
        [this] { return QString::fromStdString(TOTPDisplay::codeAt(row_.otpFieldValue, clock_.now()).value_or("")); }, timers);
    live_.copy->setObjectName("copyCode");
    live_.invalid = invalidSeedLabel();
    liveBox_ = new QWidget(this);
    liveBox_->setObjectName("codeLive");
    auto* live = new QHBoxLayout(liveBox_);
    live->setContentsMargins(0, 0, 0, 0);
    live->setSpacing(kSpacing);
    for (auto* part : {static_cast<QWidget*>(live_.code), static_cast<QWidget*>(live_.ring),
                       static_cast<QWidget*>(live_.copy), live_.invalid})
        live->addWidget(part);
    top_->addWidget(liveBox_);
    refresh();
}

int CodeRowView::fixedPartsWidth() const {
    const auto margins = lines_->contentsMargins();
    return margins.left() + margins.right() + (glyph_ ? glyph_->sizeHint().width() + kSpacing : 0);
}

int CodeRowView::sideBySideWidth() const {
    // The names need room for a readable part of themselves, not all of a long one.
    const int names = std::max(name_->fontMetrics().horizontalAdvance(name_->fullText()),
                               account_->isHidden() ? 0 : account_->fontMetrics().horizontalAdvance(account_->fullText()));
    const int readable = name_->fontMetrics().averageCharWidth() * kReadableNameCharacters;
    return fixedPartsWidth() + std::min(names, readable) + kNamesGap + kSpacing + liveBox_->sizeHint().width();
}

int CodeRowView::narrowestWidth() const {
    const auto margins = lines_->contentsMargins();
    return std::max(fixedPartsWidth() + name_->minimumWidth(),
                    margins.left() + margins.right() + liveBox_->sizeHint().width());
}

void CodeRowView::setStacked(bool stacked) {
    if (stacked == stacked_) return;
    stacked_ = stacked;
    if (stacked) {
        top_->removeWidget(liveBox_);
        lines_->addWidget(liveBox_, 0, Qt::AlignRight);
    } else {
        lines_->removeWidget(liveBox_);
        top_->addWidget(liveBox_);
    }
    updateGeometry();
}

void CodeRowView::setRow(AppModel::CodeRow row) {
    row_ = std::move(row);
    refresh();
}

void CodeRowView::setDate(TimePoint date) {
    date_ = date;
    refresh();
}

void CodeRowView::refresh() {
    name_->setFullText(shortName(row_.name));
    const bool hasAccount = row_.account && !row_.account->empty();
    account_->setFullText(hasAccount ? shortName(*row_.account) : QString());
    account_->setVisible(hasAccount);
    // Every row has one: the screen reader says which code it copies.
    live_.copy->setSpokenName("Copy code for " + name_->fullText());
    live_.show(row_.otpFieldValue, date_);
    setAccessibleName(accessibleText());
}

QString CodeRowView::accessibleText() const {
    QStringList parts{name_->fullText()};
    if (!account_->fullText().isEmpty()) parts << account_->fullText();
    if (!live_.invalid->isHidden()) {
        parts << live_.invalid->accessibleName();
    } else {
        parts << live_.code->text() << live_.ring->accessibleName();
    }
    return parts.join(", ");
}

void CodeRowView::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    if (!highlighted) {
        setPalette(QPalette());
        if (glyph_) glyph_->setTint(systemColor(SystemColor::blue));
        return;
    }
    QPalette on = parentWidget() ? parentWidget()->palette() : palette();
    const QColor text = on.color(QPalette::HighlightedText);
    QColor soft = text;
    soft.setAlphaF(0.8f);
    on.setColor(QPalette::WindowText, text);
    on.setColor(QPalette::Text, text);
    on.setColor(QPalette::ButtonText, text);
    on.setColor(QPalette::PlaceholderText, soft);
    on.setColor(QPalette::Highlight, text);  // the ring's arc
    setPalette(on);
    if (glyph_) glyph_->setTint({text, text});
}

void CodeRowView::copyCode() {
    if (!live_.copy->isHidden()) live_.copy->click();
}

}  // namespace vael
