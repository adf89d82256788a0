// Any bytes in vault.json either read as a configuration that writes back to one reading the same,
// or fail with VaultConfigError; nothing else escapes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/custody/VaultConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto config = vael::decodeVaultConfig(text);
        const auto again = vael::decodeVaultConfig(vael::encodeVaultConfig(config));
        if (again.serverAccount != config.serverAccount || again.serverBootstrapped != config.serverBootstrapped ||
            again.autoLockMinutes != config.autoLockMinutes ||
            again.wrappedAccountPrivKeys != config.wrappedAccountPrivKeys ||
            again.accountPublicKeys != config.accountPublicKeys || again.wrappedKeys.size() != config.wrappedKeys.size())
            std::abort();
    } catch (const vael::VaultConfigError&) {
    }
    return 0;
}
