#pragma once

// Row forms of the records: how each one binds into a statement and reads back from a result row.
// Bound parameters ?1..?N and result columns 0..N-1 both follow the table's column order.

#include <SQLiteCpp/Statement.h>

#include <string>

#include "store/PendingOp.h"
#include "store/Records.h"

namespace vael::rows {

struct Columns {
    const char* table;
    const char* list;  // "id, collectionId, ..." in table order
    int count;
};

inline constexpr Columns kItemColumns{
    "items",
    "id, collectionId, type, nameBlob, contentBlob, cryptoParams, wrappedItemKey, aiAccess, revision, updatedAt, "
    "deleted",
    11};
inline constexpr Columns kCollectionColumns{
    "collections", "id, orgId, parentId, nameBlob, nameWrappedKey, sort, wrappedKey, updatedAt, deleted", 9};
inline constexpr Columns kProjectColumns{"projects", "id, nameBlob, nameWrappedKey, sort, updatedAt, deleted", 6};
inline constexpr Columns kPendingOpColumns{"pending_ops", "opId, kind, itemId, payloadBlob, baseRevision, createdAt",
                                           6};

void bind(SQLite::Statement& statement, const ItemRecord& record);
void bind(SQLite::Statement& statement, const CollectionRecord& record);
void bind(SQLite::Statement& statement, const ProjectRecord& record);
void bind(SQLite::Statement& statement, const PendingOpRecord& record);

// Each throws SQLite::Exception (SQLITE_MISMATCH) naming the column when a value does not decode.
ItemRecord readItem(const SQLite::Statement& row);
CollectionRecord readCollection(const SQLite::Statement& row);
ProjectRecord readProject(const SQLite::Statement& row);
PendingOpRecord readPendingOp(const SQLite::Statement& row);

void bindText(SQLite::Statement& statement, int index, const std::string& text);
void bindBytes(SQLite::Statement& statement, int index, const Bytes& bytes);
void bindTime(SQLite::Statement& statement, int index, TimePoint time);
std::optional<TimePoint> readOptionalTime(const SQLite::Statement& row, int column, const char* table);

// "INSERT INTO t (cols) VALUES (?1, ..., ?N)" and "UPDATE t SET col2 = ?2, ... WHERE id = ?1".
std::string insertSql(const Columns& columns);
std::string updateSql(const Columns& columns);
std::string selectSql(const Columns& columns, const std::string& tail);

}  // namespace vael::rows
