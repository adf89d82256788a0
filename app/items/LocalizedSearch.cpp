#include "app/items/LocalizedSearch.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

namespace vael {

namespace {

// Turkish and Azerbaijani fold I to dotless ı and İ to i; every other locale folds as Unicode does.
std::uint32_t foldOptions() {
    static const std::uint32_t options = [] {
        const std::string_view language = icu::Locale::getDefault().getLanguage();
        return language == "tr" || language == "az" ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
    }();
    return options;
}

bool isMark(UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0; }

}  // namespace

LocalizedSearch::Key LocalizedSearch::key(std::string_view text) {
    // Most names are ASCII: their key is their lower case, without a trip through ICU.
    bool ascii = true;
    for (const char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii && foldOptions() == U_FOLD_CASE_DEFAULT) {
        Key folded(text.size(), u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            folded[i] = static_cast<char16_t>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return folded;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (U_SUCCESS(status)) s = nfd->normalize(s, status);
    s.foldCase(foldOptions());
    // Composed again, so an unaccented letter is not found inside an accented one.
    if (U_SUCCESS(status)) s = nfc->normalize(s, status);
    return Key(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<std::size_t>(s.length()));
}

bool LocalizedSearch::foundInKey(const Key& text) const {
    if (needle_.empty()) return true;
    for (auto at = text.find(needle_); at != Key::npos; at = text.find(needle_, at + 1)) {
        const std::size_t end = at + needle_.size();
        if (end == text.size()) return true;
        const auto i = static_cast<int32_t>(end), length = static_cast<int32_t>(text.size());
        UChar32 next;
        U16_GET(text.data(), 0, i, length, next);
        if (!isMark(next)) return true;
    }
    return false;
}

}  // namespace vael
