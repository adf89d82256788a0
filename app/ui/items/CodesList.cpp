#include "app/ui/items/CodesList.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QListWidget>
#include <QStackedLayout>
#include <QStyle>

#include <algorithm>
#include <unordered_set>

#include "app/ui/items/CodeRowView.h"
#include "app/ui/widgets/CopyButton.h"
#include "app/ui/widgets/EmptyStateView.h"

namespace vael {

namespace {

constexpr int kIdRole = Qt::UserRole;

// The rows live inside the item view, whose accessible children are its cells only: a screen
// reader would never reach a row's copy button. The list offers its rows as children of its own,
// and each row names the list as its parent, so the tree reads the same both ways.
class CodesListAccessible final : public QAccessibleWidget {
public:
    explicit CodesListAccessible(CodesList* list) : QAccessibleWidget(list, QAccessible::Grouping) {}
    int childCount() const override { return QAccessibleWidget::childCount() + static_cast<int>(rows().size()); }
    QAccessibleInterface* child(int index) const override {
        const int own = QAccessibleWidget::childCount();
        if (index < own) return QAccessibleWidget::child(index);
        const auto shown = rows();
        if (index - own >= static_cast<int>(shown.size())) return nullptr;
        return QAccessible::queryAccessibleInterface(shown[static_cast<std::size_t>(index - own)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto shown = rows();
        const auto at = std::find(shown.begin(), shown.end(), child ? child->object() : nullptr);
        if (at != shown.end()) return QAccessibleWidget::childCount() + static_cast<int>(at - shown.begin());
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    std::vector<QObject*> rows() const {
        std::vector<QObject*> shown;
        auto* list = static_cast<CodesList*>(widget());
        if (!list->isVisible()) return shown;
        for (auto* row : list->shownRows()) shown.push_back(row);
        return shown;
    }
};

class CodeRowAccessible final : public QAccessibleWidget {
public:
    explicit CodeRowAccessible(CodeRowView* row) : QAccessibleWidget(row, QAccessible::ListItem) {}
    QAccessibleInterface* parent() const override {
        for (QWidget* up = widget()->parentWidget(); up; up = up->parentWidget())
            if (auto* list = qobject_cast<CodesList*>(up)) return QAccessible::queryAccessibleInterface(list);
        return QAccessibleWidget::parent();
    }
};

QAccessibleInterface* codesAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("vael::CodesList")) return new CodesListAccessible(static_cast<CodesList*>(object));
    // A row has no meta-object of its own.
    if (className == QLatin1String("QWidget"))
        if (auto* row = dynamic_cast<CodeRowView*>(object)) return new CodeRowAccessible(row);
    return nullptr;
}

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
    static const bool accessible = [] {
        QAccessible::installFactory(codesAccessible);
        return true;
    }();
    (void)accessible;
    setObjectName("codesList");
    list_->setObjectName("codesList.rows");
    list_->setAccessibleName("Codes");
    list_->setSelectionMode(selectable ? QAbstractItemView::SingleSelection : QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setUniformItemSizes(false);
    // Rows take the column's width and shorten their names to fit it; nothing scrolls sideways.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setResizeMode(QListView::Adjust);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
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

std::vector<CodeRowView*> CodesList::shownRows() const {
    std::vector<CodeRowView*> rows;
    if (rowsStale_ || stack_->currentWidget() != list_) return rows;
    for (int i = 0; i < list_->count(); ++i)
        if (auto* row = rowAt(i)) rows.push_back(row);
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
    list_->setItemWidget(item, view);
    view->copyButton()->installEventFilter(const_cast<CodesList*>(this));
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
    // The column is never narrower than a row needs stacked: code, ring and copy button never clip.
    int widest = 0;
    for (int i = 0; i < list_->count(); ++i) widest = std::max(widest, rowAt(i)->narrowestWidth());
    list_->setMinimumWidth(widest + 2 * list_->frameWidth() +
                           list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_));
    arrangeRows();
    describeRows();
    if (!selectable_) return;
    list_->clearSelection();
    for (int i = 0; selection_ && i < list_->count(); ++i) {
        if (rowAt(i)->row().id != *selection_) continue;
        list_->item(i)->setSelected(true);
        list_->setCurrentItem(list_->item(i));
    }
}

void CodesList::arrangeRows() const {
    const int width = list_->viewport()->width();
    // One arrangement for every row, so the codes stay in one column.
    bool stacked = false;
    for (int i = 0; i < list_->count(); ++i) stacked = stacked || rowAt(i)->sideBySideWidth() > width;
    for (int i = 0; i < list_->count(); ++i) {
        auto* row = rowAt(i);
        row->setStacked(stacked);
        const QSize wanted{row->narrowestWidth(), row->sizeHint().height()};
        if (list_->item(i)->sizeHint() != wanted) list_->item(i)->setSizeHint(wanted);
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
    for (int i = 0; i < list_->count(); ++i) {
        if (auto* row = static_cast<CodeRowView*>(list_->itemWidget(list_->item(i))))
            row->setHighlighted(list_->item(i)->isSelected());
    }
    if (now == selection_) return;
    selection_ = now;
    emit selectionChanged(selection_);
}

void CodesList::tick() {
    if (rowsStale_) return;  // rows made later start at their own time
    const auto date = clock_.now();
    for (auto* row : rows()) row->setDate(date);
    describeRows();
}

void CodesList::describeRows() const {
    QWidget* previous = list_;
    for (int i = 0; i < list_->count(); ++i) {
        auto* item = list_->item(i);
        auto* row = static_cast<CodeRowView*>(list_->itemWidget(item));
        if (!row) continue;
        item->setData(Qt::AccessibleTextRole, row->accessibleText());
        QWidget::setTabOrder(previous, row->copyButton());
        previous = row->copyButton();
    }
}

bool CodesList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Resize && !rowsStale_) arrangeRows();
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        if (auto* item = list_->currentItem()) {
            if (auto* row = static_cast<CodeRowView*>(list_->itemWidget(item))) row->copyCode();
        }
        return true;
    }
    // A copy button reached by Tab brings its row into view.
    if (event->type() == QEvent::FocusIn && watched != list_) {
        for (int i = 0; i < list_->count(); ++i) {
            auto* row = static_cast<CodeRowView*>(list_->itemWidget(list_->item(i)));
            if (row && row->copyButton() == watched) list_->scrollToItem(list_->item(i));
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vael
