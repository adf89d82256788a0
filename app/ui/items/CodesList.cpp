#include "app/ui/items/CodesList.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QStackedLayout>
#include <QStyle>

#include <algorithm>

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

std::vector<CodeRowView*> CodesList::rows() const {
    std::vector<CodeRowView*> rows;
    for (int i = 0; i < list_->count(); ++i) rows.push_back(static_cast<CodeRowView*>(list_->itemWidget(list_->item(i))));
    return rows;
}

void CodesList::setCodes(std::vector<AppModel::CodeRow> codes) {
    codes_ = std::move(codes);
    const auto date = clock_.now();
    const QSignalBlocker quiet(list_);

    // The same items in the same order keep their row widgets (and a copy button's feedback).
    auto current = rows();
    const bool sameItems = std::equal(current.begin(), current.end(), codes_.begin(), codes_.end(),
                                      [](CodeRowView* view, const AppModel::CodeRow& code) { return view->row().id == code.id; });
    if (sameItems) {
        for (std::size_t i = 0; i < current.size(); ++i) {
            current[i]->setRow(codes_[i]);
            current[i]->setDate(date);
        }
    } else {
        list_->clear();
        int widest = 0;
        for (const auto& code : codes_) {
            auto* item = new QListWidgetItem(list_);
            item->setData(kIdRole, QString::fromStdString(code.id.text()));
            auto* view = new CodeRowView(code, date, compact_, timers_, clock_);
            widest = std::max(widest, view->minimumSizeHint().width());
            item->setSizeHint({view->minimumSizeHint().width(), view->sizeHint().height()});
            list_->setItemWidget(item, view);
            view->copyButton()->installEventFilter(this);
            if (selection_ && *selection_ == code.id) item->setSelected(true);
        }
        // The column is never narrower than a row needs: code, ring and copy button never clip.
        list_->setMinimumWidth(widest + 2 * list_->frameWidth() +
                               list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list_));
    }
    describeRows();
    stack_->setCurrentWidget(codes_.empty() ? static_cast<QWidget*>(empty_) : list_);
    if (codes_.empty()) {
        ticker_.stop();
    } else {
        ticker_.start();
    }
    syncSelectionFromList();
}

void CodesList::setSelection(std::optional<Uuid> id) {
    if (!selectable_) return;
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
    if (!selected.isEmpty()) {
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
    const auto date = clock_.now();
    for (auto* row : rows()) row->setDate(date);
    describeRows();
}

void CodesList::describeRows() {
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
