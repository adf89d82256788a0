// Any dropped bytes either decode to an identifier whose encoding decodes to it again, or to nothing;
// nothing over the size bound ever decodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "app/model/window/DragPayloads.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto id = vael::DragPayload::decode(bytes);
    if (!id) return 0;
    if (size > static_cast<std::size_t>(vael::DragPayload::kMaxBytes)) std::abort();
    const auto encoded = vael::DragPayload::encode(*id);
    if (encoded.size() != 45 || vael::DragPayload::decode(encoded) != id) std::abort();
    return 0;
}
