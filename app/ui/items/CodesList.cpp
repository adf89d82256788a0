#include "app/ui/items/CodesList.h"

#include <QListWidget>
#include <QStackedLayout>

#include <algorithm>

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
        for (const auto& code : codes_) {
            auto* item = new QListWidgetItem(list_);
            item->setData(kIdRole, QString::fromStdString(code.id.text()));
            auto* view = new CodeRowView(code, date, compact_, timers_, clock_);
            item->setSizeHint(view->sizeHint());
            list_->setItemWidget(item, view);
            if (selection_ && *selection_ == code.id) item->setSelected(true);
        }
    }
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
    if (now == selection_) return;
    selection_ = now;
    emit selectionChanged(selection_);
}

void CodesList::tick() {
    const auto date = clock_.now();
    for (auto* row : rows()) row->setDate(date);
}

}  // namespace vael
