#pragma once

#include <string_view>

namespace vael {

enum class LogLevel { Error, Warning, Info, Debug };

// The one logging function: the systemd journal with subsystem and category as fields, stderr where
// there is no journal. Never pass a secret, a key or a decrypted name.
void logMessage(LogLevel level, std::string_view category, std::string_view message);

inline constexpr std::string_view kLogSubsystem = "com.dastrel.vael";

}  // namespace vael
