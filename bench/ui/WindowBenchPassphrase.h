#pragma once

namespace vael::windowbench {

// The bench vault's passphrase: the seeder sets it, the driver types it into the window.
inline constexpr const char* kPassphrase = "correct horse battery staple";

}  // namespace vael::windowbench
