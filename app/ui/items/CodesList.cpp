#include "app/ui/items/CodesList.h"

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
    // Rows take the column's width and shorten their names to fit it; nothing scrolls sideways.
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setResizeMode(QListView::Adjust);
    list_->installEventFilter(this);
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
    item->setSizeHint({view->minimumSizeHint().width(), view->sizeHint().height()});
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
    // The column is never narrower than a row needs: code, ring and copy button never clip.
    int widest = 0;
    for (int i = 0; i < list_->count(); ++i) widest = std::max(widest, rowAt(i)->minimumSizeHint().width());
    list_->setMinimumWidth(widest + 2 * list_->frameWidth() +
                           list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_));
    describeRows();
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
