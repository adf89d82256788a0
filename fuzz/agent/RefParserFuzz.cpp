// Any reference text an agent sends: parsing never crashes, fails only with its own error, and a
// parsed reference written out parses back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/agent/VaultRef.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        auto ref = vael::VaultRef::parse(text);
        if (ref.collection.empty() || ref.item.empty() || ref.field.empty()) std::abort();
        if (vael::VaultRef::parse(ref.text()) != ref) std::abort();
    } catch (const vael::VaultRef::ParseError&) {
    }
    return 0;
}
