#pragma once

#include <QAbstractListModel>

#include <functional>
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

    // What a screen reader hears for a row (Qt::AccessibleTextRole); the screen names the tier as
    // its badge shows it. Without one: the name and the field label.
    using AccessibleText = std::function<QString(const AppModel::ItemRow&)>;
    void setAccessibleText(AccessibleText text) { accessibleText_ = std::move(text); }

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
    AccessibleText accessibleText_;
};

}  // namespace vael
