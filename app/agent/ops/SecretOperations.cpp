// Listing, creating, reading, changing and deleting secrets: one field of one item, to an agent.
#include <algorithm>

#include "app/agent/PromptText.h"
#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/ItemSourceSupport.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;

// The change a request makes to the item as found; nothing is written.
struct StoreVaultItemSource::PlannedChange {
    ItemPayload payload;
    ItemField updated;
    ItemField::Kind kind = ItemField::Kind::token;
    UDSAIAccess tier = UDSAIAccess::aiHidden;
    std::string groupName;
    std::string projectName;
    bool movesGroup = false;
};

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
    return kind != found.field.kind || changed.url != found.payload.url ||
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

// The owner's words for a tier.
std::string_view tierWords(UDSAIAccess tier) {
    switch (tier) {
        case UDSAIAccess::injectable: return "AI-Usable";
        case UDSAIAccess::humanGated: return "Gated";
        case UDSAIAccess::aiHidden: return "Hidden";
    }
    return "Hidden";
}

std::string listWords(const std::optional<std::vector<std::string>>& list) {
    if (!list) return "none";
    std::string words;
    for (const auto& entry : *list) {
        if (!words.empty()) words += ", ";
        words += quotedName(entry);
    }
    return words;
}

}  // namespace

// One sentence for each part of the change, each naming the item as it is now; the name and every
// text an agent chose are cut and cleaned as prompts show them.
std::string StoreVaultItemSource::describeChange(const FoundItem& found, const PlannedChange& change) {
    const auto item = quotedName(found.payload.name);
    std::vector<std::string> parts;
    if (change.payload.name != found.payload.name) {
        parts.push_back("Rename " + item + " to " + quotedName(change.payload.name));
    }
    const auto& before = found.field;
    const auto& after = change.updated;
    const auto field = quotedName(before.label);
    if (after.value != before.value) parts.push_back("Replace the value of " + field + " of " + item);
    if (after.label != before.label) {
        parts.push_back("Rename the field " + field + " of " + item + " to " + quotedName(after.label));
    }
    if (after.kind != before.kind) {
        parts.push_back("Change the kind of the field " + field + " of " + item + " to " +
                        std::string(kindText(after.kind)));
    }
    const auto username = [](const ItemPayload& payload) -> std::optional<std::string> {
        if (auto index = firstOfKind(payload, ItemField::Kind::username)) return payload.fields[*index].value;
        return std::nullopt;
    };
    const auto usernameBefore = username(found.payload);
    const auto usernameAfter = username(change.payload);
    // The field this request changes is already named above, whatever its kind.
    if (before.kind != ItemField::Kind::username && after.kind != ItemField::Kind::username &&
        usernameBefore != usernameAfter) {
        parts.push_back(usernameAfter ? (usernameBefore ? "Change the username of " : "Add a username to ") + item
                                      : "Remove the username of " + item);
    }
    if (change.payload.url != found.payload.url) {
        parts.push_back(change.payload.url
                            ? "Set the website of " + item + " to " + quotedName(*change.payload.url)
                            : "Remove the website of " + item);
    }
    if (change.payload.allowedHosts != found.payload.allowedHosts) {
        parts.push_back("Set the allowed hosts of " + item + " to " + listWords(change.payload.allowedHosts));
    }
    if (change.payload.allowedCommands != found.payload.allowedCommands) {
        parts.push_back("Set the allowed commands of " + item + " to " + listWords(change.payload.allowedCommands));
    }
    if (change.movesGroup) {
        const auto group = change.groupName.empty() ? found.collection.name : change.groupName;
        auto move = "Move " + item + " to the group " + quotedName(group);
        if (!change.projectName.empty()) move += " of the project " + quotedName(change.projectName);
        parts.push_back(std::move(move));
    }
    if (change.tier != tierOf(found.record.aiAccess)) {
        parts.push_back("Change AI access of " + item + " to " + std::string(tierWords(change.tier)));
    }
    if (parts.empty()) return "Change automated access to " + item + " in Vael";
    std::string reason;
    for (const auto& part : parts) reason += (reason.empty() ? "" : " ") + part + ".";
    return reason;
}

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

StoreVaultItemSource::PlannedChange StoreVaultItemSource::planChange(const FoundItem& found,
                                                                    const VaultUDSRequest& request) const {
    PlannedChange change;
    change.payload = found.payload;
    auto& payload = change.payload;

    const auto kind = request.kind ? kindFromText(*request.kind) : std::optional(found.field.kind);
    if (!kind) fail(Case::invalid);
    const auto tier = aiAccessFromText(request.aiAccess ? *request.aiAccess : found.record.aiAccess);
    if (!tier) fail(Case::invalid);
    change.kind = *kind;
    change.tier = *tier;

    if (auto name = trimmedOr(request.name, {}); !name.empty()) payload.name = std::move(name);
    change.updated = found.field;
    change.updated.label = trimmedOr(request.fieldLabel, found.field.label);
    change.updated.kind = *kind;
    if (request.value) change.updated.value = *request.value;
    payload.fields[found.fieldIndex] = change.updated;

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
    change.groupName = trimmedOr(request.group, {});
    change.projectName = trimmedOr(request.project, {});
    change.movesGroup = namesAnotherGroup(found.collection, change.groupName, change.projectName);
    return change;
}

// The owner is asked with no lock held, about the item as it is then; the lock is taken after the
// answer and the item read again. An item that changed meanwhile is asked about once more; one
// that changes again is left as it is, and a renamed or moved one is no longer found by the ref.
VaultUDSSecretMetadata StoreVaultItemSource::updateSecret(const VaultUDSRequest& request,
                                                         const ApproveChange& approve) {
    constexpr int kMostPrompts = 2;
    if (!request.ref) fail(Case::invalid);
    const auto ref = VaultRef::parse(*request.ref);
    std::optional<ItemRecord> approvedFor;
    int prompts = 0;
    for (;;) {
        const auto found = findItem(ref);
        // Checked before anything is written, so an invalid request cannot leave a new group or
        // project behind.
        const auto change = planChange(found, request);
        if (needsOwnerApproval(found, change.payload, change.kind, change.tier, change.movesGroup) &&
            approvedFor != std::optional(found.record)) {
            if (prompts == kMostPrompts) fail(Case::conflict);
            ++prompts;
            if (!approve(describeChange(found, change))) fail(Case::cancelled);
            approvedFor = found.record;
        }
        auto lock = store_->lockRecordForWrite(found.record.id);
        if (!unchangedSince(found.record)) continue;

        const auto target = change.groupName.empty() && change.projectName.empty()
                                ? found.collection
                                : ensureGroup(change.groupName.empty() ? found.collection.name : change.groupName,
                                              change.projectName.empty() ? found.collection.project
                                                                         : change.projectName,
                                              std::nullopt);
        if (target.record.id != found.collection.record.id || change.payload.name != found.payload.name) {
            refuseItemNameClash(target, change.payload.name, found.record.id);
        }
        // The stored type stays: an agent's change must not turn, say, an SSH key into a login.
        writeChangedItem(itemBody(found.record.id, target.record.id, found.record.type,
                                  sealPayload(change.payload, found.record.id, target.key),
                                  std::string(toText(change.tier)), found.record.revision),
                         nameTag(change.payload.name, target.key), &lock);
        return metadata(found.record.id, target.name, change.payload, change.updated, change.tier);
    }
}

// The item the owner was asked about, by id: renamed, moved or deleted meanwhile, it is not found.
VaultUDSDeleteResult StoreVaultItemSource::deleteSecret(const VaultUDSRequest& request, const ApproveChange& approve) {
    if (!request.ref) fail(Case::invalid);
    const auto found = findItem(VaultRef::parse(*request.ref));
    if (!approve("Delete " + promptName(found.payload.name) + " from Vael")) fail(Case::cancelled);
    auto lock = store_->lockRecordForWrite(found.record.id);
    const auto row = store_->item(found.record.id);
    if (!row || row->deleted || row->collectionId != found.record.collectionId) fail(Case::notFound);
    if (*row != found.record) {
        const auto now = openPayload(*row, found.collection.key);
        if (!now || now->name != found.payload.name) fail(Case::notFound);
    }
    tombstoneItemHeld(found.record.id, lock);
    return VaultUDSDeleteResult{true};
}

}  // namespace vael
