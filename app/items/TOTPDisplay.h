#pragma once

// How one-time codes are shown: the grouping of a code and the countdown ring's state. Codes are
// computed from the stored seed at the time given; nothing is cached.

#include <optional>
#include <string>
#include <string_view>

#include "core/Time.h"

namespace vael::TOTPDisplay {

// A code of an even number (at least 6) of user-perceived characters split in two halves by one
// space; any other code unchanged.
std::string grouped(std::string_view code);

// The code of a seed at a time, or nothing when it cannot be computed.
std::optional<std::string> codeAt(std::string_view fieldValue, TimePoint date);

// What the countdown ring draws for a seed at a time.
struct Countdown {
    double period = 30;     // the seed's period in seconds; 30 when the seed does not parse
    int remaining = 0;      // whole seconds until the code changes
    double fraction = 0;    // remaining / period: the share of the ring drawn
    bool warning = false;   // 5 s or less left: drawn orange

    bool operator==(const Countdown&) const = default;
};
Countdown countdown(std::string_view fieldValue, TimePoint date);

// The ring's accessible name: "12 seconds until the code changes".
std::string countdownDescription(int remaining);

}  // namespace vael::TOTPDisplay
