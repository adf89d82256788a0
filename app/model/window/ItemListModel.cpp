#include "app/model/window/ItemListModel.h"

#include <QMimeData>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "app/model/window/DragPayloads.h"

namespace vael {

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

using Owned = std::vector<std::unique_ptr<AppModel::ItemRow>>;

// The rows of [from, to), moved out.
Owned owned(std::vector<AppModel::ItemRow>::iterator from, std::vector<AppModel::ItemRow>::iterator to) {
    Owned rows;
    rows.reserve(static_cast<std::size_t>(to - from));
    for (; from != to; ++from) rows.push_back(std::make_unique<AppModel::ItemRow>(std::move(*from)));
    return rows;
}

bool sameItems(const std::vector<AppModel::ItemRow>& a, const Owned& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const AppModel::ItemRow& x, const auto& y) { return x.id == y->id; });
}

}  // namespace

ItemListModel::ItemListModel(VaultWindowModel& window, QObject* parent)
    : QAbstractListModel(parent), window_(window) {
    auto rows = window_.visibleRows();
    rows_ = owned(rows.begin(), rows.end());
    connect(&window_, &VaultWindowModel::rowsChanged, this, &ItemListModel::follow);
    connect(&window_, &VaultWindowModel::sidebarChanged, this, &ItemListModel::relayout);
    connect(&window_, &VaultWindowModel::searchChanged, this, &ItemListModel::relayout);
}

// Another choice or search: most rows come or go at once, so the list is laid out anew.
void ItemListModel::relayout() {
    auto rows = window_.visibleRows();
    if (!sameItems(rows, rows_)) {
        changing_ = true;
        beginResetModel();
        rows_ = owned(rows.begin(), rows.end());
        endResetModel();
        changing_ = false;
    }
    emit rowsUpdated();
}

void ItemListModel::follow(bool whole, const std::vector<Uuid>& items) {
    if (whole) merge(window_.visibleRows());
    else update(items);
    emit rowsUpdated();
}

void ItemListModel::takeOut(int first, int last) {
    changing_ = true;
    beginRemoveRows({}, first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
    changing_ = false;
}

void ItemListModel::putIn(int at, std::vector<AppModel::ItemRow>::iterator from,
                          std::vector<AppModel::ItemRow>::iterator to) {
    changing_ = true;
    beginInsertRows({}, at, at + static_cast<int>(to - from) - 1);
    auto rows = owned(from, to);
    rows_.insert(rows_.begin() + at, std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    changing_ = false;
}

// Items written: each row leaves, arrives, moves or changes where it stands. One pass over the rows
// finds the written ones, however many there are.
void ItemListModel::update(const std::vector<Uuid>& items) {
    const auto filter = window_.filterNow();
    const std::unordered_set<Uuid> written(items.begin(), items.end());
    const auto shownNow = [&](const Uuid& id) -> const AppModel::ItemRow* {
        const auto* now = window_.row(id);
        return now && filter.keeps(*now) ? now : nullptr;
    };
    std::unordered_set<Uuid> stayed;
    for (int at = static_cast<int>(rows_.size()) - 1; at >= 0; --at) {
        auto& old = *rows_[static_cast<std::size_t>(at)];
        if (!written.contains(old.id)) continue;
        const auto* now = shownNow(old.id);
        if (!now || now->name != old.name) {
            takeOut(at, at);
            continue;
        }
        // Same name, same place.
        stayed.insert(old.id);
        if (!(old == *now)) {
            old = *now;
            emit dataChanged(index(at), index(at));
        }
    }
    for (const auto& item : items) {
        const auto* now = stayed.contains(item) ? nullptr : shownNow(item);
        if (!now) continue;
        const auto at = std::upper_bound(rows_.begin(), rows_.end(), *now, [this](const auto& a, const auto& b) {
            return order_.before(a.name, a.id, b->name, b->id);
        });
        std::vector<AppModel::ItemRow> one{*now};
        putIn(static_cast<int>(at - rows_.begin()), one.begin(), one.end());
    }
}

// A whole read: rows that went (or were renamed, and so may stand elsewhere) leave in runs; the rows
// kept then stand in the new order already, and the new ones are put in between them.
void ItemListModel::merge(std::vector<AppModel::ItemRow> next) {
    std::unordered_map<Uuid, const AppModel::ItemRow*> byId;
    byId.reserve(next.size());
    for (const auto& row : next) byId.emplace(row.id, &row);
    const auto stays = [&](const AppModel::ItemRow& row) {
        const auto found = byId.find(row.id);
        return found != byId.end() && found->second->name == row.name;
    };
    for (int last = static_cast<int>(rows_.size()) - 1; last >= 0;) {
        if (stays(*rows_[static_cast<std::size_t>(last)])) {
            --last;
            continue;
        }
        int first = last;
        while (first > 0 && !stays(*rows_[static_cast<std::size_t>(first - 1)])) --first;
        takeOut(first, last);
        last = first - 1;
    }
    std::size_t k = 0;
    for (std::size_t j = 0; j < next.size();) {
        if (k < rows_.size() && rows_[k]->id == next[j].id) {
            if (!(*rows_[k] == next[j])) {
                *rows_[k] = next[j];
                const auto at = index(static_cast<int>(k));
                emit dataChanged(at, at);
            }
            ++j;
            ++k;
            continue;
        }
        const std::size_t from = j;
        while (j < next.size() && (k >= rows_.size() || rows_[k]->id != next[j].id)) ++j;
        putIn(static_cast<int>(k), next.begin() + static_cast<long>(from), next.begin() + static_cast<long>(j));
        k += j - from;
    }
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const auto& row = *rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return qtext(row.name);
    case Qt::AccessibleTextRole:
        return accessibleText_ ? accessibleText_(row) : qtext(row.name + ", " + row.fieldLabel);
    case SubtitleRole:
        return qtext(row.fieldLabel);
    case TierRole:
        return qtext(row.aiAccess);
    case IdRole:
        return qtext(row.id.text());
    default:
        return {};
    }
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

std::vector<AppModel::ItemRow> ItemListModel::rows() const {
    std::vector<AppModel::ItemRow> rows;
    rows.reserve(rows_.size());
    for (const auto& row : rows_) rows.push_back(*row);
    return rows;
}

QStringList ItemListModel::mimeTypes() const { return {DraggedItem::mimeType()}; }

QMimeData* ItemListModel::mimeData(const QModelIndexList& indexes) const {
    for (const auto& index : indexes) {
        if (auto row = rowAt(index)) {
            auto* mime = new QMimeData;
            DraggedItem{row->id}.writeTo(*mime);
            return mime;
        }
    }
    return nullptr;
}

std::optional<AppModel::ItemRow> ItemListModel::rowAt(const QModelIndex& index) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return std::nullopt;
    return *rows_[static_cast<std::size_t>(index.row())];
}

QModelIndex ItemListModel::indexOf(const Uuid& id) const {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (rows_[static_cast<std::size_t>(i)]->id == id) return index(i);
    return {};
}

}  // namespace vael
