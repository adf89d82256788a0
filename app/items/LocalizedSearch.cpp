#include "app/items/LocalizedSearch.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stsearch.h>
#include <unicode/tblcoll.h>
#include <unicode/unistr.h>

namespace vael {

struct LocalizedSearch::Engine {
    icu::UnicodeString needle;
    std::unique_ptr<icu::Collator> collator;
};

LocalizedSearch::LocalizedSearch(std::string_view needle) : engine_(std::make_unique<Engine>()) {
    engine_->needle = icu::UnicodeString::fromUTF8(icu::StringPiece(needle.data(), static_cast<int32_t>(needle.size())));
    UErrorCode status = U_ZERO_ERROR;
    // The user's locale; under the C locale (ICU's en_US_POSIX, which sorts capitals apart as
    // ASCII does) the root order, which keeps case a secondary difference.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getName()) == "en_US_POSIX") locale = icu::Locale::getRoot();
    engine_->collator.reset(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status)) {
        engine_->collator.reset();
        return;
    }
    // Secondary strength: base letters and marks count, case does not.
    engine_->collator->setStrength(icu::Collator::SECONDARY);
}

LocalizedSearch::~LocalizedSearch() = default;

bool LocalizedSearch::foundIn(std::string_view text) const {
    if (engine_->needle.isEmpty()) return true;
    const auto haystack = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (haystack.isEmpty()) return false;
    auto* rules = dynamic_cast<icu::RuleBasedCollator*>(engine_->collator.get());
    if (rules) {
        UErrorCode status = U_ZERO_ERROR;
        icu::StringSearch search(engine_->needle, haystack, rules, nullptr, status);
        if (U_SUCCESS(status)) {
            const int32_t at = search.first(status);
            if (U_SUCCESS(status)) return at != USEARCH_DONE;
        }
    }
    // Without a collator: case folding alone, which still ignores case and keeps marks.
    icu::UnicodeString folded(haystack), needle(engine_->needle);
    return folded.foldCase().indexOf(needle.foldCase()) >= 0;
}

}  // namespace vael
