#include "app/agent/LineReader.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace vael {

LineReader::LineReader(std::size_t lineLimit, std::size_t chunk)
    : limit_(lineLimit), chunk_(chunk), buffer_(chunk) {}

LineReader::~LineReader() { sodium_memzero(buffer_.data(), buffer_.size()); }

void LineReader::wipeConsumed() {
    if (head_ > wipedTo_) sodium_memzero(buffer_.data() + wipedTo_, head_ - wipedTo_);
    wipedTo_ = head_;
}

std::span<char> LineReader::space() {
    wipeConsumed();
    if (head_ == tail_) {
        head_ = tail_ = scanned_ = wipedTo_ = 0;
    }
    if (buffer_.size() - tail_ < chunk_ && head_ > 0) {
        std::size_t pending = tail_ - head_;
        std::memmove(buffer_.data(), buffer_.data() + head_, pending);
        sodium_memzero(buffer_.data() + pending, tail_ - pending);
        scanned_ -= head_;
        tail_ = pending;
        head_ = wipedTo_ = 0;
    }
    if (buffer_.size() - tail_ < chunk_) {
        std::vector<char> bigger(std::max(buffer_.size() * 2, tail_ + chunk_));
        std::memcpy(bigger.data(), buffer_.data(), tail_);
        sodium_memzero(buffer_.data(), buffer_.size());
        buffer_.swap(bigger);
    }
    return {buffer_.data() + tail_, buffer_.size() - tail_};
}

void LineReader::commit(std::size_t count) { tail_ = std::min(tail_ + count, buffer_.size()); }

LineReader::Next LineReader::next(std::string_view& line) {
    wipeConsumed();
    const char* base = buffer_.data();
    const void* feed = scanned_ < tail_ ? std::memchr(base + scanned_, '\n', tail_ - scanned_) : nullptr;
    if (feed == nullptr) {
        scanned_ = tail_;
        return tail_ - head_ > limit_ ? Next::overlong : Next::needMore;
    }
    auto end = static_cast<std::size_t>(static_cast<const char*>(feed) - base);
    if (end - head_ > limit_) return Next::overlong;
    line = std::string_view(base + head_, end - head_);
    head_ = scanned_ = end + 1;
    return Next::line;
}

}  // namespace vael
