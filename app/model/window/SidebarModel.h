#pragma once

#include <QAbstractItemModel>

#include <optional>
#include <set>
#include <vector>

#include "app/model/window/SidebarSelection.h"
#include "app/model/window/VaultWindowModel.h"

namespace vael {

// The sidebar's tree over the window model: "Vault" (All Items, Codes), "AI Access" (one row per
// tier) and, while there are projects, "Projects" with each project's groups nested by parent.
// Section and project headers cannot be selected. Rebuilt when the window's lists change; a reload
// that keeps the rows only updates their counts, so open rows stay open.
class SidebarModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role {
        SymbolRole = Qt::UserRole + 1,  // the design's symbol name
        TierRole,                       // tier rows: the tier identifier, for the tint
        BadgeRole,                      // item count; 0 shows no badge
        KindRole,                       // Kind
        IdRole,                         // project and group rows: the identifier's text
    };
    enum class Kind { section, all, codes, tier, project, group };
    Q_ENUM(Kind)

    // The tiers in sidebar order, with their titles and symbols.
    struct Tier {
        QString id, title, symbol;
    };

    SidebarModel(VaultWindowModel& window, std::vector<Tier> tiers, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Groups drag as group references; projects take dropped groups, groups take items and groups.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    // Answers at once; the moves run after, one by one. Data that does not decode moves nothing.
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    Kind kind(const QModelIndex& index) const;
    std::optional<SidebarSelection> selectionAt(const QModelIndex& index) const;
    QModelIndex indexOf(const SidebarSelection& selection) const;
    const AppModel::ProjectNode* projectAt(const QModelIndex& index) const;
    std::optional<AppModel::GroupNode> groupAt(const QModelIndex& index) const;
    // Every project and group row, for restoring open rows after a reload.
    std::vector<QModelIndex> headerIndexes() const;

    // Group rows whose disclosure the user opened; kept across reloads.
    bool isGroupOpen(const Uuid& group) const { return openGroups_.contains(group); }
    void setGroupOpen(const Uuid& group, bool open);

signals:
    // After a reload that replaced the rows: views reopen what was open.
    void rowsRebuilt();

private:
    struct Node {
        Kind kind;
        QString title;
        QString symbol;
        QString tier;
        std::optional<Uuid> id;
        int parent = -1;  // -1: top level
        int badge = 0;
        std::vector<int> children;
        bool sameRow(const Node& other) const {
            return kind == other.kind && title == other.title && id == other.id && tier == other.tier &&
                   parent == other.parent && children == other.children;
        }
    };

    static Node row(Kind kind, QString title, QString symbol = {}, QString tier = {}, std::optional<Uuid> id = {},
                    int parent = -1, int badge = 0);
    void rebuild();
    std::vector<Node> build() const;
    void addGroup(std::vector<Node>& nodes, int parent, const AppModel::GroupNode& group,
                  const std::vector<AppModel::GroupNode>& groups, std::set<Uuid>& placed) const;
    const Node* nodeAt(const QModelIndex& index) const;
    QModelIndex indexFor(int node) const;

    VaultWindowModel& window_;
    std::vector<Tier> tiers_;
    std::vector<Node> nodes_;
    std::vector<int> top_;
    std::set<Uuid> openGroups_;
};

}  // namespace vael
