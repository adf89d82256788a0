// The rows the screens show: items, one-time codes and the tree of projects and groups. Every call
// opens what it shows afresh; no decrypted payload outlives it.

#include <QString>

#include <algorithm>
#include <unordered_map>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemLayout.h"
#include "app/model/AppModel.h"
#include "app/model/DisplayOrder.h"
#include "app/model/Blocking.h"
#include "app/model/ModelVault.h"
#include "crypto/TOTP.h"

namespace vael {

namespace {

// Every readable live item of every live group whose key opens: groups by sort, items in store order.
template <class Visit>
void gatherItems(const ModelVault& work, Visit visit) {
    std::vector<CollectionRecord> groups;
    try {
        groups = work.store().collections();
    } catch (const std::exception&) {
    }
    for (const auto& group : groups) {
        auto key = work.collectionKey(group);
        if (!key) continue;
        std::vector<ItemRecord> items;
        try {
            items = work.store().items(group.id);
        } catch (const std::exception&) {
        }
        for (const auto& item : items) {
            if (item.deleted) continue;
            auto payload = work.loadPayload(ModelVault::Located{item, *key});
            if (payload) visit(group.id, item, *payload);
        }
    }
}

const ItemField* firstOfKind(const ItemPayload& payload, ItemField::Kind kind) {
    for (const auto& field : payload.fields) {
        if (field.kind == kind) return &field;
    }
    return nullptr;
}

std::string projectName(const ModelVault& work, const ProjectRecord& project) {
    try {
        return itemlayout::openName(work.vault(), project.nameBlob, project.id, project.nameWrappedKey,
                                    work.defaultKey());
    } catch (const std::exception&) {
        if (project.id == AppModel::localOrgID()) return "Personal";
        return project.id.text().substr(0, 8);
    }
}

template <class Row>
void sortByName(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return canonicallyLess(a.name, b.name); });
}

}  // namespace

QCoro::Task<std::optional<ItemPayload>> AppModel::loadPayload(Uuid id) {
    auto work = modelVault();
    if (!work) co_return std::nullopt;
    auto job = runBlocking([work = std::move(*work), id] { return work.loadPayload(id); });
    try {
        co_return co_await job;
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

QCoro::Task<std::vector<AppModel::ItemRow>> AppModel::listItems() {
    std::vector<ItemRow> rows;
    auto work = modelVault();
    if (!work) co_return rows;
    auto job = runBlocking([work = std::move(*work)] {
        std::vector<ItemRow> found;
        gatherItems(work, [&](const Uuid& group, const ItemRecord& item, const ItemPayload& payload) {
            if (payload.fields.empty()) return;
            found.push_back(ItemRow{item.id, payload.name, payload.fields.front().label, item.aiAccess, group});
        });
        return found;
    });
    try {
        rows = co_await job;
    } catch (const std::exception&) {
    }
    co_return rows;
}

QCoro::Task<std::vector<AppModel::CodeRow>> AppModel::listCodes() {
    std::vector<CodeRow> rows;
    auto work = modelVault();
    if (!work) co_return rows;
    auto job = runBlocking([work = std::move(*work)] {
        std::vector<CodeRow> found;
        gatherItems(work, [&](const Uuid&, const ItemRecord& item, const ItemPayload& payload) {
            const auto* code = firstOfKind(payload, ItemField::Kind::otp);
            if (!code) return;
            std::optional<std::string> account;
            bool fromSeed = false;
            try {
                auto seed = TOTP::parameters(code->value);
                if (seed.account) {
                    account = *seed.account;
                    fromSeed = true;
                }
            } catch (const std::exception&) {
            }
            if (!fromSeed) {
                if (const auto* username = firstOfKind(payload, ItemField::Kind::username)) account = username->value;
            }
            found.push_back(CodeRow{item.id, payload.name, std::move(account), code->value});
        });
        return found;
    });
    try {
        rows = co_await job;
    } catch (const std::exception&) {
    }
    DisplayOrder().sort(rows);
    co_return rows;
}

QCoro::Task<std::vector<AppModel::ProjectNode>> AppModel::vaultTree() {
    std::vector<ProjectNode> tree;
    auto work = modelVault();
    if (!work) co_return tree;
    auto job = runBlocking([work = std::move(*work)] {
        std::vector<ProjectRecord> projects;
        std::vector<CollectionRecord> groups;
        try {
            projects = work.store().projects();
        } catch (const std::exception&) {
        }
        try {
            groups = work.store().collections();
        } catch (const std::exception&) {
        }
        std::vector<ProjectNode> nodes;
        std::unordered_map<Uuid, std::size_t> byID;
        for (const auto& project : projects) {
            auto name = projectName(work, project);
            if (auto known = byID.find(project.id); known != byID.end()) {
                nodes[known->second].name = std::move(name);
                continue;
            }
            byID.emplace(project.id, nodes.size());
            nodes.push_back(ProjectNode{project.id, std::move(name), {}});
        }
        for (const auto& group : groups) {
            auto key = work.collectionKey(group);
            if (!key) continue;
            auto project = byID.find(group.orgId);
            if (project == byID.end()) continue;
            nodes[project->second].groups.push_back(
                GroupNode{group.id, work.groupName(group, *key), group.orgId, group.parentId});
        }
        for (auto& node : nodes) sortByName(node.groups);
        sortByName(nodes);
        return nodes;
    });
    try {
        tree = co_await job;
    } catch (const std::exception&) {
    }
    co_return tree;
}

}  // namespace vael
