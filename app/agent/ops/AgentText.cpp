#include "app/agent/ops/AgentText.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>

namespace vael {

namespace {

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// The text without the code points `drop` accepts at either end; bytes that are not UTF-8 stop the trim.
template <class Drop>
std::string trimmed(std::string_view text, Drop drop) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) return std::string(text);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !drop(c)) break;
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, start, previous, c);
        if (c < 0 || !drop(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

const icu::Normalizer2* nfc() {
    static const icu::Normalizer2* normalizer = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* made = icu::Normalizer2::getNFCInstance(status);
        return U_FAILURE(status) ? nullptr : made;
    }();
    return normalizer;
}

icu::UnicodeString unicode(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) text = text.substr(0, INT32_MAX);
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

icu::UnicodeString normalized(std::string_view text) {
    icu::UnicodeString string = unicode(text);
    const auto* normalizer = nfc();
    if (normalizer == nullptr) return string;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString out = normalizer->normalize(string, status);
    return U_FAILURE(status) ? string : out;
}

std::string utf8(const icu::UnicodeString& string) {
    std::string out;
    string.toUTF8String(out);
    return out;
}

}  // namespace

std::string trimWhitespace(std::string_view text) {
    return trimmed(text, [](UChar32 c) { return u_isUWhiteSpace(c) != 0; });
}

std::string trimBlanks(std::string_view text) {
    return trimmed(text, [](UChar32 c) { return u_isblank(c) != 0; });
}

std::string canonicalForm(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    return utf8(normalized(text));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    return canonicalForm(a) == canonicalForm(b);
}

bool canonicallyLess(std::string_view a, std::string_view b) {
    // UTF-8 byte order is code point order.
    if (isAscii(a) && isAscii(b)) return a < b;
    return canonicalForm(a) < canonicalForm(b);
}

std::string utf8Lossy(const std::uint8_t* bytes, std::size_t size) {
    std::string out;
    out.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        // Chunks stay within int32_t for ICU's macros.
        const auto chunk = static_cast<int32_t>(std::min<std::size_t>(size - i, INT32_MAX / 2));
        int32_t at = 0;
        while (at < chunk) {
            UChar32 c = 0;
            int32_t start = at;
            U8_NEXT(bytes + i, at, chunk, c);
            if (c < 0) {
                out += "\xEF\xBF\xBD";
            } else {
                out.append(reinterpret_cast<const char*>(bytes + i + start), static_cast<std::size_t>(at - start));
            }
        }
        i += static_cast<std::size_t>(chunk);
    }
    return out;
}

bool containsIgnoringCase(std::string_view text, std::string_view query) {
    icu::UnicodeString haystack = normalized(text);
    icu::UnicodeString needle = normalized(query);
    haystack.foldCase();
    needle.foldCase();
    return haystack.indexOf(needle) >= 0;
}

std::string lowercased(std::string_view text) {
    icu::UnicodeString string = unicode(text);
    string.toLower(icu::Locale::getRoot());
    return utf8(string);
}

}  // namespace vael
