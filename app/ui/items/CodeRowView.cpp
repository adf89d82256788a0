#include "app/ui/items/CodeRowView.h"
#include "app/ui/widgets/DisplayText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

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
    auto* line = new QHBoxLayout(this);
    const int vertical = compact ? 2 : 4;
    line->setContentsMargins(compact ? 8 : 4, vertical, compact ? 8 : 4, vertical);
    line->setSpacing(12);
    if (!compact) {
        glyph_ = new ItemGlyph("timer", systemColor(SystemColor::blue), 30);
        glyph_->setObjectName("codeGlyph");
        line->addWidget(glyph_);
    }
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    name_ = rowLine(TextStyle::body, QFont::Medium, false, "codeName");
    account_ = rowLine(TextStyle::caption, QFont::Normal, true, "codeAccount");
    names->addWidget(name_);
    names->addWidget(account_);
    line->addLayout(names, 1);
    line->addSpacing(8);

    live_.code = liveCodeLabel(TextStyle::title3);
    live_.code->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    line->addWidget(live_.code);
    live_.ring = new CountdownRing;
    line->addWidget(live_.ring);
    live_.copy = new CopyButton(
        "Copy code",
        [this] { return QString::fromStdString(TOTPDisplay::codeAt(row_.otpFieldValue, clock_.now()).value_or("")); }, timers);
    live_.copy->setObjectName("copyCode");
    line->addWidget(live_.copy);
    live_.invalid = invalidSeedLabel();
    line->addWidget(live_.invalid);
    refresh();
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
    name_->setFullText(displayName(row_.name));
    const bool hasAccount = row_.account && !row_.account->empty();
    account_->setFullText(hasAccount ? QString::fromStdString(*row_.account) : QString());
    account_->setVisible(hasAccount);
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
