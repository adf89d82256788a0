// Queued payloads and record JSON come back from a file that anything may have written. The first
// byte picks the reader; whatever a reader accepts must encode and read back to the same value.

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "store/RecordJson.h"

using namespace vael;

namespace {

template <class Record, class Read>
void roundTrip(std::string_view text, Read read) {
    Record record;
    try {
        record = read(text);
    } catch (const JsonDecodingError&) {
        return;
    }
    if (read(toJsonText(record)) != record) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0: roundTrip<CollectionRecord>(text, collectionRecordFromJson); break;
        case 1: roundTrip<ItemRecord>(text, itemRecordFromJson); break;
        case 2: roundTrip<ProjectRecord>(text, projectRecordFromJson); break;
        case 3: roundTrip<ItemBody>(text, itemBodyFromJson); break;
    }
    return 0;
}
