#include "app/ui/design/VaelTheme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>
#include <array>

#include "app/agent/ops/AgentText.h"

namespace vael {

namespace {

QColor rgb(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b), 1.0f); }

}  // namespace

QColor DynamicColor::resolve(const QPalette& palette) const { return VaelTheme::isDark(palette) ? dark : light; }

namespace VaelTheme {

QColor brand() { return rgb(0.42, 0.36, 0.93); }
QColor brandDeep() { return rgb(0.28, 0.22, 0.74); }

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

QColor window(const QPalette& palette) { return palette.color(QPalette::Window); }
QColor control(const QPalette& palette) { return palette.color(QPalette::Base); }
QColor field(const QPalette& palette) { return palette.color(QPalette::Base); }
QColor separator(const QPalette& palette) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.12f);
    return color;
}
QColor secondaryText(const QPalette& palette) { return palette.color(QPalette::PlaceholderText); }
QColor accent(const QPalette& palette) { return palette.color(QPalette::Highlight); }

}  // namespace VaelTheme

DynamicColor systemColor(SystemColor color) {
    switch (color) {
        case SystemColor::blue:
            return {QColor(0, 122, 255), QColor(10, 132, 255)};
        case SystemColor::orange:
            return {QColor(255, 149, 0), QColor(255, 159, 10)};
        case SystemColor::green:
            return {QColor(40, 167, 69), QColor(48, 209, 88)};
        case SystemColor::red:
            return {QColor(224, 36, 36), QColor(255, 69, 58)};
        case SystemColor::purple:
            return {QColor(175, 82, 222), QColor(191, 90, 242)};
        case SystemColor::pink:
            return {QColor(255, 45, 85), QColor(255, 55, 95)};
    }
    return {};
}

QColor systemColor(SystemColor color, const QPalette& palette) { return systemColor(color).resolve(palette); }

const TierStyle& TierStyle::injectable() {
    static const TierStyle style{
        "injectable", "AI-Usable", "bolt.horizontal.fill", systemColor(SystemColor::blue),
        "Agents can use this value at run time. It's injected server-side and never shown to the model."};
    return style;
}

const TierStyle& TierStyle::humanGated() {
    static const TierStyle style{"human_gated", "Gated", "hand.raised.fill", systemColor(SystemColor::orange),
                                 "Visible to agents as metadata only. Revealing the value requires your approval."};
    return style;
}

const TierStyle& TierStyle::aiHidden() {
    static const TierStyle style{"ai_hidden", "Hidden", "eye.slash.fill",
                                 DynamicColor{rgb(0.36, 0.40, 0.48), rgb(0.62, 0.66, 0.74)},
                                 "Invisible to every agent. This secret never leaves your vault through the MCP."};
    return style;
}

const std::vector<TierStyle>& TierStyle::all() {
    static const std::vector<TierStyle> styles{injectable(), humanGated(), aiHidden()};
    return styles;
}

const TierStyle& TierStyle::of(std::string_view id) { return of(QString::fromUtf8(id.data(), qsizetype(id.size()))); }

const TierStyle& TierStyle::of(const QString& id) {
    for (const auto& style : all())
        if (style.id == id) return style;
    return humanGated();
}

namespace FieldGlyph {

std::string symbol(std::string_view label) {
    struct Rule {
        std::string_view keyword;
        const char* symbol;
    };
    static constexpr std::array<Rule, 12> rules{{
        {"user", "person.fill"},
        {"login", "person.fill"},
        {"email", "person.fill"},
        {"token", "key.horizontal.fill"},
        {"api", "key.horizontal.fill"},
        {"key", "key.horizontal.fill"},
        {"otp", "number"},
        {"code", "number"},
        {"2fa", "number"},
        {"card", "creditcard.fill"},
        {"pan", "creditcard.fill"},
        {"note", "note.text"},
    }};
    const std::string lower = lowercased(label);
    for (const auto& rule : rules)
        if (lower.find(rule.keyword) != std::string::npos) return rule.symbol;
    return "lock.fill";
}

}  // namespace FieldGlyph

namespace VaelFont {

namespace {

qreal pointSize(const QFont& font) { return font.pointSizeF() > 0 ? font.pointSizeF() : 10.0; }

}  // namespace

QFont style(TextStyle textStyle, const QFont& base, QFont::Weight weight) {
    QFont font = base;
    const qreal body = pointSize(base);
    qreal size = body;
    switch (textStyle) {
        case TextStyle::body:
            break;
        case TextStyle::callout:
            size = body - 1;
            break;
        case TextStyle::caption:
        case TextStyle::caption2:
            size = std::max<qreal>(body - 2, 8);
            break;
        case TextStyle::headline:
            if (weight == QFont::Normal) weight = QFont::Bold;
            break;
        case TextStyle::title3:
            size = body + 2;
            break;
        case TextStyle::title2:
            size = body + 4;
            break;
        case TextStyle::title:
            size = body + 9;
            break;
    }
    font.setPointSizeF(size);
    font.setWeight(weight);
    return font;
}

QFont style(TextStyle textStyle, QFont::Weight weight) { return style(textStyle, QApplication::font(), weight); }

void apply(QWidget* widget, TextStyle textStyle, QFont::Weight weight) { widget->setFont(style(textStyle, weight)); }

QFont secret() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize(QApplication::font()));
    return font;
}

QFont secretSmall() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize(QApplication::font()) - 1);
    return font;
}

}  // namespace VaelFont

}  // namespace vael
