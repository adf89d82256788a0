#pragma once

#include <QByteArray>
#include <QMimeData>
#include <QString>

#include <optional>
#include <string_view>

#include "core/Uuid.h"

namespace vael {

// The drag formats the window declares for itself. They never leave the application.
inline constexpr std::string_view vaelItemRef = "com.dastrel.vael.item-ref";
inline constexpr std::string_view vaelGroupRef = "com.dastrel.vael.group-ref";

// Reference payloads for dragging items and groups: only the identifier travels, never a name or a
// secret. Encoded as exactly {"id":"<UPPER-CASE UUID>"}; decoding reads any JSON object whose "id"
// is a UUID text (other members ignored) and refuses everything else, and anything over 1 KiB.
namespace DragPayload {

inline constexpr qsizetype kMaxBytes = 1024;

QByteArray encode(const Uuid& id);
std::optional<Uuid> decode(const QByteArray& data);

}  // namespace DragPayload

// One reference, carried under its own format so that an item never lands where only groups are
// taken, nor the other way round. One record per drag.
template <const std::string_view* Format>
struct DragReference {
    Uuid id;

    static QString mimeType() { return QString::fromLatin1(Format->data(), static_cast<qsizetype>(Format->size())); }
    QByteArray encode() const { return DragPayload::encode(id); }
    static std::optional<DragReference> decode(const QByteArray& data) {
        if (auto id = DragPayload::decode(data)) return DragReference{*id};
        return std::nullopt;
    }
    void writeTo(QMimeData& mime) const { mime.setData(mimeType(), encode()); }
    static std::optional<DragReference> readFrom(const QMimeData& mime) {
        if (!mime.hasFormat(mimeType())) return std::nullopt;
        return decode(mime.data(mimeType()));
    }

    bool operator==(const DragReference&) const = default;
};

using DraggedItem = DragReference<&vaelItemRef>;
using DraggedGroup = DragReference<&vaelGroupRef>;

}  // namespace vael
