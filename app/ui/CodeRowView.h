#pragma once

#include <QWidget>

#include "app/model/AppModel.h"

class QLabel;

namespace vael {

class CopyButton;
class CountdownRing;
class ItemGlyph;

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

private:
    void refresh();

    AppModel::CodeRow row_;
    TimePoint date_;
    bool compact_;
    const Clock& clock_;
    QLabel* name_;
    QLabel* account_;
    QLabel* code_;
    CountdownRing* ring_;
    CopyButton* copy_;
    QWidget* invalid_;
};

// "Invalid seed" with a warning symbol, caption size, orange.
QWidget* invalidSeedLabel();

}  // namespace vael
