#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace vael {

// Cuts a byte stream into lines at line feeds. Only a line feed ends a line; a carriage return
// before it stays in the line. A line longer than the limit is reported instead of being held:
// a peer that never sends a line feed cannot grow memory without bound.
// Consumed bytes are wiped, since requests may carry secrets.
class LineReader {
public:
    enum class Next { line, needMore, overlong };

    explicit LineReader(std::size_t lineLimit, std::size_t chunk = 16384);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Room for the next read; then commit() the number of bytes read into it.
    std::span<char> space();
    void commit(std::size_t count);

    // The next complete line, without its line feed; valid until the next call.
    Next next(std::string_view& line);

private:
    void wipeConsumed();

    std::size_t limit_;
    std::size_t chunk_;
    std::vector<char> buffer_;
    std::size_t head_ = 0;     // first byte not yet handed out
    std::size_t tail_ = 0;     // end of the bytes read
    std::size_t scanned_ = 0;  // bytes from head_ up to here hold no line feed
    std::size_t wipedTo_ = 0;  // bytes before here that were handed out are already wiped
};

}  // namespace vael
