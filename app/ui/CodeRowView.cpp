#include "app/ui/CodeRowView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/items/TOTPDisplay.h"
#include "app/ui/CopyButton.h"
#include "app/ui/CountdownRing.h"
#include "app/ui/Labels.h"
#include "app/ui/design/VaelComponents.h"
#include "crypto/TOTP.h"

namespace vael {

namespace {

std::optional<std::string> codeAt(const std::string& seed, TimePoint date) {
    try {
        return TOTP::code(seed, date);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

QWidget* invalidSeedLabel() {
    auto* box = new QWidget;
    box->setObjectName("invalidSeed");
    box->setAccessibleName("Invalid seed");
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const QColor orange = systemColor(SystemColor::orange, box->palette());
    row->addWidget(symbolLabel("exclamationmark.triangle.fill", orange, 12));
    auto* text = styledLabel("Invalid seed", TextStyle::caption);
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, orange);
    text->setPalette(palette);
    row->addWidget(text);
    return box;
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
        auto* glyph = new ItemGlyph("timer", systemColor(SystemColor::blue), 30);
        glyph->setObjectName("codeGlyph");
        line->addWidget(glyph);
    }
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    name_ = styledLabel({}, TextStyle::body, QFont::Medium);
    name_->setObjectName("codeName");
    account_ = styledLabel({}, TextStyle::caption, QFont::Normal, true);
    account_->setObjectName("codeAccount");
    names->addWidget(name_);
    names->addWidget(account_);
    line->addLayout(names, 1);
    line->addSpacing(8);

    code_ = styledLabel({}, TextStyle::title3, QFont::Medium);
    code_->setObjectName("codeValue");
    line->addWidget(code_);
    ring_ = new CountdownRing;
    line->addWidget(ring_);
    copy_ = new CopyButton(
        "Copy code",
        [this] { return QString::fromStdString(codeAt(row_.otpFieldValue, clock_.now()).value_or("")); }, timers);
    copy_->setObjectName("copyCode");
    line->addWidget(copy_);
    invalid_ = invalidSeedLabel();
    line->addWidget(invalid_);
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
    const auto name = QString::fromStdString(row_.name);
    name_->setText(name);
    name_->setAccessibleName(name);
    const bool hasAccount = row_.account && !row_.account->empty();
    const auto account = hasAccount ? QString::fromStdString(*row_.account) : QString();
    account_->setText(account);
    account_->setAccessibleName(account);
    account_->setVisible(hasAccount);

    const auto code = codeAt(row_.otpFieldValue, date_);
    const auto shown = code ? QString::fromStdString(TOTPDisplay::grouped(*code)) : QString();
    code_->setText(shown);
    code_->setAccessibleName(shown);
    if (code) ring_->setTime(row_.otpFieldValue, date_);
    code_->setVisible(code.has_value());
    ring_->setVisible(code.has_value());
    copy_->setVisible(code.has_value());
    invalid_->setVisible(!code);
}

}  // namespace vael
