#include "app/model/window/AddItemSheetModel.h"

#include <sodium.h>

#include <algorithm>
#include <unordered_set>

#include "app/agent/ops/AgentText.h"
#include "app/items/SmartPaste.h"

namespace vael {

namespace {

void wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
}

// Assigns and signals only when the value differs; a replaced secret is wiped first.
template <class T, class Signal>
void assign(AddItemSheetModel* model, T& field, T value, Signal signal) {
    if (field == value) return;
    if constexpr (std::is_same_v<T, std::string>) wipe(field);
    field = std::move(value);
    emit (model->*signal)();
}

// Whether a folder made by an earlier attempt is still there to take the item.
QCoro::Task<bool> stillInProject(AppModel& app, Uuid project, Uuid folder) {
    auto reading = app.vaultTree();
    const auto tree = co_await std::move(reading);
    for (const auto& node : tree) {
        if (node.id != project) continue;
        for (const auto& group : node.groups)
            if (group.id == folder) co_return true;
    }
    co_return false;
}

}  // namespace

AddItemSheetModel::DraftField::~DraftField() { wipe(value); }

AddItemSheetModel::AddItemSheetModel(AppModel& app, std::optional<AppModel::ProjectNode> project, OnAdded onAdded,
                                     QObject* parent)
    : QObject(parent), app_(app), project_(std::move(project)), onAdded_(std::move(onAdded)) {
    const auto groups = sortedProjectGroups();
    if (!groups.empty()) targetGroupID_ = groups.front().id;
}

AddItemSheetModel::~AddItemSheetModel() {
    wipe(value_);
    wipe(pasteText_);
}

void AddItemSheetModel::setName(std::string name) { assign(this, name_, std::move(name), &AddItemSheetModel::nameChanged); }
void AddItemSheetModel::setFieldLabel(std::string label) {
    assign(this, fieldLabel_, std::move(label), &AddItemSheetModel::fieldLabelChanged);
}
void AddItemSheetModel::setUsername(std::string username) {
    assign(this, username_, std::move(username), &AddItemSheetModel::usernameChanged);
}
void AddItemSheetModel::setValue(std::string value) {
    assign(this, value_, std::move(value), &AddItemSheetModel::valueChanged);
}
void AddItemSheetModel::setTierID(std::string tier) {
    assign(this, tierID_, std::move(tier), &AddItemSheetModel::tierIDChanged);
}
void AddItemSheetModel::setTargetGroupID(std::optional<Uuid> group) {
    assign(this, targetGroupID_, group, &AddItemSheetModel::targetGroupIDChanged);
}
void AddItemSheetModel::setDraftURL(std::string url) {
    assign(this, draftURL_, std::move(url), &AddItemSheetModel::draftURLChanged);
}
void AddItemSheetModel::setBusy(bool busy) { assign(this, busy_, busy, &AddItemSheetModel::busyChanged); }
void AddItemSheetModel::setError(std::optional<std::string> error) {
    assign(this, error_, std::move(error), &AddItemSheetModel::errorChanged);
}

void AddItemSheetModel::setPasteText(std::string text) {
    if (text == pasteText_) return;
    wipe(pasteText_);
    pasteText_ = std::move(text);
    emit pasteTextChanged();
    reparse(pasteText_);
}

void AddItemSheetModel::reparse(std::string_view text) {
    auto draft = SmartPaste::parse(text);
    std::vector<DraftField> rows;
    rows.reserve(draft.fields.size());
    for (auto& field : draft.fields) rows.push_back({Uuid::random(), field.label, field.value, field.concealed});
    draftFields_ = std::move(rows);
    emit draftRowsChanged();
    if (draft.url) setDraftURL(*draft.url);
    if (name_.empty() && draft.name) setName(*draft.name);
}

AddItemSheetModel::DraftField* AddItemSheetModel::draft(const Uuid& id) {
    auto it = std::find_if(draftFields_.begin(), draftFields_.end(), [&](const DraftField& f) { return f.id == id; });
    return it == draftFields_.end() ? nullptr : &*it;
}

void AddItemSheetModel::setDraftLabel(const Uuid& id, std::string label) {
    auto* field = draft(id);
    if (!field || field->label == label) return;
    field->label = std::move(label);
    emit draftFieldChanged(id);
}

void AddItemSheetModel::setDraftValue(const Uuid& id, std::string value) {
    auto* field = draft(id);
    if (!field || field->value == value) return;
    wipe(field->value);
    field->value = std::move(value);
    emit draftFieldChanged(id);
}

void AddItemSheetModel::toggleConcealed(const Uuid& id) {
    auto* field = draft(id);
    if (!field) return;
    field->concealed = !field->concealed;
    emit draftFieldChanged(id);
}

void AddItemSheetModel::removeDraft(const Uuid& id) {
    if (std::erase_if(draftFields_, [&](const DraftField& f) { return f.id == id; }) > 0) emit draftRowsChanged();
}

std::string AddItemSheetModel::groupPath(const AppModel::GroupNode& group) const {
    std::vector<std::string_view> names{group.name};
    if (project_) {
        std::unordered_set<Uuid> seen{group.id};
        auto parent = group.parentID;
        while (parent && seen.insert(*parent).second) {
            const auto& groups = project_->groups;
            auto it = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g.id == *parent; });
            if (it == groups.end()) break;
            names.push_back(it->name);
            parent = it->parentID;
        }
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty()) path += " / ";
        path += *it;
    }
    return path;
}

std::vector<AppModel::GroupNode> AddItemSheetModel::sortedProjectGroups() const {
    if (!project_) return {};
    std::vector<std::pair<std::string, AppModel::GroupNode>> keyed;
    keyed.reserve(project_->groups.size());
    for (const auto& group : project_->groups) keyed.emplace_back(groupPath(group), group);
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return canonicallyLess(a.first, b.first); });
    std::vector<AppModel::GroupNode> sorted;
    sorted.reserve(keyed.size());
    for (auto& entry : keyed) sorted.push_back(std::move(entry.second));
    return sorted;
}

bool AddItemSheetModel::canAdd() const {
    if (name_.empty() || busy_) return false;
    if (!isDraftMode()) return !value_.empty();
    return std::any_of(draftFields_.begin(), draftFields_.end(), [](const DraftField& f) { return !f.value.empty(); });
}

ItemPayload AddItemSheetModel::buildPayload() const {
    ItemPayload payload;
    payload.name = name_;
    if (isDraftMode()) {
        for (const auto& field : draftFields_) {
            if (field.value.empty()) continue;
            payload.fields.push_back({field.label, SmartPaste::kind(field.label), field.value, field.concealed});
        }
        auto url = trimWhitespace(draftURL_);
        if (!url.empty()) payload.url = std::move(url);
    } else {
        if (!username_.empty()) payload.fields.push_back({"username", ItemField::Kind::username, username_, false});
        payload.fields.push_back({fieldLabel_, ItemField::Kind::password, value_, true});
    }
    return payload;
}

int AddItemSheetModel::sheetHeight() const { return (isDraftMode() ? 600 : 524) + (project_ ? 56 : 0); }

void AddItemSheetModel::add() {
    if (!canAdd()) return;
    setBusy(true);
    setError(std::nullopt);
    AddRequest request{buildPayload(), tierID_, targetGroupID_,
                       project_ ? std::optional<Uuid>(project_->id) : std::nullopt, madeFolder_};
    runAdd(QPointer<AddItemSheetModel>(this), QPointer<AppModel>(&app_), std::move(request));
}

QCoro::Task<> AddItemSheetModel::runAdd(QPointer<AddItemSheetModel> self, QPointer<AppModel> app, AddRequest request) {
    auto fail = [&self] {
        if (!self) return;
        self->setError(std::string(kAddFailed));
        self->setBusy(false);
    };
    auto group = request.group;
    if (!group && request.project && app) {
        if (request.madeFolder) {
            auto checking = stillInProject(*app, *request.project, *request.madeFolder);
            if (co_await std::move(checking)) group = request.madeFolder;
        }
        if (!group && app) {
            auto making = app->createGroup(std::string(kNewFolderName), *request.project, std::nullopt);
            group = co_await std::move(making);
            if (self && group) self->madeFolder_ = group;
        }
    }
    // Without its folder the item would land in the default group, outside the project.
    if (!app || (!group && request.project)) {
        fail();
        co_return;
    }
    try {
        auto adding = app->addItem(std::move(request.payload), std::string(kItemType), request.tier, group);
        co_await std::move(adding);
    } catch (...) {
        fail();
        co_return;
    }
    if (!self) co_return;
    if (auto onAdded = self->onAdded_) {
        auto reloading = onAdded();
        co_await std::move(reloading);
    }
    if (!self) co_return;
    emit self->added();
    self->setBusy(false);
}

}  // namespace vael
