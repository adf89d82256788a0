#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace vael {

using TimePoint = std::chrono::system_clock::time_point;

// 2001-01-01 00:00:00 UTC, the zero of the seconds numbers in our own JSON.
inline constexpr std::chrono::seconds kReferenceEpochOffset{978307200};

// The replica's date text: UTC "2025-03-07 09:05:01.250", whole milliseconds (finer precision is cut).
std::string toDatabaseText(TimePoint time);
std::optional<TimePoint> fromDatabaseText(std::string_view text);

// Seconds (with fraction) since 2001-01-01 00:00:00 UTC.
double toReferenceSeconds(TimePoint time);
TimePoint fromReferenceSeconds(double seconds);

// Drops precision finer than a millisecond, as a stored date does.
TimePoint truncatedToMilliseconds(TimePoint time);

}  // namespace vael
