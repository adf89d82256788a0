#include "app/model/window/SidebarModel.h"

#include "app/agent/UnicodeText.h"

#include <QMimeData>

#include "app/model/window/DragPayloads.h"

namespace vael {

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }
QString idText(const Uuid& id) { return QString::fromStdString(id.text()); }

}  // namespace

SidebarModel::SidebarModel(VaultWindowModel& window, std::vector<Tier> tiers, QObject* parent)
    : QAbstractItemModel(parent), window_(window), tiers_(std::move(tiers)) {
    nodes_ = build();
    for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
        if (nodes_[i].parent < 0) top_.push_back(i);
    connect(&window_, &VaultWindowModel::listsChanged, this, &SidebarModel::rebuild);
}

SidebarModel::Node SidebarModel::row(Kind kind, QString title, QString symbol, QString tier, std::optional<Uuid> id,
                                     int parent, int badge) {
    return Node{kind, std::move(title), std::move(symbol), std::move(tier), id, parent, badge, {}};
}

std::vector<SidebarModel::Node> SidebarModel::build() const {
    std::vector<Node> nodes;
    const auto add = [&](Node node) {
        const int at = static_cast<int>(nodes.size());
        if (node.parent >= 0) nodes[node.parent].children.push_back(at);
        nodes.push_back(std::move(node));
        return at;
    };
    const int vault = add(row(Kind::section, "Vault", {}, {}, {}));
    add(row(Kind::all, "All Items", "tray.full.fill", {}, {}, vault, static_cast<int>(window_.rows().size())));
    add(row(Kind::codes, "Codes", "timer", {}, {}, vault, static_cast<int>(window_.codes().size())));
    const int access = add(row(Kind::section, "AI Access", {}, {}, {}));
    for (const auto& tier : tiers_)
        add(row(Kind::tier, tier.title, tier.symbol, tier.id, {}, access, window_.count(tier.id.toStdString())));
    if (window_.tree().empty()) return nodes;
    const int projects = add(row(Kind::section, "Projects", {}, {}, {}));
    for (const auto& project : window_.tree()) {
        const int header = add(row(Kind::project, qtext(project.name), "folder.fill", {}, project.id, projects));
        std::set<Uuid> placed;
        for (const auto& group : project.groups)
            if (!group.parentID) addGroup(nodes, header, group, project.groups, placed);
    }
    return nodes;
}

void SidebarModel::addGroup(std::vector<Node>& nodes, int parent, const AppModel::GroupNode& group,
                            const std::vector<AppModel::GroupNode>& groups, std::set<Uuid>& placed) const {
    if (!placed.insert(group.id).second) return;
    const int at = static_cast<int>(nodes.size());
    nodes[parent].children.push_back(at);
    nodes.push_back(row(Kind::group, qtext(group.name), "folder", {}, group.id, parent, window_.groupCount(group.id)));
    for (const auto& child : VaultWindowModel::children(group, groups)) addGroup(nodes, at, child, groups, placed);
}

void SidebarModel::rebuild() {
    auto nodes = build();
    bool sameRows = nodes.size() == nodes_.size();
    for (std::size_t i = 0; sameRows && i < nodes.size(); ++i) sameRows = nodes[i].sameRow(nodes_[i]);
    if (sameRows) {
        nodes_ = std::move(nodes);
        for (int i = 0; i < static_cast<int>(nodes_.size()); ++i) {
            const auto at = indexFor(i);
            emit dataChanged(at, at, {BadgeRole, Qt::AccessibleTextRole});
        }
        return;
    }
    beginResetModel();
    nodes_ = std::move(nodes);
    top_.clear();
    for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
        if (nodes_[i].parent < 0) top_.push_back(i);
    endResetModel();
    emit rowsRebuilt();
}

const SidebarModel::Node* SidebarModel::nodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() >= nodes_.size()) return nullptr;
    return &nodes_[index.internalId()];
}

QModelIndex SidebarModel::indexFor(int node) const {
    const auto& siblings = nodes_[node].parent < 0 ? top_ : nodes_[nodes_[node].parent].children;
    const auto row = std::find(siblings.begin(), siblings.end(), node) - siblings.begin();
    return createIndex(static_cast<int>(row), 0, static_cast<quintptr>(node));
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    const auto* owner = nodeAt(parent);
    if (parent.isValid() && !owner) return {};
    const auto& siblings = owner ? owner->children : top_;
    if (row >= static_cast<int>(siblings.size())) return {};
    return createIndex(row, 0, static_cast<quintptr>(siblings[row]));
}

QModelIndex SidebarModel::parent(const QModelIndex& child) const {
    const auto* node = nodeAt(child);
    if (!node || node->parent < 0) return {};
    return indexFor(node->parent);
}

int SidebarModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(top_.size());
    const auto* node = nodeAt(parent);
    return node ? static_cast<int>(node->children.size()) : 0;
}

int SidebarModel::columnCount(const QModelIndex&) const { return 1; }

QVariant SidebarModel::data(const QModelIndex& index, int role) const {
    const auto* node = nodeAt(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->title;
    case Qt::AccessibleTextRole: {
        // Read out as shown: a stored name's bidirectional and control characters never reach the reader.
        const auto title = QString::fromStdString(displayLine(node->title.toStdString()));
        if (node->badge <= 0) return title;
        if (node->badge == 1) return QStringLiteral("%1, 1 item").arg(title);
        return QStringLiteral("%1, %2 items").arg(title).arg(node->badge);
    }
    case SymbolRole:
        return node->symbol;
    case TierRole:
        return node->tier;
    case BadgeRole:
        return node->badge;
    case KindRole:
        return QVariant::fromValue(node->kind);
    case IdRole:
        return node->id ? idText(*node->id) : QString();
    default:
        return {};
    }
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex& index) const {
    const auto* node = nodeAt(index);
    if (!node) return Qt::NoItemFlags;
    switch (node->kind) {
    case Kind::section:
        return Qt::ItemIsEnabled;
    case Kind::project:
        return Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    case Kind::group:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    default:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
}

QStringList SidebarModel::mimeTypes() const { return {DraggedItem::mimeType(), DraggedGroup::mimeType()}; }

QMimeData* SidebarModel::mimeData(const QModelIndexList& indexes) const {
    // One record per drag: the first group among the dragged rows.
    for (const auto& index : indexes) {
        if (const auto* node = nodeAt(index); node && node->kind == Kind::group) {
            auto* mime = new QMimeData;
            DraggedGroup{*node->id}.writeTo(*mime);
            return mime;
        }
    }
    return nullptr;
}

bool SidebarModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int row, int column,
                                   const QModelIndex& parent) const {
    const auto* node = nodeAt(parent);
    if (!data || !node || row != -1 || column != -1) return false;  // only onto a row, never between rows
    const bool group = data->hasFormat(DraggedGroup::mimeType());
    const bool item = data->hasFormat(DraggedItem::mimeType());
    if (node->kind == Kind::project) return group;
    return node->kind == Kind::group && (group || item);
}

bool SidebarModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    const auto& node = nodes_[parent.internalId()];
    const auto dropped = [&]<class Reference>() {
        std::vector<Uuid> ids;
        if (auto reference = Reference::readFrom(*data)) ids.push_back(reference->id);
        return ids;
    };
    if (node.kind == Kind::project) return window_.dropGroupsOnProject(dropped.template operator()<DraggedGroup>(), *node.id);
    const auto target = groupAt(parent);
    if (!target) return false;
    if (data->hasFormat(DraggedGroup::mimeType()))
        return window_.dropGroupsOnGroup(dropped.template operator()<DraggedGroup>(), *target);
    return window_.dropItemsOnGroup(dropped.template operator()<DraggedItem>(), target->id);
}

SidebarModel::Kind SidebarModel::kind(const QModelIndex& index) const {
    const auto* node = nodeAt(index);
    return node ? node->kind : Kind::section;
}

std::optional<SidebarSelection> SidebarModel::selectionAt(const QModelIndex& index) const {
    const auto* node = nodeAt(index);
    if (!node) return std::nullopt;
    switch (node->kind) {
    case Kind::all:
        return SidebarSelection::all();
    case Kind::codes:
        return SidebarSelection::codes();
    case Kind::tier:
        return SidebarSelection::forTier(node->tier.toStdString());
    case Kind::group:
        return SidebarSelection::forGroup(*node->id);
    default:
        return std::nullopt;
    }
}

QModelIndex SidebarModel::indexOf(const SidebarSelection& selection) const {
    for (int i = 0; i < static_cast<int>(nodes_.size()); ++i) {
        const auto at = indexFor(i);
        if (selectionAt(at) == selection) return at;
    }
    return {};
}

const AppModel::ProjectNode* SidebarModel::projectAt(const QModelIndex& index) const {
    const auto* node = nodeAt(index);
    if (!node || node->kind != Kind::project) return nullptr;
    return window_.projectOf(*node->id);
}

std::optional<AppModel::GroupNode> SidebarModel::groupAt(const QModelIndex& index) const {
    const auto* node = nodeAt(index);
    if (!node || node->kind != Kind::group) return std::nullopt;
    for (const auto& group : window_.allGroups())
        if (group.id == *node->id) return group;
    return std::nullopt;
}

std::vector<QModelIndex> SidebarModel::headerIndexes() const {
    std::vector<QModelIndex> found;
    for (int i = 0; i < static_cast<int>(nodes_.size()); ++i)
        if (nodes_[i].kind == Kind::project || nodes_[i].kind == Kind::group) found.push_back(indexFor(i));
    return found;
}

void SidebarModel::setGroupOpen(const Uuid& group, bool open) {
    if (open)
        openGroups_.insert(group);
    else
        openGroups_.erase(group);
}

}  // namespace vael
