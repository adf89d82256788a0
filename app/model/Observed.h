#pragma once

#include <utility>

namespace vael {

// Stores value in field and answers whether it changed, so that a change signal fires only then.
template <class T, class V>
bool assignChanged(T& field, V&& value) {
    if (field == value) return false;
    field = std::forward<V>(value);
    return true;
}

}  // namespace vael
