#include "app/ui/items/CodesList.h"

#include <QListWidget>
#include <QStackedLayout>

#include <algorithm>
#include <unordered_set>

#include "app/ui/items/CodeRowView.h"
#include "app/ui/widgets/EmptyStateView.h"

namespace vael {

namespace {

constexpr int kIdRole = Qt::UserRole;

}  // namespace

CodesList::CodesList(std::vector<AppModel::CodeRow> codes, bool compact, bool selectable, TimerSource& timers,
                     const Clock& clock, QWidget* parent)
    : QWidget(parent),
      compact_(compact),
      selectable_(selectable),
      timers_(timers),
      clock_(clock),
      ticker_(timers, [this] { tick(); }),
      stack_(new QStackedLayout(this)),
      empty_(new EmptyStateView("timer", "No codes yet",
                                "Add a 2FA seed to an item \u2014 paste an otpauth:// link or scan a QR code.")),
      list_(new QListWidget) {
    setObjectName("codesList");
    list_->setObjectName("codesList.rows");
    list_->setAccessibleName("Codes");
    list_->setSelectionMode(selectable ? QAbstractItemView::SingleSelection : QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setUniformItemSizes(false);
    if (compact) list_->setFrameShape(QFrame::NoFrame);
    stack_->addWidget(empty_);
    stack_->addWidget(list_);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { syncSelectionFromList(); });
    setCodes(std::move(codes));
}

CodeRowView* CodesList::rowAt(int at) const { return static_cast<CodeRowView*>(list_->itemWidget(list_->item(at))); }

std::vector<CodeRowView*> CodesList::rows() const {
    buildRows();
    std::vector<CodeRowView*> rows;
    for (int i = 0; i < list_->count(); ++i) rows.push_back(rowAt(i));
    return rows;
}

void CodesList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    buildRows();
}

void CodesList::setCodes(std::vector<AppModel::CodeRow> codes) {
    codes_ = std::move(codes);
    rowsStale_ = true;
    if (isVisible()) buildRows();
    stack_->setCurrentWidget(codes_.empty() ? static_cast<QWidget*>(empty_) : list_);
    if (codes_.empty()) {
        ticker_.stop();
    } else {
        ticker_.start();
    }
    syncSelectionFromList();
}

void CodesList::insertRow(int at, const AppModel::CodeRow& code) const {
    auto* item = new QListWidgetItem;
    item->setData(kIdRole, QString::fromStdString(code.id.text()));
    list_->insertItem(at, item);
    auto* view = new CodeRowView(code, clock_.now(), compact_, timers_, clock_);
    item->setSizeHint(view->sizeHint());
    list_->setItemWidget(item, view);
}

void CodesList::buildRows() const {
    if (!rowsStale_) return;
    rowsStale_ = false;
    const auto date = clock_.now();
    const QSignalBlocker quiet(list_);
    // Rows of codes no longer listed go first; the rest keep their widgets (and a copy button's
    // feedback) unless they moved.
    std::unordered_set<Uuid> listed;
    for (const auto& code : codes_) listed.insert(code.id);
    for (int i = list_->count() - 1; i >= 0; --i)
        if (!listed.contains(rowAt(i)->row().id)) delete list_->takeItem(i);
    for (int at = 0; at < static_cast<int>(codes_.size()); ++at) {
        const auto& code = codes_[static_cast<std::size_t>(at)];
        if (at < list_->count() && rowAt(at)->row().id == code.id) {
            rowAt(at)->setRow(code);
            rowAt(at)->setDate(date);
            continue;
        }
        for (int later = at + 1; later < list_->count(); ++later) {
            if (rowAt(later)->row().id != code.id) continue;
            delete list_->takeItem(later);  // moved: made again where it now belongs
            break;
        }
        insertRow(at, code);
    }
    while (list_->count() > static_cast<int>(codes_.size())) delete list_->takeItem(list_->count() - 1);
    if (!selectable_) return;
    list_->clearSelection();
    for (int i = 0; selection_ && i < list_->count(); ++i) {
        if (rowAt(i)->row().id != *selection_) continue;
        list_->item(i)->setSelected(true);
        list_->setCurrentItem(list_->item(i));
    }
}

bool CodesList::listed(const Uuid& id) const {
    return std::any_of(codes_.begin(), codes_.end(), [&](const AppModel::CodeRow& code) { return code.id == id; });
}

void CodesList::setSelection(std::optional<Uuid> id) {
    if (!selectable_) return;
    if (rowsStale_) {
        const auto now = id && listed(*id) ? id : std::nullopt;
        if (now == selection_) return;
        selection_ = now;
        emit selectionChanged(selection_);
        return;
    }
    const QSignalBlocker quiet(list_);
    list_->clearSelection();
    for (int i = 0; i < list_->count(); ++i) {
        auto* item = list_->item(i);
        if (id && item->data(kIdRole).toString().toStdString() == id->text()) {
            item->setSelected(true);
            list_->setCurrentItem(item);
        }
    }
    syncSelectionFromList();
}

void CodesList::syncSelectionFromList() {
    std::optional<Uuid> now;
    const auto selected = list_->selectedItems();
    if (rowsStale_) {
        // The rows, when made, select the selection's row if it is still listed.
        if (selection_ && listed(*selection_)) now = selection_;
    } else if (!selected.isEmpty()) {
        const auto id = selected.front()->data(kIdRole).toString().toStdString();
        for (const auto& code : codes_)
            if (code.id.text() == id) now = code.id;
    }
    if (now == selection_) return;
    selection_ = now;
    emit selectionChanged(selection_);
}

void CodesList::tick() {
    if (rowsStale_) return;  // rows made later start at their own time
    const auto date = clock_.now();
    for (auto* row : rows()) row->setDate(date);
}

}  // namespace vael
