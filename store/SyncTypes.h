#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "core/Time.h"
#include "core/Uuid.h"
#include "store/Records.h"

namespace vael {

// One item as exchanged with the server: an ItemRecord without its tombstone flag.
struct ItemBody {
    Uuid id;
    Uuid collectionId;
    std::string type;
    Bytes nameBlob;
    Bytes contentBlob;
    std::string cryptoParams;  // raw JSON text, kept verbatim
    Bytes wrappedItemKey;
    std::string aiAccess;
    std::int64_t revision = 0;
    TimePoint updatedAt;

    ItemRecord toRecord(bool deleted) const;
    // Every field but the tombstone flag.
    static ItemBody fromRecord(const ItemRecord& record);

    bool operator==(const ItemBody&) const = default;
};

// The header of one changed item in a sync answer; the body is fetched when needed.
struct SyncItemDelta {
    Uuid id;
    Uuid collectionId;
    std::int64_t revision = 0;
    TimePoint updatedAt;
    bool deleted = false;

    bool operator==(const SyncItemDelta&) const = default;
};

// One changed group in a sync answer. The name's key (wrapped by the group key) is absent on groups
// the server got without one.
struct SyncCollectionDelta {
    Uuid id;
    Uuid orgId;
    std::optional<Uuid> parentId;
    Bytes nameBlob;
    std::int64_t sort = 0;
    Bytes wrappedKey;
    TimePoint updatedAt;
    bool deleted = false;
    std::optional<Bytes> nameWrappedKey = std::nullopt;

    bool operator==(const SyncCollectionDelta&) const = default;
};

struct SyncResponse {
    TimePoint now;  // the server's time of the answer: the next pull asks from here
    std::vector<SyncItemDelta> items;
    std::vector<SyncCollectionDelta> collections;
    // The change time of the oldest record left out because it could not be read: the next pull
    // has to ask from before it.
    std::optional<TimePoint> oldestUnreadable = std::nullopt;

    bool operator==(const SyncResponse&) const = default;
};

struct PushResult {
    std::int64_t newRevision = 0;

    bool operator==(const PushResult&) const = default;
};

// An item whose queued local version met a newer server version.
struct SyncConflict {
    Uuid itemId;
    ItemBody mine;    // the queued local version, with the revision it was based on
    ItemBody theirs;  // the server's current version

    bool operator==(const SyncConflict&) const = default;
};

enum class ConflictChoice { keepMine, keepTheirs };

std::string_view toText(ConflictChoice choice);
// Exact, case-sensitive; any other text is no choice.
std::optional<ConflictChoice> conflictChoiceFromText(std::string_view text);

// What a replay of the queue did: the conflicts it found, and whether it went through the whole queue
// it read at its start. An incomplete replay left that operation and every later one queued.
struct ReplayOutcome {
    std::vector<SyncConflict> conflicts;
    bool complete = true;
    // It stopped at an operation whose first call was still under way, not at a failure: the next
    // replay finishes it.
    bool stoppedAtFirstCall = false;

    bool operator==(const ReplayOutcome&) const = default;
};

// The one error a VaelSyncAPI implementation throws.
class SyncAPIError : public std::runtime_error {
public:
    enum class Kind {
        conflict,   // the server holds another revision (for a creation: the object exists)
        transport,  // any other failure, described by its text
        offline,    // the server could not be reached
        notFound,   // the object, or the group it belongs in, is gone on the server
    };

    static SyncAPIError conflict(std::int64_t currentRevision);
    static SyncAPIError transport(const std::string& message);
    static SyncAPIError offline();
    static SyncAPIError notFound();

    Kind kind() const { return kind_; }
    std::int64_t currentRevision() const { return currentRevision_; }  // conflict only
    const std::string& message() const { return message_; }             // transport only

    // Same case; equal revision for conflict, equal text for transport.
    bool operator==(const SyncAPIError& other) const;

private:
    SyncAPIError(Kind kind, std::int64_t currentRevision, std::string message, const std::string& what);

    Kind kind_;
    std::int64_t currentRevision_;
    std::string message_;
};

}  // namespace vael
