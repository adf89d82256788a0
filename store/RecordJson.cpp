#include "store/RecordJson.h"

#include "store/JsonFields.h"

namespace vael {

std::string toJsonText(const ItemRecord& r) {
    json::Object o;
    o["id"] = r.id.text();
    o["collectionId"] = r.collectionId.text();
    o["type"] = r.type;
    json::putBytes(o, "nameBlob", r.nameBlob);
    json::putBytes(o, "contentBlob", r.contentBlob);
    o["cryptoParams"] = r.cryptoParams;
    json::putBytes(o, "wrappedItemKey", r.wrappedItemKey);
    o["aiAccess"] = r.aiAccess;
    o["revision"] = r.revision;
    json::putTime(o, "updatedAt", r.updatedAt);
    o["deleted"] = r.deleted;
    return json::dump(o);
}

std::string toJsonText(const CollectionRecord& r) {
    json::Object o;
    o["id"] = r.id.text();
    o["orgId"] = r.orgId.text();
    if (r.parentId) o["parentId"] = r.parentId->text();
    json::putBytes(o, "nameBlob", r.nameBlob);
    if (r.nameWrappedKey) json::putBytes(o, "nameWrappedKey", *r.nameWrappedKey);
    o["sort"] = r.sort;
    json::putBytes(o, "wrappedKey", r.wrappedKey);
    json::putTime(o, "updatedAt", r.updatedAt);
    o["deleted"] = r.deleted;
    return json::dump(o);
}

std::string toJsonText(const ProjectRecord& r) {
    json::Object o;
    o["id"] = r.id.text();
    json::putBytes(o, "nameBlob", r.nameBlob);
    json::putBytes(o, "nameWrappedKey", r.nameWrappedKey);
    o["sort"] = r.sort;
    json::putTime(o, "updatedAt", r.updatedAt);
    o["deleted"] = r.deleted;
    return json::dump(o);
}

ItemRecord itemRecordFromJson(std::string_view text) {
    const auto o = json::parseObject(text);
    return ItemRecord{
        .id = json::uuidAt(o, "id"),
        .collectionId = json::uuidAt(o, "collectionId"),
        .type = json::textAt(o, "type"),
        .nameBlob = json::bytesAt(o, "nameBlob"),
        .contentBlob = json::bytesAt(o, "contentBlob"),
        .cryptoParams = json::textAt(o, "cryptoParams"),
        .wrappedItemKey = json::bytesAt(o, "wrappedItemKey"),
        .aiAccess = json::textAt(o, "aiAccess"),
        .revision = json::integerAt(o, "revision"),
        .updatedAt = json::timeAt(o, "updatedAt"),
        .deleted = json::boolAt(o, "deleted"),
    };
}

CollectionRecord collectionRecordFromJson(std::string_view text) {
    const auto o = json::parseObject(text);
    return CollectionRecord{
        .id = json::uuidAt(o, "id"),
        .orgId = json::uuidAt(o, "orgId"),
        .parentId = json::optionalUuidAt(o, "parentId"),
        .nameBlob = json::bytesAt(o, "nameBlob"),
        .nameWrappedKey = json::optionalBytesAt(o, "nameWrappedKey"),
        .sort = json::integerAt(o, "sort"),
        .wrappedKey = json::bytesAt(o, "wrappedKey"),
        .updatedAt = json::timeAt(o, "updatedAt"),
        .deleted = json::boolAt(o, "deleted"),
    };
}

ProjectRecord projectRecordFromJson(std::string_view text) {
    const auto o = json::parseObject(text);
    return ProjectRecord{
        .id = json::uuidAt(o, "id"),
        .nameBlob = json::bytesAt(o, "nameBlob"),
        .nameWrappedKey = json::bytesAt(o, "nameWrappedKey"),
        .sort = json::integerAt(o, "sort"),
        .updatedAt = json::timeAt(o, "updatedAt"),
        .deleted = json::boolAt(o, "deleted"),
    };
}

std::string toJsonText(const ItemBody& b) {
    json::Object o;
    o["id"] = b.id.text();
    o["collectionId"] = b.collectionId.text();
    o["type"] = b.type;
    json::putBytes(o, "nameBlob", b.nameBlob);
    json::putBytes(o, "contentBlob", b.contentBlob);
    o["cryptoParams"] = b.cryptoParams;
    json::putBytes(o, "wrappedItemKey", b.wrappedItemKey);
    o["aiAccess"] = b.aiAccess;
    o["revision"] = b.revision;
    json::putTime(o, "updatedAt", b.updatedAt);
    return json::dump(o);
}

ItemBody itemBodyFromJson(std::string_view text) {
    const auto o = json::parseObject(text);
    return ItemBody{
        .id = json::uuidAt(o, "id"),
        .collectionId = json::uuidAt(o, "collectionId"),
        .type = json::textAt(o, "type"),
        .nameBlob = json::bytesAt(o, "nameBlob"),
        .contentBlob = json::bytesAt(o, "contentBlob"),
        .cryptoParams = json::textAt(o, "cryptoParams"),
        .wrappedItemKey = json::bytesAt(o, "wrappedItemKey"),
        .aiAccess = json::textAt(o, "aiAccess"),
        .revision = json::integerAt(o, "revision"),
        .updatedAt = json::timeAt(o, "updatedAt"),
    };
}

}  // namespace vael
