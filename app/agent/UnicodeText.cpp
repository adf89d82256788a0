#include "app/agent/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <climits>
#include <memory>

namespace vael {

namespace {

// Making a character break iterator is costly; each thread keeps one.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return iterator.get();
}

}  // namespace

GraphemeTail graphemeTail(std::string_view utf8, std::size_t n) {
    GraphemeTail result;
    if (utf8.empty()) return result;
    auto* breaks = characterBreaks();
    if (breaks == nullptr || utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
        // No ICU data: fall back to bytes rather than fail an answer.
        result.count = utf8.size();
        result.tail = utf8.substr(utf8.size() - std::min(n, utf8.size()));
        return result;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText text = UTEXT_INITIALIZER;
    utext_openUTF8(&text, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    breaks->setText(&text, status);
    breaks->first();
    while (breaks->next() != icu::BreakIterator::DONE) ++result.count;
    int32_t start = breaks->last();
    for (std::size_t i = 0; i < n; ++i) {
        int32_t previous = breaks->previous();
        if (previous == icu::BreakIterator::DONE) break;
        start = previous;
    }
    result.tail = utf8.substr(static_cast<std::size_t>(start));
    // Leave no pointer into the caller's text behind.
    UText empty = UTEXT_INITIALIZER;
    utext_openUTF8(&empty, "", 0, &status);
    breaks->setText(&empty, status);
    utext_close(&empty);
    utext_close(&text);
    return result;
}

std::string graphemeHead(std::string_view utf8, std::size_t n) {
    auto* breaks = characterBreaks();
    if (utf8.size() <= n) return std::string(utf8);  // no text of n bytes has more than n clusters
    if (breaks == nullptr || utf8.size() > static_cast<std::size_t>(INT32_MAX)) {
        // No ICU data: cut at a code point boundary rather than fail.
        std::size_t end = n;
        while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
        return std::string(utf8.substr(0, end));
    }
    UErrorCode status = U_ZERO_ERROR;
    UText text = UTEXT_INITIALIZER;
    utext_openUTF8(&text, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    breaks->setText(&text, status);
    int32_t end = breaks->first();
    for (std::size_t i = 0; i < n; ++i) {
        const int32_t next = breaks->next();
        if (next == icu::BreakIterator::DONE) break;
        end = next;
    }
    std::string head(utf8.substr(0, static_cast<std::size_t>(end)));
    UText empty = UTEXT_INITIALIZER;
    utext_openUTF8(&empty, "", 0, &status);
    breaks->setText(&empty, status);
    utext_close(&empty);
    utext_close(&text);
    return head;
}

namespace {

bool isLineBreak(UChar32 c) {
    return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029;
}

constexpr UChar32 kZeroWidthJoiner = 0x200D;

bool isEmoji(UChar32 c) { return u_hasBinaryProperty(c, UCHAR_EXTENDED_PICTOGRAPHIC); }

std::string filtered(std::string_view utf8, bool breaksAsSpaces) {
    std::string out;
    out.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
    int64_t length = static_cast<int64_t>(utf8.size());
    int64_t i = 0;
    int marks = 0;              // combining marks kept on the current character
    bool afterEmoji = false;    // the current character is an emoji (with its modifiers and marks)
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) c = 0xFFFD;
        if (breaksAsSpaces && isLineBreak(c)) c = ' ';
        auto category = u_charType(c);
        if (category == U_CONTROL_CHAR || category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR ||
            u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL)) {
            continue;
        }
        if (category == U_FORMAT_CHAR) {
            // Invisible, so two names could look alike; the joiner inside an emoji sequence draws.
            if (c != kZeroWidthJoiner || !afterEmoji) continue;
            UChar32 next = 0;
            int64_t peek = i;
            if (peek < length) U8_NEXT(bytes, peek, length, next);
            if (!isEmoji(next)) continue;
        }
        if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK) {
            if (++marks > kMaxCombiningMarks) continue;
        } else if (!u_hasBinaryProperty(c, UCHAR_EMOJI_MODIFIER)) {
            marks = 0;
            afterEmoji = isEmoji(c);
        }
        char encoded[U8_MAX_LENGTH];
        int32_t n = 0;
        U8_APPEND_UNSAFE(encoded, n, c);
        out.append(encoded, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace

std::string displaySafe(std::string_view utf8) { return filtered(utf8, false); }

std::string displayLine(std::string_view utf8) { return filtered(utf8, true); }

}  // namespace vael
