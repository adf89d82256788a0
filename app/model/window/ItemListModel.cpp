#include "app/model/window/ItemListModel.h"

#include <QMimeData>

#include "app/model/window/DragPayloads.h"

namespace vael {

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ItemListModel::ItemListModel(VaultWindowModel& window, QObject* parent)
    : QAbstractListModel(parent), window_(window), rows_(window.visibleRows()) {
    connect(&window_, &VaultWindowModel::listsChanged, this, &ItemListModel::rebuild);
    connect(&window_, &VaultWindowModel::sidebarChanged, this, &ItemListModel::rebuild);
    connect(&window_, &VaultWindowModel::searchChanged, this, &ItemListModel::rebuild);
}

void ItemListModel::rebuild() {
    auto rows = window_.visibleRows();
    if (rows == rows_) return;
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const auto& row = rows_[index.row()];
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
    return rows_[index.row()];
}

QModelIndex ItemListModel::indexOf(const Uuid& id) const {
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (rows_[i].id == id) return index(i);
    return {};
}

}  // namespace vael
