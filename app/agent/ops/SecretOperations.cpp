// Listing, creating, reading, changing and deleting secrets: one field of one item, to an agent.
#include <algorithm>

#include "app/agent/UnicodeText.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;

namespace {

// A tier change always needs the owner; so does any change that lets agents or browser operations
// read more of an item that is not injectable (resolve answers a gated username without asking,
// and the browser operations hand out passwords of items with a website whatever their tier), and
// any change that would make the owner's next prompt about it name something else: its name, a
// field's label or value, its username, or its group. Otherwise an agent could rename a guarded
// item to something harmless and have the owner approve a reveal of what it really is.
bool needsOwnerApproval(const StoreVaultItemSource::FoundItem& found, const ItemPayload& changed,
                        ItemField::Kind kind, UDSAIAccess tier, bool movesGroup) {
    const auto stored = tierOf(found.record.aiAccess);
    if (tier != stored) return true;
    if (stored == UDSAIAccess::injectable) return false;
    return kind != found.field.kind || (changed.url && changed.url != found.payload.url) ||
           changed.allowedHosts != found.payload.allowedHosts ||
           changed.allowedCommands != found.payload.allowedCommands || changed.name != found.payload.name ||
           changed.fields != found.payload.fields || movesGroup;
}

// Whether the group and project an update names are other than the item's own group; known
// before ensureGroup, which may create the target.
bool namesAnotherGroup(const StoreVaultItemSource::CollectionContext& current, const std::string& groupName,
                       const std::string& projectName) {
    if (groupName.empty() && projectName.empty()) return false;
    if (current.parentId) return true;  // the target is always a top-level group
    if (!groupName.empty() && !canonicallyEqual(groupName, current.name)) return true;
    // A project may be named by its id.
    return !projectName.empty() && !canonicallyEqual(projectName, current.project) &&
           Uuid::parse(projectName) != std::optional(current.record.orgId);
}

}  // namespace

std::vector<VaultUDSListEntry> StoreVaultItemSource::list(const std::optional<std::string>& collection,
                                                          const std::optional<std::string>& query) {
    requireUnlocked();
    const auto view = snapshot(OnReadFailure::empty);
    struct Sorted {
        std::string key;
        VaultUDSListEntry entry;
    };
    std::vector<Sorted> entries;
    for (const auto& context : view->collections) {
        if (collection && !collection->empty() && !canonicallyEqual(context.name, *collection)) continue;
        Reads reads{OnReadFailure::empty};
        for (const auto& row : read(reads, [&] { return store_->items(context.record.id); })) {
            // Hidden and unknown tiers are left out before anything is decrypted.
            const auto tier = aiAccessFromText(row.aiAccess);
            if (row.deleted || !tier || *tier == UDSAIAccess::aiHidden) continue;
            auto payload = openPayload(row, context.key);
            if (!payload) continue;
            if (query && !query->empty() && !containsIgnoringCase(payload->name, *query)) continue;
            for (const auto& field : payload->fields) {
                auto ref = VaultRef::make(context.name, payload->name, field.label);
                auto key = canonicalForm(ref);
                entries.push_back(Sorted{std::move(key), VaultUDSListEntry{std::move(ref), payload->name,
                                                                           std::string(kindText(field.kind)), *tier}});
            }
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Sorted& a, const Sorted& b) { return a.key < b.key; });
    std::vector<VaultUDSListEntry> answer;
    answer.reserve(entries.size());
    for (auto& sorted : entries) answer.push_back(std::move(sorted.entry));
    return answer;
}

VaultUDSSecretMetadata StoreVaultItemSource::createSecret(const VaultUDSRequest& request) {
    // Every argument is checked before anything is written.
    const auto name = required(request.name);
    const auto label = trimmedOr(request.fieldLabel, "token");
    const SecretText value(required(request.value));
    const auto kind = request.kind ? kindFromText(*request.kind) : ItemField::Kind::token;
    if (!kind) fail(Case::invalid);
    const auto tier = request.aiAccess ? aiAccessFromText(*request.aiAccess) : UDSAIAccess::humanGated;
    if (!tier) fail(Case::invalid);
    const auto groupName = trimmedOr(request.group, {});
    const auto projectName = trimmedOr(request.project, {});
    requireUnlocked();

    const auto target = targetGroup(groupName, projectName);
    refuseItemNameClash(target, name, std::nullopt);
    const auto id = Uuid::random();
    ItemPayload payload;
    payload.name = name;
    if (auto username = trimmedOr(request.username, {}); !username.empty()) {
        payload.fields.push_back(ItemField{"username", ItemField::Kind::username, std::move(username), false});
    }
    payload.fields.push_back(ItemField{label, *kind, value.text(), true});
    if (auto url = trimmedOr(request.url, {}); !url.empty()) payload.url = std::move(url);
    payload.allowedHosts = cleanList(request.allowedHosts);
    payload.allowedCommands = cleanList(request.allowedCommands);

    writeNewItem(itemBody(id, target.record.id, "login", sealPayload(payload, id, target.key),
                          std::string(toText(*tier)), 1),
                 nameTag(payload.name, target.key));
    return metadata(id, target.name, payload, payload.fields.back(), *tier);
}

VaultUDSSecretMetadata StoreVaultItemSource::getSecret(const VaultUDSRequest& request) {
    if (!request.ref) fail(Case::invalid);
    const auto found = findItem(VaultRef::parse(*request.ref));
    return metadata(found.record.id, found.collection.name, found.payload, found.field,
                    tierOf(found.record.aiAccess));
}

VaultUDSSecretMetadata StoreVaultItemSource::updateSecret(const VaultUDSRequest& request,
                                                         const ApproveChange& approve) {
    if (!request.ref) fail(Case::invalid);
    auto locked = findItemForWrite(VaultRef::parse(*request.ref));
    const auto& found = locked.found;
    ItemPayload payload = found.payload;

    // The kind and the tier are checked before anything is written, so an invalid request
    // cannot leave a new group or project behind.
    const auto kind = request.kind ? kindFromText(*request.kind) : std::optional(found.field.kind);
    if (!kind) fail(Case::invalid);
    const auto tier = aiAccessFromText(request.aiAccess ? *request.aiAccess : found.record.aiAccess);
    if (!tier) fail(Case::invalid);

    if (auto name = trimmedOr(request.name, {}); !name.empty()) payload.name = std::move(name);
    const auto label = trimmedOr(request.fieldLabel, found.field.label);
    ItemField updated = found.field;
    updated.label = label;
    updated.kind = *kind;
    if (request.value) updated.value = *request.value;
    payload.fields[found.fieldIndex] = updated;

    if (request.username) {
        const auto username = trimWhitespace(*request.username);
        if (auto index = firstOfKind(payload, ItemField::Kind::username)) {
            if (username.empty()) {
                // Removing the very field this request changes would answer a reference to nothing.
                if (*index == found.fieldIndex) {
                    throw VaultUDSManagementError::invalidBecause(
                        "an empty username would remove the field this ref names");
                }
                payload.fields.erase(payload.fields.begin() + static_cast<std::ptrdiff_t>(*index));
            } else {
                payload.fields[*index].value = username;
            }
        } else if (!username.empty()) {
            payload.fields.insert(payload.fields.begin(),
                                  ItemField{"username", ItemField::Kind::username, username, false});
        }
    }
    if (request.allowedHosts) payload.allowedHosts = cleanList(request.allowedHosts);
    if (request.allowedCommands) payload.allowedCommands = cleanList(request.allowedCommands);
    if (request.url) {
        auto url = trimWhitespace(*request.url);
        payload.url = url.empty() ? std::nullopt : std::optional(std::move(url));
    }

    const auto groupName = trimmedOr(request.group, {});
    const auto projectName = trimmedOr(request.project, {});
    // Asked before anything is written, the group the item may move to included.
    if (needsOwnerApproval(found, payload, *kind, *tier, namesAnotherGroup(found.collection, groupName, projectName)) &&
        !approve("Change automated access to " + displaySafe(found.payload.name) + " in Vael")) {
        fail(Case::cancelled);
    }

    const auto target = groupName.empty() && projectName.empty()
                            ? found.collection
                            : ensureGroup(groupName.empty() ? found.collection.name : groupName,
                                          projectName.empty() ? found.collection.project : projectName, std::nullopt);
    if (target.record.id != found.collection.record.id || payload.name != found.payload.name) {
        refuseItemNameClash(target, payload.name, found.record.id);
    }

    // The stored type stays: an agent's change must not turn, say, an SSH key into a login.
    writeChangedItem(itemBody(found.record.id, target.record.id, found.record.type,
                              sealPayload(payload, found.record.id, target.key), std::string(toText(*tier)),
                              found.record.revision),
                     nameTag(payload.name, target.key), &locked.lock);
    return metadata(found.record.id, target.name, payload, updated, *tier);
}

VaultUDSDeleteResult StoreVaultItemSource::deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve) {
    if (!request.ref) fail(Case::invalid);
    const auto found = findItem(VaultRef::parse(*request.ref));
    if (!approve("Delete " + displaySafe(found.payload.name) + " from Vael")) fail(Case::cancelled);
    tombstoneItem(found.record.id);
    return VaultUDSDeleteResult{true};
}

}  // namespace vael
