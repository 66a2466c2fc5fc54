#pragma once

#include "FieldTable.h"
#include "Record.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace solvanta {

// The plain values most cells of a spreadsheet hold (digits, a decimal
// number, a short text) put straight into a line, as readTypedCell and then
// RxMem::setTextOrClear would put them, without making texts of them: a
// load of many cells. put() returns false, with the line untouched, for any
// other value, which then takes that way. It runs for every cell of a load,
// so it lives here to be inlined into the load's loop.
//
// It reads the cell's bytes a word at a time: the caller keeps the
// kPlainSlack bytes after them readable.
class PlainCells {
public:
    static constexpr std::size_t kPlainSlack = 8;
    // Cells in UTF-8, or else in Windows-1252.
    explicit PlainCells(bool utf8);
    bool put(RecordRef& line, int field, std::string_view bytes) const;

private:
    enum class Way : unsigned char { Text, Number, Decimal, Integer, RutNumber, RutText };
    struct Plan {
        FieldSlot slot;
        unsigned char size;
        Way way;
    };
    // A text with characters beyond ASCII.
    bool putLetters(std::byte* record, const Plan& p, std::string_view bytes) const;
    std::array<Plan, kFieldCount> plans_{};
    bool utf8_;
    char separator_; // of the decimals
};

namespace cellbytes {

// Eight characters at a time, as one number each (the first character in
// the lowest byte). Needs the bytes of a little-endian machine; elsewhere
// the loops below go a character at a time.
constexpr bool kWords = std::endian::native == std::endian::little;
constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
constexpr std::uint64_t kEach = 0x0101010101010101ULL; // times a byte: in every byte

inline std::uint64_t word(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The first n (1..8) characters of the word; the others become `fill`.
inline std::uint64_t firstOf(std::uint64_t w, std::size_t n, unsigned char fill) {
    const std::uint64_t keep = n >= 8 ? ~0ULL : (1ULL << (8 * n)) - 1;
    return (w & keep) | (kEach * fill & ~keep);
}

// Every byte between lo and hi, both below 0x80: the sums carry into no
// other byte once no byte has its high bit.
inline bool allWithin(std::uint64_t w, unsigned char lo, unsigned char hi) {
    return (w & kHigh) == 0 && ((w + kEach * (0x80 - lo)) & kHigh) == kHigh &&
           ((w + kEach * (0x7F - hi)) & kHigh) == 0;
}

// Printable ASCII, n characters from p on.
inline bool printable(const char* p, std::size_t n) {
    if constexpr (kWords) {
        for (; n > 8; p += 8, n -= 8)
            if (!allWithin(word(p), 0x20, 0x7E)) return false;
        return n == 0 || allWithin(firstOf(word(p), n, 'A'), 0x20, 0x7E);
    }
    for (std::size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) - 0x20u > 0x5Eu) return false;
    return true;
}

// The number of n (1..15) digits from p on; nullopt when one is no digit.
inline std::optional<std::uint64_t> digits(const char* p, std::size_t n) {
    if (n == 1) { // most number cells are a "0"
        const unsigned d = static_cast<unsigned char>(p[0]) - unsigned('0');
        if (d > 9) return std::nullopt;
        return d;
    }
    if constexpr (kWords) {
        if (n <= 8) {
            const std::uint64_t w = firstOf(word(p), n, '0');
            if (!allWithin(w, '0', '9')) return std::nullopt;
            // The digits moved up, behind zeros, as an eight-digit number;
            // then pairs, fours and eights of digits are put together.
            std::uint64_t v = (w - kEach * '0') << (8 * (8 - n));
            v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFULL;
            v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFULL;
            return (v * 10000 + (v >> 32)) & 0xFFFFFFFFULL;
        }
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned d = static_cast<unsigned char>(p[i]) - unsigned('0');
        if (d > 9) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

} // namespace cellbytes

inline bool PlainCells::put(RecordRef& line, int field, std::string_view bytes) const {
    const Plan& p = plans_[std::size_t(field)];
    std::byte* record = line.bytes();
    if (p.way == Way::Text) {
        // Printable ASCII is the same bytes in the table's code page.
        if (bytes.size() <= p.size && cellbytes::printable(bytes.data(), bytes.size())) {
            slot::putText(record, p.slot, p.size, bytes);
            return true;
        }
        return putLetters(record, p, bytes);
    }
    if (bytes.empty()) {
        if (p.way == Way::RutText)
            slot::putText(record, p.slot, p.size, bytes);
        else
            line.clear(field);
        return true;
    }
    if (bytes.size() > 16) return false;
    if (p.way == Way::Decimal) {
        // Digits, the decimal separator and more digits: their quotient by
        // a power of ten is the number nearest to the decimal one, as
        // reading its text gives.
        if (const std::size_t at = bytes.find(separator_); at != std::string_view::npos) {
            const std::size_t decimals = bytes.size() - at - 1;
            if (at == 0 || decimals == 0) return false;
            const auto whole = cellbytes::digits(bytes.data(), at);
            const auto fraction = cellbytes::digits(bytes.data() + at + 1, decimals);
            if (!whole || !fraction) return false;
            static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const std::uint64_t n = *whole * std::uint64_t(kTens[decimals]) + *fraction;
            slot::putNumber(record, p.slot, double(n) / kTens[decimals]);
            return true;
        }
    }
    // Digits alone, as many as a number keeps exactly.
    if (bytes.size() > 15) return false;
    const std::optional<std::uint64_t> value = cellbytes::digits(bytes.data(), bytes.size());
    if (!value) return false;
    switch (p.way) {
    case Way::Number:
    case Way::Decimal:
        slot::putNumber(record, p.slot, double(*value));
        return true;
    case Way::Integer:
        if (*value > std::uint64_t(std::numeric_limits<std::int32_t>::max())) return false;
        slot::putInteger(record, p.slot, std::int32_t(*value));
        return true;
    case Way::RutNumber:
    case Way::RutText: {
        // A RUT without its check character; its zeros in front go.
        const std::size_t zeros = std::min(bytes.find_first_not_of('0'), bytes.size() - 1);
        const std::string_view digits = bytes.substr(zeros);
        if (digits.size() > 12) return false;
        if (p.way == Way::RutNumber) {
            slot::putNumber(record, p.slot, double(*value));
        } else {
            if (digits.size() > p.size) return false;
            slot::putText(record, p.slot, p.size, digits);
        }
        return true;
    }
    case Way::Text:
        break;
    }
    return false;
}

} // namespace solvanta
