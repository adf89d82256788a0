// What a browser extension may ask of the vault: the logins of the page it is on, filling one of
// them, its current one-time code, and saving a login typed into the page. Tiers play no part.
#include <algorithm>

#include "app/agent/ops/AgentText.h"
#include "app/agent/ops/BrowserMatchPolicy.h"
#include "app/agent/ops/ItemSourceSupport.h"
#include "crypto/RegistrableDomain.h"
#include "crypto/TOTP.h"

namespace vael {

using namespace itemsource;
using Case = VaultUDSManagementError::Case;
using BrowserCandidate = StoreVaultItemSource::BrowserCandidate;

namespace {

std::optional<std::string> firstValue(const ItemPayload& payload, ItemField::Kind kind) {
    if (auto index = firstOfKind(payload, kind)) return payload.fields[*index].value;
    return std::nullopt;
}

bool belongsTo(const BrowserCandidate& candidate, const std::string& origin) {
    return BrowserMatchPolicy::matches(candidate.payload.url, candidate.payload.strictMatch.value_or(false), origin);
}

bool usable(const ItemPayload& payload) {
    return payload.url && firstOfKind(payload, ItemField::Kind::password).has_value();
}

VaultUDSBrowserItem view(const BrowserCandidate& candidate) {
    const auto& payload = candidate.payload;
    return VaultUDSBrowserItem{
        .id = candidate.record.id.text(),
        .name = payload.name,
        .username = firstValue(payload, ItemField::Kind::username),
        .url = payload.url,
        .group = candidate.collection.name,
        .strict = payload.strictMatch.value_or(false),
        .hasOtp = firstOfKind(payload, ItemField::Kind::otp).has_value(),
    };
}

}  // namespace

std::vector<BrowserCandidate> StoreVaultItemSource::browserCandidates(OnReadFailure policy) const {
    const auto snapshotView = snapshot(policy);
    std::vector<BrowserCandidate> candidates;
    for (const auto& context : snapshotView->collections) {
        Reads reads{policy};
        for (auto& row : read(reads, [&] { return store_->items(context.record.id); })) {
            if (row.deleted) continue;
            auto payload = openPayload(row, context.key);
            if (!payload || !usable(*payload)) continue;
            candidates.push_back(BrowserCandidate{std::move(row), std::move(*payload), context});
        }
    }
    return candidates;
}

BrowserCandidate StoreVaultItemSource::browserItem(const std::optional<std::string>& idText,
                                                   const std::optional<std::string>& originText) const {
    const auto origin = trimmedOr(originText, {});
    if (origin.empty() || !BrowserMatchPolicy::pageEligible(origin)) fail(Case::invalid);
    const auto id = Uuid::parse(trimmedOr(idText, {}));
    if (!id) fail(Case::invalid);
    requireUnlocked();

    // Only the item's own row can be the candidate with its id: read that one, not every item.
    std::optional<ItemRecord> row;
    try {
        row = store_->item(*id);
    } catch (const std::exception&) {
    }
    if (!row || row->deleted) fail(Case::notFound);
    const auto snapshotView = snapshot(OnReadFailure::empty);
    for (const auto& context : snapshotView->collections) {
        if (context.record.id != row->collectionId) continue;
        auto payload = openPayload(*row, context.key);
        if (!payload || !usable(*payload)) break;
        BrowserCandidate candidate{std::move(*row), std::move(*payload), context};
        // A login of another site is reported exactly like a missing one.
        if (!belongsTo(candidate, origin)) break;
        return candidate;
    }
    fail(Case::notFound);
}

VaultUDSBrowserMatches StoreVaultItemSource::browserMatch(const VaultUDSRequest& request) {
    const auto origin = trimmedOr(request.url, {});
    if (origin.empty()) fail(Case::invalid);
    if (!BrowserMatchPolicy::pageEligible(origin)) return {};
    requireUnlocked();
    VaultUDSBrowserMatches matches;
    for (const auto& candidate : browserCandidates(OnReadFailure::empty)) {
        if (belongsTo(candidate, origin)) matches.items.push_back(view(candidate));
    }
    std::stable_sort(matches.items.begin(), matches.items.end(),
                     [](const VaultUDSBrowserItem& a, const VaultUDSBrowserItem& b) {
                         return canonicallyLess(a.name, b.name);
                     });
    return matches;
}

VaultUDSBrowserFill StoreVaultItemSource::browserFill(const VaultUDSRequest& request) {
    const auto candidate = browserItem(request.id, request.url);
    const auto password = firstOfKind(candidate.payload, ItemField::Kind::password);
    if (!password) fail(Case::notFound);
    VaultUDSBrowserFill fill;
    fill.password = candidate.payload.fields[*password].value;
    if (auto otp = firstOfKind(candidate.payload, ItemField::Kind::otp)) {
        try {
            fill.totp = TOTP::code(candidate.payload.fields[*otp].value, now());
        } catch (const TOTPError&) {
            // A broken seed does not stand in the way of filling the login.
        }
    }
    fill.username = firstValue(candidate.payload, ItemField::Kind::username);
    return fill;
}

VaultUDSBrowserTotp StoreVaultItemSource::browserTotp(const VaultUDSRequest& request) {
    const auto candidate = browserItem(request.id, request.url);
    const auto otp = firstOfKind(candidate.payload, ItemField::Kind::otp);
    if (!otp) fail(Case::notFound);
    const auto& seed = candidate.payload.fields[*otp].value;
    // One reading of the clock: the code and its remaining seconds describe the same moment.
    const auto at = now();
    VaultUDSBrowserTotp answer;
    answer.code = TOTP::code(seed, at);
    answer.remaining = TOTP::remaining(seed, at);
    return answer;
}

VaultUDSSecretMetadata StoreVaultItemSource::browserSave(const VaultUDSRequest& request) {
    const auto origin = trimmedOr(request.url, {});
    if (origin.empty()) fail(Case::invalid);
    const SecretText password(trimmedOr(request.value, {}));
    if (password.empty()) fail(Case::invalid);
    if (!BrowserMatchPolicy::pageEligible(origin)) fail(Case::invalid);
    requireUnlocked();
    auto username = trimmedOr(request.username, {});
    const auto wanted = username.empty() ? std::nullopt : std::optional(std::move(username));

    // A failed read must not pass for "no such login": that would save a duplicate. The login is
    // changed under its write lock, and looked for again when it was written meanwhile.
    for (bool again = true; again;) {
        again = false;
        for (const auto& candidate : browserCandidates(OnReadFailure::raise)) {
            if (!belongsTo(candidate, origin)) continue;
            const auto stored = firstValue(candidate.payload, ItemField::Kind::username);
            const bool sameUser = stored && wanted ? canonicallyEqual(*stored, *wanted) : stored == wanted;
            if (!sameUser) continue;
            auto lock = store_->lockRecordForWrite(candidate.record.id);
            if (unchangedSince(candidate.record)) return updatePassword(candidate, password.text(), lock);
            again = true;
            break;
        }
    }

    auto name = trimmedOr(request.name, {});
    if (name.empty()) {
        const auto host = RegistrableDomain::host(origin);
        name = host ? RegistrableDomain::readableHost(*host) : origin;
    }
    const auto target = targetGroup(trimmedOr(request.group, {}), {});
    const auto id = Uuid::random();
    ItemPayload payload;
    payload.name = std::move(name);
    if (wanted) payload.fields.push_back(ItemField{"username", ItemField::Kind::username, *wanted, false});
    payload.fields.push_back(ItemField{"password", ItemField::Kind::password, password.text(), true});
    payload.url = origin;
    writeNewItem(itemBody(id, target.record.id, "login", sealPayload(payload, id, target.key),
                          std::string(toText(UDSAIAccess::humanGated)), 1),
                 nameTag(payload.name, target.key));
    return metadata(id, target.name, payload, payload.fields.back(), UDSAIAccess::humanGated);
}

// The hold is given up while the server is asked, and taken again for the retry after a conflict.
VaultUDSSecretMetadata StoreVaultItemSource::updatePassword(const BrowserCandidate& candidate,
                                                           const std::string& password, SyncEngine::RecordHold& hold) {
    const auto& id = candidate.record.id;
    ItemPayload payload = candidate.payload;
    const auto field = firstOfKind(payload, ItemField::Kind::password);
    if (!field) fail(Case::notFound);
    payload.fields[*field].value = password;
    // The stored type and tier stay as they are.
    auto body = itemBody(id, candidate.collection.record.id, candidate.record.type,
                         sealPayload(payload, id, candidate.collection.key), candidate.record.aiAccess,
                         candidate.record.revision);
    const auto tag = nameTag(payload.name, candidate.collection.key);
    if (!syncEngine_) {
        writeChangedItem(body, tag);
        return metadata(id, candidate.collection.name, payload, payload.fields[*field],
                        tierOf(candidate.record.aiAccess));
    }
    std::optional<SyncAPIError> conflict;
    try {
        syncEngine_->write(body, tag, &hold);
    } catch (const SyncAPIError& error) {
        if (error.kind() != SyncAPIError::Kind::conflict) throw;
        conflict = error;
    }
    if (!conflict) {
        return metadata(id, candidate.collection.name, payload, payload.fields[*field],
                        tierOf(candidate.record.aiAccess));
    }

    // The engine has stored the server's newer copy. Apply only the password change to that copy,
    // so that nothing else the server holds is overwritten.
    hold = store_->lockRecordForWrite(id);
    const auto server = store_->item(id);
    if (!server || server->deleted) throw *conflict;
    const auto snapshotView = snapshot(OnReadFailure::empty);
    for (const auto& context : snapshotView->collections) {
        if (context.record.id != server->collectionId) continue;
        auto theirs = openPayload(*server, context.key);
        if (!theirs) break;
        const auto theirField = firstOfKind(*theirs, ItemField::Kind::password);
        if (!theirField) fail(Case::notFound);
        theirs->fields[*theirField].value = password;
        syncEngine_->write(itemBody(id, context.record.id, server->type, sealPayload(*theirs, id, context.key),
                                    server->aiAccess, server->revision),
                           nameTag(theirs->name, context.key), &hold);
        return metadata(id, context.name, *theirs, theirs->fields[*theirField], tierOf(server->aiAccess));
    }
    throw *conflict;
}

}  // namespace vael
