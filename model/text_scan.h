// TextScan: the model text seen through offsets that may run past its end but never read there.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "model/number.h"

// The parser's cursor moves one character beyond each number without looking at it, so a cursor
// can stand on the end of the text or beyond. Every look at the text goes through here, and a
// look at or past the end finds nothing, which the parser reports as a text that ran out.
class TextScan {
public:
    static constexpr std::size_t npos = SIZE_MAX;

    // The text ends at end or at its first zero byte, whichever comes first.
    TextScan(const char* text, const char* end) : text_(text), size_(static_cast<std::size_t>(end - text))
    {
        if (const void* zero = std::memchr(text, 0, size_)) size_ = static_cast<const char*>(zero) - text;
    }

    std::size_t size() const { return size_; }
    const char* at(std::size_t pos) const { return text_ + pos; }

    bool isChar(std::size_t pos, char c) const { return pos < size_ && text_[pos] == c; }

    // The first c at or after from, or npos. Braces usually stand a few bytes apart, closer than
    // a library search pays off for; a int64_t stretch is left to memchr.
    std::size_t find(char c, std::size_t from) const
    {
        if (from >= size_) return npos;
        const char* p = text_ + from;
        const char* end = text_ + size_;
        const char* nearEnd = end - p > 16 ? p + 16 : end;
        for (; p < nearEnd; ++p)
            if (*p == c) return static_cast<std::size_t>(p - text_);
        if (p == end) return npos;
        const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_) : npos;
    }

    // The first occurrence of word at or after from, or npos.
    std::size_t find(const char* word, std::size_t from) const
    {
        const std::size_t length = std::strlen(word);
        if (from >= size_) return npos;
        const void* hit = memmem(text_ + from, size_ - from, word, length);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text_) : npos;
    }

    // How many c stand at or after from; eight bytes at a time, since it runs over whole tables.
    std::size_t countFrom(char c, std::size_t from) const
    {
        const char* p = text_ + std::min(from, size_);
        const char* end = text_ + size_;
        std::size_t n = 0;
        const uint64_t ones = 0x0101010101010101ull;
        const uint64_t low7 = 0x7f7f7f7f7f7f7f7full;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            const uint64_t x = word ^ (ones * static_cast<unsigned char>(c));  // zero bytes where c stands
            const uint64_t nonzero = ((x & low7) + low7) | x;                  // high bit set in non-zero bytes
            const uint64_t found = (~nonzero & ~low7) >> 7;                    // one low bit per c
            n += static_cast<std::size_t>((found * ones) >> 56);               // summed in the top byte
        }
        for (; p < end; ++p) n += *p == c;
        return n;
    }

    // Reads a number at cursor and leaves cursor one character beyond its end, the separator
    // unseen. False when cursor stands past the end; at the end itself the number is 0.
    bool readNumber(std::size_t& cursor, int64_t& value) const
    {
        if (cursor > size_) return false;
        // A read that finds no digits moves the cursor on by one character only, so the next
        // read starts inside the same white space: what is known of it is not scanned again,
        // lest a int64_t run of blanks be scanned once for every number of an entry.
        const std::size_t from = cursor < spaceEnd_ && cursor >= spaceFrom_ ? spaceEnd_ : cursor;
        const char* numberEnd = readInteger(text_ + from, text_ + size_, &value);
        if (__builtin_expect(numberEnd == text_ + from, 0))
            noteMissingNumber(cursor, from);
        else
            cursor = static_cast<std::size_t>(numberEnd - text_) + 1;
        return true;
    }

    // White space characters looked at before numbers that were missing: what the memory of the
    // last such run saves, counted where it costs nothing on the path of numbers that are there.
    std::size_t blanksExamined() const { return blanksExamined_; }

    // A closing brace at cursor is kept; otherwise the next one in the text. npos when none.
    std::size_t closingBrace(std::size_t cursor) const { return isChar(cursor, '}') ? cursor : find('}', cursor); }

private:
    // Off the hot path: remembers the white space before the missing number, moves on by one.
    __attribute__((noinline)) void noteMissingNumber(std::size_t& cursor, std::size_t from) const
    {
        std::size_t space = from;
        while (space < size_ && number_detail::isCSpace(text_[space])) ++space;
        blanksExamined_ += 2 * (space - from);  // once by the number reader, once here
        spaceFrom_ = cursor;
        spaceEnd_ = space;
        ++cursor;
    }

    const char* text_;
    std::size_t size_;
    // [spaceFrom_, spaceEnd_) is white space before a number that was not there.
    mutable std::size_t spaceFrom_ = 0;
    mutable std::size_t spaceEnd_ = 0;
    mutable std::size_t blanksExamined_ = 0;
};
