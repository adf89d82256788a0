#pragma once

#include <QAbstractListModel>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/model/DisplayOrder.h"
#include "app/model/window/VaultWindowModel.h"

namespace vael {

// The middle column's rows: the window's visible rows, in the listing's order. A store change
// takes out, puts in or changes the rows of the items written; a whole read is merged in the same
// way; a new sidebar choice or search text lays the list out anew.
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

    std::vector<AppModel::ItemRow> rows() const;
    std::optional<AppModel::ItemRow> rowAt(const QModelIndex& index) const;
    QModelIndex indexOf(const Uuid& id) const;
    // True while the rows are being changed: a view's current row moving then is not the user's choice.
    bool changing() const { return changing_; }

signals:
    // After each change of the rows, whatever its kind.
    void rowsUpdated();

private:
    void relayout();
    void follow(bool whole, const std::vector<Uuid>& items);
    void merge(std::vector<AppModel::ItemRow> next);
    void update(const std::vector<Uuid>& items);
    void takeOut(int first, int last);
    // Moves the rows of [from, to) in at `at`.
    void putIn(int at, std::vector<AppModel::ItemRow>::iterator from, std::vector<AppModel::ItemRow>::iterator to);

    VaultWindowModel& window_;
    DisplayOrder order_;
    // Each row on its own, so putting one in among many moves pointers rather than rows.
    std::vector<std::unique_ptr<AppModel::ItemRow>> rows_;
    AccessibleText accessibleText_;
    bool changing_ = false;
};

}  // namespace vael
