#include "app/model/window/DragPayloads.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace vael::DragPayload {

QByteArray encode(const Uuid& id) { return QByteArray("{\"id\":\"") + QByteArray::fromStdString(id.text()) + "\"}"; }

std::optional<Uuid> decode(const QByteArray& data) {
    if (data.size() > kMaxBytes) return std::nullopt;
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const auto id = document.object().value(QStringLiteral("id"));
    if (!id.isString()) return std::nullopt;
    return Uuid::parse(id.toString().toStdString());
}

}  // namespace vael::DragPayload
