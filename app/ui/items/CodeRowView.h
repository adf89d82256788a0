#pragma once

#include <QWidget>

#include "app/model/AppModel.h"

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace vael {

class CopyButton;
class CountdownRing;
class ElidedLabel;
class ItemGlyph;
class RollingCodeLabel;
enum class TextStyle;

// What a live code shows at a date: the grouped code, its ring and "Copy code", or only "Invalid
// seed" when no code can be computed.
struct LiveCodeParts {
    RollingCodeLabel* code;
    CountdownRing* ring;
    CopyButton* copy;
    QWidget* invalid;
    void show(const std::string& seed, TimePoint date);
};
// The code's label in a text style at medium weight.
RollingCodeLabel* liveCodeLabel(TextStyle style);

// One code-bearing item: icon (unless compact), name and account, the live code with its ring and
// copy button, or "Invalid seed". Shows the code at the date it is given; the copy button reads the
// clock at the tap, so a tap just after a period boundary copies the new code.
class CodeRowView : public QWidget {
public:
    CodeRowView(AppModel::CodeRow row, TimePoint date, bool compact, TimerSource& timers, const Clock& clock,
                QWidget* parent = nullptr);
    void setRow(AppModel::CodeRow row);
    void setDate(TimePoint date);
    const AppModel::CodeRow& row() const { return row_; }
    bool isCompact() const { return compact_; }
    // What a screen reader says for the row: name, account, the code and the seconds left, or
    // "Invalid seed" in place of the code.
    QString accessibleText() const;
    // The copy button, hidden when the seed gives no code.
    CopyButton* copyButton() const { return live_.copy; }
    // Copies the code of this moment as a tap on the copy button does; nothing without a code.
    void copyCode();
    // On the list's selection highlight: text, ring, glyph and copy symbol in the highlighted-text
    // colour, so they keep their contrast against the brand colour.
    void setHighlighted(bool highlighted);

    // Code, ring and copy button beside the names, or on a line of their own below them where the
    // width would leave the names too few characters (a narrow column, a large font).
    void setStacked(bool stacked);
    bool isStacked() const { return stacked_; }
    // The width the row needs with the code beside the names, and the least it needs stacked.
    int sideBySideWidth() const;
    int narrowestWidth() const;

private:
    static constexpr int kSpacing = 12;
    static constexpr int kNamesGap = 8;
    // Characters of a name that must show beside the code; a longer name shortens to that.
    static constexpr int kReadableNameCharacters = 14;

    void refresh();
    int fixedPartsWidth() const;

    AppModel::CodeRow row_;
    TimePoint date_;
    bool compact_;
    const Clock& clock_;
    ItemGlyph* glyph_ = nullptr;
    bool highlighted_ = false;
    ElidedLabel* name_;
    ElidedLabel* account_;
    LiveCodeParts live_{};
    QVBoxLayout* lines_;
    QHBoxLayout* top_;
    QWidget* liveBox_;
    bool stacked_ = false;
};

// A symbol and a short text, caption size, orange.
QWidget* cautionNote(const std::string& symbol, const QString& text, const QString& name);
// "Invalid seed" with a warning triangle.
QWidget* invalidSeedLabel();

}  // namespace vael
