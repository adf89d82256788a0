#pragma once

#include <exception>
#include <optional>
#include <string>

namespace vael {

// What a failed file or replica access means to a person ("disk full", "read-only", "damaged", ...),
// so that a storage fault is named as one rather than passed off as something else. Nothing when
// the error is not a storage fault.
std::optional<std::string> storageFaultCause(const std::exception& error);

}  // namespace vael
