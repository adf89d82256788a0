#include "app/items/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <climits>

namespace vael {

struct GraphemeWalker::Breaks {
    UText text = UTEXT_INITIALIZER;
    std::unique_ptr<icu::BreakIterator> iterator;
    ~Breaks() {
        // The iterator refers to the text: drop it first.
        iterator.reset();
        utext_close(&text);
    }
};

namespace {

// Making a character break iterator is costly; each thread keeps one to clone.
const icu::BreakIterator* prototype() {
    thread_local std::unique_ptr<icu::BreakIterator> made = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> iterator(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) iterator.reset();
        return iterator;
    }();
    return made.get();
}

bool ascii(char c) { return static_cast<unsigned char>(c) < 0x80; }

}  // namespace

GraphemeWalker::GraphemeWalker(std::string_view utf8) : text_(utf8) {}

GraphemeWalker::~GraphemeWalker() = default;

std::string_view GraphemeWalker::next() {
    if (at_ >= text_.size()) return {};
    const std::size_t start = at_;
    // Between two ASCII characters there is always a boundary, except inside CR LF; ICU is asked
    // only where a non-ASCII character is involved.
    if (ascii(text_[start])) {
        if (text_[start] == '\r' && start + 1 < text_.size() && text_[start + 1] == '\n') {
            at_ = start + 2;
            return text_.substr(start, 2);
        }
        if (start + 1 >= text_.size() || ascii(text_[start + 1])) {
            at_ = start + 1;
            return text_.substr(start, 1);
        }
    }
    if (!breaks_ && text_.size() <= static_cast<std::size_t>(INT32_MAX) && prototype() != nullptr) {
        breaks_ = std::make_unique<Breaks>();
        UErrorCode status = U_ZERO_ERROR;
        utext_openUTF8(&breaks_->text, text_.data(), static_cast<int64_t>(text_.size()), &status);
        breaks_->iterator.reset(prototype()->clone());
        if (breaks_->iterator) breaks_->iterator->setText(&breaks_->text, status);
        if (U_FAILURE(status)) breaks_->iterator.reset();
    }
    std::size_t end = start + 1;
    if (breaks_ && breaks_->iterator) {
        const int32_t following = breaks_->iterator->following(static_cast<int32_t>(start));
        if (following != icu::BreakIterator::DONE && static_cast<std::size_t>(following) > start) {
            end = static_cast<std::size_t>(following);
        }
    }
    at_ = end;
    return text_.substr(start, end - start);
}

std::size_t graphemeCount(std::string_view utf8) {
    GraphemeWalker walker(utf8);
    std::size_t count = 0;
    while (!walker.next().empty()) ++count;
    return count;
}

}  // namespace vael
