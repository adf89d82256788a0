#pragma once

// Text rules of the agent operations: trimming, canonical equality and ordering of names, and the
// case-insensitive search of item names. Names are UTF-8; bytes that are not become U+FFFD where a
// rule has to read characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vael {

// Without Unicode white space (line breaks included) at both ends.
std::string trimWhitespace(std::string_view text);
// Without spaces and tabs (horizontal white space, no line breaks) at both ends.
std::string trimBlanks(std::string_view text);

// The NFC form. ASCII text is returned as it is.
std::string canonicalForm(std::string_view text);
// Canonically equivalent texts are equal; nothing else is (case matters, nothing is trimmed).
bool canonicallyEqual(std::string_view a, std::string_view b);
// Orders by the Unicode scalar values of the NFC forms.
bool canonicallyLess(std::string_view a, std::string_view b);

// Bytes read as UTF-8, each invalid sequence replaced with U+FFFD.
std::string utf8Lossy(const std::uint8_t* bytes, std::size_t size);

// Whether `text` contains `query` when the case of both is ignored (full case folding of the NFC forms).
bool containsIgnoringCase(std::string_view text, std::string_view query);

// Full Unicode lower-casing (root locale).
std::string lowercased(std::string_view text);

}  // namespace vael
