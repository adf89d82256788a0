// The key records of "vault.json": wrapped keys and account public keys.
#include <cstddef>
#include <cstdint>

#include "crypto/KeyRecords.h"
#include "crypto/CryptoError.h"

namespace {

template <class Record>
void readBack(const nlohmann::json& json) {
    try {
        const Record record = json.get<Record>();
        const nlohmann::ordered_json written = record;
        if (nlohmann::json::parse(written.dump()).get<Record>() != record) __builtin_trap();
    } catch (const vael::VaelCryptoError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = nlohmann::json::parse(data, data + size, nullptr, false);
    if (json.is_discarded()) return 0;
    const auto each = [](const nlohmann::json& value) {
        readBack<vael::WrappedKey>(value);
        readBack<vael::AccountPublicKeys>(value);
        readBack<vael::KdfParams>(value);
    };
    each(json);
    if (json.is_array())
        for (const auto& element : json) each(element);
    return 0;
}
