#pragma once

#include <QObject>
#include <QPromise>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/window/AddItemRequest.h"
#include "app/model/items/AddTOTPRequest.h"
#include "app/items/LocalizedSearch.h"
#include "app/model/AppModel.h"
#include "app/model/window/DeleteTarget.h"
#include "app/model/window/SidebarSelection.h"
#include "app/model/window/StructureSheet.h"
#include "app/model/VaultListing.h"

namespace vael {

// The unlocked vault window's state: what it shows, what is selected, which sheet or deletion is
// asked for. Columns, toolbar and menus change the window only through it; moves and drops call the
// application model. Main thread.
class VaultWindowModel final : public QObject {
    Q_OBJECT
public:
    using ItemRow = AppModel::ItemRow;
    using CodeRow = AppModel::CodeRow;
    using GroupNode = AppModel::GroupNode;
    using ProjectNode = AppModel::ProjectNode;

    // What the list column shows, first match wins.
    enum class Content { codes, noItems, nothingHere, noResults, list };
    // What the detail column shows.
    enum class Detail { item, placeholder, empty };

    // A "Move to…" entry: the label and where the move goes.
    struct MoveTarget {
        std::string label;
        Uuid project;
        std::optional<Uuid> group;  // item moves: the group; group moves: the new parent, none = top level
        bool operator==(const MoveTarget&) const = default;
    };

    // The window's filter (sidebar choice, then search) made ready once and asked for each row.
    class Filter {
    public:
        Filter(const std::optional<SidebarSelection>& sidebar, const std::string& search,
               const std::vector<GroupNode>& groups);
        bool keeps(const ItemRow& row) const;
        // The same, with the row's search keys already made.
        bool keeps(const ItemRow& row, const VaultListing::SearchKeys& keys) const;
        bool selects(const ItemRow& row) const;
        bool searching() const { return !search_.empty(); }

    private:
        enum class By { all, tier, group } by_ = By::all;
        std::string tier_;
        std::unordered_set<Uuid> groups_;
        LocalizedSearch search_;
    };

    explicit VaultWindowModel(AppModel& app, QObject* parent = nullptr);

    AppModel& app() const { return app_; }

    // ---- state ----
    const std::vector<ItemRow>& rows() const { return listing_.rows(); }
    // The listed row of an item, if any.
    const ItemRow* row(const Uuid& id) const { return listing_.row(id); }
    const std::vector<CodeRow>& codes() const { return listing_.codes(); }
    const std::vector<ProjectNode>& tree() const { return listing_.tree(); }
    const std::optional<SidebarSelection>& sidebar() const { return sidebar_; }
    // Clears the item selection when the choice really changes.
    void setSidebar(std::optional<SidebarSelection> selection);
    const std::optional<Uuid>& selectedItemID() const { return selectedItemID_; }
    void setSelectedItemID(std::optional<Uuid> id);
    const std::optional<ItemRow>& selectedRow() const { return selectedRow_; }
    // The decrypted item of the selection, for the detail pane.
    const std::optional<ItemPayload>& detailPayload() const { return detailPayload_; }
    const std::string& search() const { return search_; }
    void setSearch(std::string text);
    bool isProjectExpanded(const Uuid& project) const { return expandedProjects_.contains(project); }
    void setProjectExpanded(const Uuid& project, bool open);

    // ---- requests: each opens its own sheet or dialog; closing it clears the request ----
    const std::optional<AddItemRequest>& addRequest() const { return addRequest_; }
    void requestAddItem(std::optional<ProjectNode> project);
    void clearAddRequest();
    const std::optional<AddTOTPRequest>& totpRequest() const { return totpRequest_; }
    void requestAddTOTP(std::optional<ItemRow> target);
    void clearTOTPRequest();
    const std::optional<StructureSheet>& structureSheet() const { return structureSheet_; }
    void requestStructure(StructureSheet request);
    void clearStructureSheet();
    // The deletion awaiting confirmation; any dismissal of the dialog clears it.
    const std::optional<DeleteTarget>& deleteTarget() const { return deleteTarget_; }
    void requestDelete(DeleteTarget target);
    void clearDeleteTarget();

    // ---- loading ----
    // Brings rows, codes and tree up to date (the items written since the last read, or everything
    // when that cannot be known), then re-finds the selected row. One read runs at a time: a newer
    // run waits for it and then reads what it missed; a run overtaken while waiting ends at once.
    QCoro::Task<> refresh();
    // Rebuilds the selected row and the detail for the selection; an overtaken run is dropped.
    QCoro::Task<> loadDetail();
    // Stores the selected item's website; a failure is raised to the pane and changes nothing here.
    QCoro::Task<> saveWebsite(Uuid id, std::optional<std::string> url, bool strictMatch);

    // ---- derived ----
    std::vector<GroupNode> allGroups() const;
    // The rows the filter keeps, in one pass over the listing.
    std::vector<ItemRow> visibleRows() const;
    Filter filterNow() const { return Filter(sidebar_, search_, allGroups()); }
    Content content() const { return content(!visibleRows().empty()); }
    // The same, when the caller already knows whether any row is visible.
    Content content(bool anyVisible) const;
    Detail detail() const;
    // The list title; `tierTitle` names a tier identifier (unknown ones as the gated tier).
    QString contentTitle(const std::function<QString(const QString&)>& tierTitle) const;
    int count(const std::string& tier) const;
    int groupCount(const Uuid& group) const;
    // The name of the selected row's group, for the agent reference.
    std::string groupName(const Uuid& group) const;
    // Every group of every project but the row's own, labelled by path.
    std::vector<MoveTarget> itemMoveTargets(const ItemRow& row) const;
    // Per project: its top level, then every group outside the moved group's subtree.
    std::vector<MoveTarget> groupMoveTargets(const GroupNode& group) const;
    // The sorted direct subgroups of a group, as the sidebar nests them.
    static std::vector<GroupNode> children(const GroupNode& group, const std::vector<GroupNode>& groups);
    static bool canDeleteProject(const ProjectNode& project) { return project.id != AppModel::localOrgID(); }
    const ProjectNode* projectOf(const Uuid& project) const;

    // ---- moves and drops: each answers at once, then awaits one model call per payload, in order ----
    void moveItem(Uuid item, Uuid group);
    void moveGroup(Uuid group, Uuid project, std::optional<Uuid> parent);
    bool dropItemsOnGroup(std::vector<Uuid> items, Uuid group);
    // Groups dropped on a group become its direct subgroups; the target and its subtree are skipped.
    bool dropGroupsOnGroup(std::vector<Uuid> groups, const GroupNode& target);
    // Groups dropped on a project header become its top-level groups.
    bool dropGroupsOnProject(std::vector<Uuid> groups, Uuid project);

    // ---- the pure functions of the window ----
    static std::vector<ItemRow> filter(const std::vector<ItemRow>& rows, const std::optional<SidebarSelection>& sidebar,
                                       const std::string& search, const std::vector<GroupNode>& groups);
    // The list's order: by name as the user's locale sorts it (as the codes list), a function of the
    // rows alone, so rows kept up to date one by one land where a full reload puts them.
    static void sortForList(std::vector<ItemRow>& rows);
    static std::unordered_set<Uuid> descendantGroupIDs(const Uuid& root, const std::vector<GroupNode>& groups);
    // "Project / top / … / group"; stops at a missing parent or at a group already on the path.
    static std::string groupPath(const GroupNode& group, const ProjectNode& project);

signals:
    // Before listsChanged when rows changed: after a whole read any row, else the rows of these items.
    void rowsChanged(bool whole, const std::vector<vael::Uuid>& items);
    void listsChanged();  // rows, codes or tree
    void sidebarChanged();
    void selectedItemIDChanged();
    void selectedRowChanged();
    void detailChanged();
    void searchChanged();
    void expandedProjectsChanged();
    void addRequestChanged();
    void totpRequestChanged();
    void structureSheetChanged();
    void deleteTargetChanged();

private:
    void setSelectedRow(std::optional<ItemRow> row);
    std::optional<ItemRow> findRow(const Uuid& id) const;
    QCoro::Task<> runDrop(std::vector<std::function<QCoro::Task<>()>> moves);

    AppModel& app_;
    VaultListing listing_;
    std::shared_ptr<QPromise<void>> reading_;  // the read in flight, finished when it is taken in
    std::optional<SidebarSelection> sidebar_ = SidebarSelection::all();
    std::optional<Uuid> selectedItemID_;
    std::optional<ItemRow> selectedRow_;
    std::optional<ItemPayload> detailPayload_;
    std::optional<Uuid> detailFor_;  // the item the payload was loaded for
    std::string search_;
    std::set<Uuid> expandedProjects_;
    std::optional<AddItemRequest> addRequest_;
    std::optional<AddTOTPRequest> totpRequest_;
    std::optional<StructureSheet> structureSheet_;
    std::optional<DeleteTarget> deleteTarget_;
    std::uint64_t refreshRun_ = 0;
    std::uint64_t detailRun_ = 0;
};

}  // namespace vael
