#pragma once

#include <QWidget>

#include "app/model/AppModel.h"

class QLabel;

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

private:
    void refresh();

    AppModel::CodeRow row_;
    TimePoint date_;
    bool compact_;
    const Clock& clock_;
    ItemGlyph* glyph_ = nullptr;
    bool highlighted_ = false;
    ElidedLabel* name_;
    ElidedLabel* account_;
    LiveCodeParts live_{};
};

// A symbol and a short text, caption size, orange.
QWidget* cautionNote(const std::string& symbol, const QString& text, const QString& name);
// "Invalid seed" with a warning triangle.
QWidget* invalidSeedLabel();

}  // namespace vael
