#include "app/model/window/VaultWindowModel.h"

#include "app/model/DisplayOrder.h"

#include <QPointer>

#include <qcoro/qcorofuture.h>

#include <algorithm>

#include "app/agent/ops/AgentText.h"

namespace vael {

namespace {

QString qtext(const std::string& text) { return QString::fromStdString(text); }

// One awaited model call per dropped payload, in payload order; runs on even if the window goes.
QCoro::Task<> moveItems(QPointer<AppModel> app, std::vector<Uuid> items, Uuid group) {
    for (const auto& item : items) {
        if (!app) co_return;
        auto move = app->moveItem(item, group);
        co_await move;
    }
}

QCoro::Task<> moveGroups(QPointer<AppModel> app, std::vector<Uuid> groups, Uuid project, std::optional<Uuid> parent) {
    for (const auto& group : groups) {
        if (!app) co_return;
        auto move = app->moveGroup(group, project, parent);
        co_await move;
    }
}

}  // namespace

VaultWindowModel::VaultWindowModel(AppModel& app, QObject* parent) : QObject(parent), app_(app) {}

// ---- state ----

void VaultWindowModel::setSidebar(std::optional<SidebarSelection> selection) {
    if (selection == sidebar_) return;
    sidebar_ = std::move(selection);
    emit sidebarChanged();
    setSelectedItemID(std::nullopt);
}

void VaultWindowModel::setSelectedItemID(std::optional<Uuid> id) {
    if (id == selectedItemID_) return;
    selectedItemID_ = id;
    emit selectedItemIDChanged();
}

void VaultWindowModel::setSelectedRow(std::optional<ItemRow> row) {
    if (row == selectedRow_) return;
    selectedRow_ = std::move(row);
    emit selectedRowChanged();
}

void VaultWindowModel::setSearch(std::string text) {
    if (text == search_) return;
    search_ = std::move(text);
    emit searchChanged();
}

void VaultWindowModel::setProjectExpanded(const Uuid& project, bool open) {
    const bool changed = open ? expandedProjects_.insert(project).second : expandedProjects_.erase(project) > 0;
    if (changed) emit expandedProjectsChanged();
}

void VaultWindowModel::requestAddItem(std::optional<ProjectNode> project) {
    addRequest_ = AddItemRequest{Uuid::random(), std::move(project)};
    emit addRequestChanged();
}

void VaultWindowModel::clearAddRequest() {
    if (!addRequest_) return;
    addRequest_.reset();
    emit addRequestChanged();
}

void VaultWindowModel::requestAddTOTP(std::optional<ItemRow> target) {
    totpRequest_ = AddTOTPRequest{Uuid::random(), std::move(target)};
    emit totpRequestChanged();
}

void VaultWindowModel::clearTOTPRequest() {
    if (!totpRequest_) return;
    totpRequest_.reset();
    emit totpRequestChanged();
}

void VaultWindowModel::requestStructure(StructureSheet request) {
    structureSheet_ = std::move(request);
    emit structureSheetChanged();
}

void VaultWindowModel::clearStructureSheet() {
    if (!structureSheet_) return;
    structureSheet_.reset();
    emit structureSheetChanged();
}

void VaultWindowModel::requestDelete(DeleteTarget target) {
    deleteTarget_ = std::move(target);
    emit deleteTargetChanged();
}

void VaultWindowModel::clearDeleteTarget() {
    if (!deleteTarget_) return;
    deleteTarget_.reset();
    emit deleteTargetChanged();
}

std::optional<VaultWindowModel::ItemRow> VaultWindowModel::findRow(const Uuid& id) const {
    if (const auto* found = listing_.row(id)) return *found;
    return std::nullopt;
}

// ---- loading ----

QCoro::Task<> VaultWindowModel::refresh() {
    QPointer self(this);
    const auto run = ++refreshRun_;
    while (reading_) {
        auto done = reading_->future();
        co_await done;
        if (!self || run != refreshRun_) co_return;
    }
    auto reading = std::make_shared<QPromise<void>>();
    reading->start();
    reading_ = reading;
    bool changed = false;
    for (;;) {
        auto read = app_.readListing(listing_.basis());
        auto found = co_await read;
        if (!self) co_return;
        if (listing_.accepts(found)) {
            changed = listing_.apply(std::move(found)) || changed;
            break;
        }
        listing_.forget();  // not where this listing stands: read it whole
    }
    reading_.reset();
    if (changed) {
        if (listing_.lastWasWhole() || !listing_.rowsTouched().empty())
            emit rowsChanged(listing_.lastWasWhole(), listing_.rowsTouched());
        emit listsChanged();
    }
    // A vanished item keeps its selection but loses its row, and with it the detail.
    if (selectedItemID_) {
        const auto before = selectedRow_;
        setSelectedRow(findRow(*selectedItemID_));
        // The shown item was written: its detail is read again, so the pane shows it as it is now.
        const auto& written = listing_.itemsWritten();
        const bool rewritten = listing_.lastWasWhole()
                                   ? before != selectedRow_
                                   : std::find(written.begin(), written.end(), *selectedItemID_) != written.end();
        if (selectedRow_ && detailFor_ == selectedItemID_ && rewritten) loadDetail();
    }
    reading->finish();
}

QCoro::Task<> VaultWindowModel::loadDetail() {
    QPointer self(this);
    const auto run = ++detailRun_;
    if (!selectedItemID_) {
        detailPayload_.reset();
        detailFor_.reset();
        setSelectedRow(std::nullopt);
        emit detailChanged();
        co_return;
    }
    const Uuid id = *selectedItemID_;
    setSelectedRow(findRow(id));
    auto load = app_.loadPayload(id);
    auto payload = co_await load;
    if (!self || run != detailRun_) co_return;
    detailPayload_ = std::move(payload);
    detailFor_ = id;
    emit detailChanged();
}

QCoro::Task<> VaultWindowModel::saveWebsite(Uuid id, std::optional<std::string> url, bool strictMatch) {
    QPointer self(this);
    auto save = app_.updateItemWebsite(id, std::move(url), strictMatch);
    co_await save;  // a failure goes back to the pane
    if (!self) co_return;
    auto reread = refresh();
    co_await reread;
    if (!self) co_return;
    auto reload = loadDetail();
    co_await reload;
}

// ---- derived ----

std::vector<VaultWindowModel::GroupNode> VaultWindowModel::allGroups() const {
    std::vector<GroupNode> groups;
    for (const auto& project : tree()) groups.insert(groups.end(), project.groups.begin(), project.groups.end());
    return groups;
}

std::vector<VaultWindowModel::ItemRow> VaultWindowModel::visibleRows() const {
    const Filter filter = filterNow();
    const auto& all = rows();
    std::vector<ItemRow> shown;
    if (!filter.searching()) {
        shown.reserve(all.size());
        for (const auto& row : all)
            if (filter.selects(row)) shown.push_back(row);
        return shown;
    }
    const auto& keys = listing_.searchKeys();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (filter.keeps(all[i], keys[i])) shown.push_back(all[i]);
    return shown;
}

VaultWindowModel::Content VaultWindowModel::content(bool anyVisible) const {
    if (sidebar_ && sidebar_->kind == SidebarSelection::Kind::codes) return Content::codes;
    if (rows().empty()) return Content::noItems;
    if (!anyVisible) return search_.empty() ? Content::nothingHere : Content::noResults;
    return Content::list;
}

VaultWindowModel::Detail VaultWindowModel::detail() const {
    // The payload must be the selected row's: between a new selection and its load it is not.
    if (detailPayload_ && selectedRow_ && detailFor_ == selectedRow_->id) return Detail::item;
    return rows().empty() ? Detail::empty : Detail::placeholder;
}

QString VaultWindowModel::contentTitle(const std::function<QString(const QString&)>& tierTitle) const {
    if (!sidebar_) return QStringLiteral("All Items");
    switch (sidebar_->kind) {
    case SidebarSelection::Kind::all:
        return QStringLiteral("All Items");
    case SidebarSelection::Kind::codes:
        return QStringLiteral("Codes");
    case SidebarSelection::Kind::tier:
        return tierTitle(qtext(sidebar_->tier));
    case SidebarSelection::Kind::group:
        for (const auto& group : allGroups())
            if (group.id == sidebar_->group) return qtext(group.name);
        return QStringLiteral("Group");
    }
    return {};
}

int VaultWindowModel::count(const std::string& tier) const { return listing_.tierCount(tier); }

int VaultWindowModel::groupCount(const Uuid& group) const {
    int rows = 0;
    for (const auto& inside : descendantGroupIDs(group, allGroups())) rows += listing_.groupRowCount(inside);
    return rows;
}

std::string VaultWindowModel::groupName(const Uuid& group) const {
    for (const auto& node : allGroups())
        if (node.id == group) return node.name;
    return {};
}

const VaultWindowModel::ProjectNode* VaultWindowModel::projectOf(const Uuid& project) const {
    for (const auto& node : tree())
        if (node.id == project) return &node;
    return nullptr;
}

std::vector<VaultWindowModel::MoveTarget> VaultWindowModel::itemMoveTargets(const ItemRow& row) const {
    std::vector<MoveTarget> targets;
    for (const auto& project : tree())
        for (const auto& group : project.groups)
            if (group.id != row.groupID) targets.push_back({groupPath(group, project), project.id, group.id});
    return targets;
}

std::vector<VaultWindowModel::MoveTarget> VaultWindowModel::groupMoveTargets(const GroupNode& group) const {
    std::vector<MoveTarget> targets;
    const auto* own = projectOf(group.projectID);
    const auto excluded = descendantGroupIDs(group.id, own ? own->groups : std::vector<GroupNode>{});
    for (const auto& project : tree()) {
        targets.push_back({project.name + " \u2014 top level", project.id, std::nullopt});
        for (const auto& candidate : project.groups)
            if (!excluded.contains(candidate.id))
                targets.push_back({groupPath(candidate, project), project.id, candidate.id});
    }
    return targets;
}

std::vector<VaultWindowModel::GroupNode> VaultWindowModel::children(const GroupNode& group,
                                                                    const std::vector<GroupNode>& groups) {
    std::vector<GroupNode> found;
    for (const auto& candidate : groups)
        if (candidate.parentID == group.id) found.push_back(candidate);
    std::stable_sort(found.begin(), found.end(),
                     [](const GroupNode& a, const GroupNode& b) { return canonicallyLess(a.name, b.name); });
    return found;
}

// ---- moves and drops ----

void VaultWindowModel::moveItem(Uuid item, Uuid group) { moveItems(&app_, {item}, group); }

void VaultWindowModel::moveGroup(Uuid group, Uuid project, std::optional<Uuid> parent) {
    moveGroups(&app_, {group}, project, parent);
}

bool VaultWindowModel::dropItemsOnGroup(std::vector<Uuid> items, Uuid group) {
    const bool accepted = !items.empty();
    moveItems(&app_, std::move(items), group);
    return accepted;
}

bool VaultWindowModel::dropGroupsOnGroup(std::vector<Uuid> groups, const GroupNode& target) {
    const bool accepted = !groups.empty();
    const auto* project = projectOf(target.projectID);
    const auto skip = descendantGroupIDs(target.id, project ? project->groups : std::vector<GroupNode>{});
    std::erase_if(groups, [&](const Uuid& id) { return skip.contains(id); });
    moveGroups(&app_, std::move(groups), target.projectID, target.id);
    return accepted;
}

bool VaultWindowModel::dropGroupsOnProject(std::vector<Uuid> groups, Uuid project) {
    const bool accepted = !groups.empty();
    moveGroups(&app_, std::move(groups), project, std::nullopt);
    return accepted;
}

// ---- pure functions ----

namespace {

std::string trimmedSearch(const std::string& search) { return qtext(search).trimmed().toStdString(); }

}  // namespace

VaultWindowModel::Filter::Filter(const std::optional<SidebarSelection>& sidebar, const std::string& search,
                                 const std::vector<GroupNode>& groups)
    : search_(trimmedSearch(search)) {
    if (!sidebar || sidebar->kind == SidebarSelection::Kind::all || sidebar->kind == SidebarSelection::Kind::codes) return;
    if (sidebar->kind == SidebarSelection::Kind::tier) {
        by_ = By::tier;
        tier_ = sidebar->tier;
    } else {
        by_ = By::group;
        groups_ = descendantGroupIDs(sidebar->group, groups);
    }
}

bool VaultWindowModel::Filter::selects(const ItemRow& row) const {
    switch (by_) {
    case By::all:
        return true;
    case By::tier:
        return row.aiAccess == tier_;
    case By::group:
        return groups_.contains(row.groupID);
    }
    return false;
}

bool VaultWindowModel::Filter::keeps(const ItemRow& row) const {
    return selects(row) && (!searching() || search_.foundIn(row.name) || search_.foundIn(row.fieldLabel));
}

bool VaultWindowModel::Filter::keeps(const ItemRow& row, const VaultListing::SearchKeys& keys) const {
    return selects(row) && (!searching() || search_.foundInKey(keys.name) || search_.foundInKey(keys.fieldLabel));
}

std::vector<VaultWindowModel::ItemRow> VaultWindowModel::filter(const std::vector<ItemRow>& rows,
                                                                const std::optional<SidebarSelection>& sidebar,
                                                                const std::string& search,
                                                                const std::vector<GroupNode>& groups) {
    const Filter keep(sidebar, search, groups);
    std::vector<ItemRow> shown;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(shown), [&](const ItemRow& row) { return keep.keeps(row); });
    return shown;
}

void VaultWindowModel::sortForList(std::vector<ItemRow>& rows) { DisplayOrder().sort(rows); }

std::unordered_set<Uuid> VaultWindowModel::descendantGroupIDs(const Uuid& root, const std::vector<GroupNode>& groups) {
    std::unordered_set<Uuid> result{root};
    std::vector<Uuid> pending{root};
    while (!pending.empty()) {
        const Uuid next = pending.back();
        pending.pop_back();
        for (const auto& group : groups) {
            if (group.parentID != next || result.contains(group.id)) continue;
            result.insert(group.id);
            pending.push_back(group.id);
        }
    }
    return result;
}

std::string VaultWindowModel::groupPath(const GroupNode& group, const ProjectNode& project) {
    std::vector<std::string> names{group.name};
    std::unordered_set<Uuid> seen{group.id};
    auto next = group.parentID;
    while (next) {
        auto parent = std::find_if(project.groups.begin(), project.groups.end(),
                                   [&](const GroupNode& candidate) { return candidate.id == *next; });
        if (parent == project.groups.end() || !seen.insert(parent->id).second) break;
        names.push_back(parent->name);
        next = parent->parentID;
    }
    std::string path = project.name;
    for (auto name = names.rbegin(); name != names.rend(); ++name) path += " / " + *name;
    return path;
}

}  // namespace vael
