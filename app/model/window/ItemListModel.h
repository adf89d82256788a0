#pragma once

#include <QAbstractListModel>

#include <optional>
#include <vector>

#include "app/model/window/VaultWindowModel.h"

namespace vael {

// The middle column's rows: the window's visible rows, in the model's order. Rebuilt when the rows,
// the sidebar choice or the search change.
class ItemListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // The item row delegate reads these two.
        SubtitleRole = Qt::UserRole + 200,  // the first field's label
        TierRole,                         // the tier identifier as stored
        IdRole,                           // the item identifier's text
    };

    explicit ItemListModel(VaultWindowModel& window, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A dragged row carries only its item reference.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

    const std::vector<AppModel::ItemRow>& rows() const { return rows_; }
    std::optional<AppModel::ItemRow> rowAt(const QModelIndex& index) const;
    QModelIndex indexOf(const Uuid& id) const;

private:
    void rebuild();

    VaultWindowModel& window_;
    std::vector<AppModel::ItemRow> rows_;
};

}  // namespace vael
