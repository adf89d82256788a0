#pragma once

// Design tokens: brand colours, palette-derived colour roles, system colours, tier styles, field
// symbols, the secret fonts and the one text-style table every screen uses.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace vael {

// A colour with a light and a dark value, resolved from the palette it is drawn with.
struct DynamicColor {
    QColor light;
    QColor dark;
    QColor resolve(const QPalette& palette) const;
    bool operator==(const DynamicColor&) const = default;
};

namespace VaelTheme {

// Fixed sRGB, the same in light and dark.
QColor brand();
QColor brandDeep();

// Dark appearance: the window colour's lightness is below 128.
bool isDark(const QPalette& palette);

// Colour roles, read from the palette at paint time.
QColor window(const QPalette& palette);
QColor control(const QPalette& palette);
QColor field(const QPalette& palette);
QColor separator(const QPalette& palette);      // window text at about 12 % alpha
QColor secondaryText(const QPalette& palette);  // the palette's placeholder text
QColor accent(const QPalette& palette);         // the palette's highlight

}  // namespace VaelTheme

// The system colours, each a light/dark pair.
enum class SystemColor { blue, orange, green, red, purple, pink };
DynamicColor systemColor(SystemColor color);
QColor systemColor(SystemColor color, const QPalette& palette);

// How one AI access tier is presented.
struct TierStyle {
    QString id;  // "injectable", "human_gated" or "ai_hidden"
    QString title;
    std::string icon;  // symbol name
    DynamicColor tint;
    QString blurb;

    static const TierStyle& injectable();
    static const TierStyle& humanGated();
    static const TierStyle& aiHidden();
    // injectable, humanGated, aiHidden: the order of chips and sidebar rows.
    static const std::vector<TierStyle>& all();
    // The style with exactly this id; any other text gives humanGated.
    static const TierStyle& of(std::string_view id);
    static const TierStyle& of(const QString& id);

    bool operator==(const TierStyle&) const = default;
};

namespace FieldGlyph {
// The symbol for a field, chosen by keywords in its lower-cased label; "lock.fill" when none match.
std::string symbol(std::string_view label);
}  // namespace FieldGlyph

// The shared text styles, relative to the application font.
enum class TextStyle { body, callout, caption, caption2, headline, title3, title2, title };

namespace VaelFont {
// The fixed-width system font at body and callout size.
QFont secret();
QFont secretSmall();
// A text style of `base` (the application font when not given).
QFont style(TextStyle style, QFont::Weight weight = QFont::Normal);
QFont style(TextStyle style, const QFont& base, QFont::Weight weight = QFont::Normal);
// Sets the widget's font to the style.
void apply(QWidget* widget, TextStyle style, QFont::Weight weight = QFont::Normal);
}  // namespace VaelFont

}  // namespace vael
