#include "store/RowCodec.h"

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Exception.h>
#include <sqlite3.h>

#include <climits>
#include <sstream>
#include <vector>

namespace vael::rows {

namespace {

[[noreturn]] void undecodable(const SQLite::Statement& row, int column, const char* table) {
    throw SQLite::Exception(std::string("cannot decode ") + table + "." + row.getColumnName(column), SQLITE_MISMATCH);
}

class Reader {
public:
    Reader(const SQLite::Statement& row, const char* table) : row_(row), table_(table) {}

    int type(int c) const { return row_.getColumn(c).getType(); }

    std::string text(int c) const {
        const auto column = row_.getColumn(c);
        if (column.getType() != SQLITE_TEXT) undecodable(row_, c, table_);
        return std::string(column.getText(), static_cast<std::size_t>(column.getBytes()));
    }
    Uuid uuid(int c) const {
        const auto id = Uuid::parse(text(c));
        if (!id) undecodable(row_, c, table_);
        return *id;
    }
    std::optional<Uuid> optionalUuid(int c) const {
        if (type(c) == SQLITE_NULL) return std::nullopt;
        return uuid(c);
    }
    Bytes bytes(int c) const {
        const auto column = row_.getColumn(c);
        if (column.getType() != SQLITE_BLOB) undecodable(row_, c, table_);
        const auto* data = static_cast<const std::uint8_t*>(column.getBlob());
        return Bytes(data, data + column.getBytes());
    }
    std::optional<Bytes> optionalBytes(int c) const {
        if (type(c) == SQLITE_NULL) return std::nullopt;
        return bytes(c);
    }
    std::int64_t integer(int c) const {
        const auto column = row_.getColumn(c);
        if (column.getType() != SQLITE_INTEGER) undecodable(row_, c, table_);
        return column.getInt64();
    }
    bool boolean(int c) const { return integer(c) != 0; }
    TimePoint time(int c) const {
        const auto t = fromDatabaseText(text(c));
        if (!t) undecodable(row_, c, table_);
        return *t;
    }

private:
    const SQLite::Statement& row_;
    const char* table_;
};

}  // namespace

void bindText(SQLite::Statement& statement, int index, const std::string& text) { statement.bind(index, text); }

void bindBytes(SQLite::Statement& statement, int index, const Bytes& bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw SQLite::Exception("blob too large", SQLITE_TOOBIG);
    // A null pointer would bind NULL; an empty blob must stay a zero-length blob.
    static const std::uint8_t kEmpty = 0;
    statement.bind(index, static_cast<const void*>(bytes.empty() ? &kEmpty : bytes.data()),
                   static_cast<int>(bytes.size()));
}

void bindTime(SQLite::Statement& statement, int index, TimePoint time) {
    statement.bind(index, toDatabaseText(time));
}

std::optional<TimePoint> readOptionalTime(const SQLite::Statement& row, int column, const char* table) {
    if (row.getColumn(column).getType() == SQLITE_NULL) return std::nullopt;
    return Reader(row, table).time(column);
}

void bind(SQLite::Statement& s, const ItemRecord& r) {
    s.bind(1, r.id.text());
    s.bind(2, r.collectionId.text());
    bindText(s, 3, r.type);
    bindBytes(s, 4, r.nameBlob);
    bindBytes(s, 5, r.contentBlob);
    bindText(s, 6, r.cryptoParams);
    bindBytes(s, 7, r.wrappedItemKey);
    bindText(s, 8, r.aiAccess);
    s.bind(9, static_cast<std::int64_t>(r.revision));
    bindTime(s, 10, r.updatedAt);
    s.bind(11, r.deleted ? 1 : 0);
}

void bind(SQLite::Statement& s, const CollectionRecord& r) {
    s.bind(1, r.id.text());
    s.bind(2, r.orgId.text());
    if (r.parentId) s.bind(3, r.parentId->text());
    else s.bind(3);
    bindBytes(s, 4, r.nameBlob);
    if (r.nameWrappedKey) bindBytes(s, 5, *r.nameWrappedKey);
    else s.bind(5);
    s.bind(6, static_cast<std::int64_t>(r.sort));
    bindBytes(s, 7, r.wrappedKey);
    bindTime(s, 8, r.updatedAt);
    s.bind(9, r.deleted ? 1 : 0);
}

void bind(SQLite::Statement& s, const ProjectRecord& r) {
    s.bind(1, r.id.text());
    bindBytes(s, 2, r.nameBlob);
    bindBytes(s, 3, r.nameWrappedKey);
    s.bind(4, static_cast<std::int64_t>(r.sort));
    bindTime(s, 5, r.updatedAt);
    s.bind(6, r.deleted ? 1 : 0);
}

void bind(SQLite::Statement& s, const PendingOpRecord& r) {
    s.bind(1, r.opId.text());
    s.bind(2, std::string(toText(r.kind)));
    s.bind(3, r.itemId.text());
    bindBytes(s, 4, r.payloadBlob);
    s.bind(5, static_cast<std::int64_t>(r.baseRevision));
    bindTime(s, 6, r.createdAt);
}

ItemRecord readItem(const SQLite::Statement& row) {
    const Reader r(row, kItemColumns.table);
    return ItemRecord{
        .id = r.uuid(0),
        .collectionId = r.uuid(1),
        .type = r.text(2),
        .nameBlob = r.bytes(3),
        .contentBlob = r.bytes(4),
        .cryptoParams = r.text(5),
        .wrappedItemKey = r.bytes(6),
        .aiAccess = r.text(7),
        .revision = r.integer(8),
        .updatedAt = r.time(9),
        .deleted = r.boolean(10),
    };
}

CollectionRecord readCollection(const SQLite::Statement& row) {
    const Reader r(row, kCollectionColumns.table);
    return CollectionRecord{
        .id = r.uuid(0),
        .orgId = r.uuid(1),
        .parentId = r.optionalUuid(2),
        .nameBlob = r.bytes(3),
        .nameWrappedKey = r.optionalBytes(4),
        .sort = r.integer(5),
        .wrappedKey = r.bytes(6),
        .updatedAt = r.time(7),
        .deleted = r.boolean(8),
    };
}

ProjectRecord readProject(const SQLite::Statement& row) {
    const Reader r(row, kProjectColumns.table);
    return ProjectRecord{
        .id = r.uuid(0),
        .nameBlob = r.bytes(1),
        .nameWrappedKey = r.bytes(2),
        .sort = r.integer(3),
        .updatedAt = r.time(4),
        .deleted = r.boolean(5),
    };
}

PendingOpRecord readPendingOp(const SQLite::Statement& row) {
    const Reader r(row, kPendingOpColumns.table);
    const auto kind = pendingOpKindFromText(r.text(1));
    if (!kind) undecodable(row, 1, kPendingOpColumns.table);
    return PendingOpRecord{
        .opId = r.uuid(0),
        .kind = *kind,
        .itemId = r.uuid(2),
        .payloadBlob = r.bytes(3),
        .baseRevision = r.integer(4),
        .createdAt = r.time(5),
    };
}

namespace {

std::vector<std::string> split(const char* list) {
    std::vector<std::string> names;
    std::stringstream stream(list);
    std::string name;
    while (std::getline(stream, name, ',')) {
        const auto first = name.find_first_not_of(' ');
        names.push_back(name.substr(first));
    }
    return names;
}

}  // namespace

std::string insertSql(const Columns& columns) {
    std::string sql = std::string("INSERT INTO ") + columns.table + " (" + columns.list + ") VALUES (";
    for (int i = 1; i <= columns.count; ++i) sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
    return sql + ")";
}

std::string updateSql(const Columns& columns) {
    const auto names = split(columns.list);
    std::string sql = std::string("UPDATE ") + columns.table + " SET ";
    for (std::size_t i = 1; i < names.size(); ++i)
        sql += (i > 1 ? ", " : "") + names[i] + " = ?" + std::to_string(i + 1);
    return sql + " WHERE " + names[0] + " = ?1";
}

std::string selectSql(const Columns& columns, const std::string& tail) {
    return std::string("SELECT ") + columns.list + " FROM " + columns.table + (tail.empty() ? "" : " " + tail);
}

}  // namespace vael::rows
