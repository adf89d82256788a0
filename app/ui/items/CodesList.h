#pragma once

#include <QWidget>

#include <optional>
#include <vector>

#include "app/model/AppModel.h"
#include "app/ui/widgets/SecondTicker.h"

class QListWidget;
class QStackedLayout;

namespace vael {

class CodeRowView;
class EmptyStateView;

// The live codes of several items, in the order given, all redrawn on one tick a second (no tick
// while the list is empty, which shows "No codes yet"). Rows are kept by item id across setCodes:
// only the rows of codes that came, went or moved are made or dropped. A hidden list makes its rows
// when it is first shown or asked for them. A selectable list lets one row be chosen at a time.
class CodesList : public QWidget {
    Q_OBJECT

public:
    CodesList(std::vector<AppModel::CodeRow> codes, bool compact, bool selectable, TimerSource& timers,
              const Clock& clock, QWidget* parent = nullptr);

    void setCodes(std::vector<AppModel::CodeRow> codes);
    const std::vector<AppModel::CodeRow>& codes() const { return codes_; }
    std::optional<Uuid> selection() const { return selection_; }
    // Selects the row with that id (nothing for an id not listed); signals only on change.
    void setSelection(std::optional<Uuid> id);
    bool isTicking() const { return ticker_.isActive(); }
    std::vector<CodeRowView*> rows() const;
    // The rows made and shown now; never makes them (screen readers ask at any time).
    std::vector<CodeRowView*> shownRows() const;

protected:
    void showEvent(QShowEvent* event) override;

signals:
    void selectionChanged(std::optional<vael::Uuid> id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tick();
    // The row's text for screen readers, on its list entry too, and Tab from the list through the
    // rows' copy buttons in their order.
    void describeRows() const;
    void syncSelectionFromList();
    // Brings the row widgets in line with codes_.
    void buildRows() const;
    void insertRow(int at, const AppModel::CodeRow& code) const;
    // Side by side or stacked, as the list's width allows, and each entry as tall as its row.
    void arrangeRows() const;
    CodeRowView* rowAt(int at) const;
    bool listed(const Uuid& id) const;

    std::vector<AppModel::CodeRow> codes_;
    bool compact_;
    bool selectable_;
    TimerSource& timers_;
    const Clock& clock_;
    SecondTicker ticker_;
    std::optional<Uuid> selection_;
    QStackedLayout* stack_;
    EmptyStateView* empty_;
    QListWidget* list_;
    mutable bool rowsStale_ = false;  // codes_ changed while hidden: the rows wait for a show
};

}  // namespace vael
