#pragma once

#include "FieldTable.h"

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// One declaration line in its compact form: a block of bytes holding a
// has-value bit for every number and integer field, the numbers themselves,
// and every text field as a length byte followed by its characters
// (Windows-1252). A block of zero bytes is a line with no value anywhere.
namespace solvanta {

struct FieldSlot {
    std::uint16_t offset; // of the value (for text fields, of the length byte)
    std::int16_t nullBit; // has-value bit of number and integer fields; -1 for text
};

struct RecordLayout {
    std::array<FieldSlot, kFieldCount> fieldSlots;
    std::size_t size;
};

const RecordLayout& recordLayout();

// The reads and stores of RecordView and RecordRef with the field's slot
// already looked up, for the loops that go through every field of many
// lines.
namespace slot {

inline bool hasValue(const std::byte* record, const FieldSlot& s) {
    if (s.nullBit < 0) return record[s.offset] != std::byte{0};
    return (std::to_integer<unsigned>(record[s.nullBit >> 3]) >> (s.nullBit & 7)) & 1u;
}

inline std::string_view text(const std::byte* record, const FieldSlot& s) {
    const auto* p = reinterpret_cast<const char*>(record + s.offset);
    return {p + 1, static_cast<unsigned char>(p[0])};
}

// The stored value of a number field, whether or not it has one.
inline double number(const std::byte* record, const FieldSlot& s) {
    double v;
    std::memcpy(&v, record + s.offset, sizeof v);
    return v;
}

inline std::int32_t integer(const std::byte* record, const FieldSlot& s) {
    std::int32_t v;
    std::memcpy(&v, record + s.offset, sizeof v);
    return v;
}

// Keeps at most `capacity` bytes, the field's size.
inline void putText(std::byte* record, const FieldSlot& s, std::size_t capacity,
                    std::string_view bytes) {
    const std::size_t n = std::min(bytes.size(), capacity);
    std::byte* p = record + s.offset;
    p[0] = static_cast<std::byte>(n);
    if (n) std::memcpy(p + 1, bytes.data(), n);
}

inline void markValue(std::byte* record, const FieldSlot& s) {
    record[s.nullBit >> 3] |= static_cast<std::byte>(1u << (s.nullBit & 7));
}

inline void putNumber(std::byte* record, const FieldSlot& s, double value) {
    std::memcpy(record + s.offset, &value, sizeof value);
    markValue(record, s);
}

inline void putInteger(std::byte* record, const FieldSlot& s, std::int32_t value) {
    std::memcpy(record + s.offset, &value, sizeof value);
    markValue(record, s);
}

} // namespace slot

// Read access to a line. Number text follows the locale's decimal separator.
class RecordView {
public:
    explicit RecordView(const std::byte* data) : data_(data) {}

    bool hasValue(int field) const;
    std::string_view textBytes(int field) const; // text fields only
    double number(int field) const;              // number fields; 0 without value
    std::int32_t integer(int field) const;       // integer fields; 0 without value

    // The field as the table shows it: the text, the number text, or the
    // empty text when the field has no value. For the file loops: writes into
    // buf (kMaxNumberText bytes) when it needs to and returns a view.
    std::string_view textForm(int field, char separator, char* buf) const;
    QString text(int field) const;

    const std::byte* data() const { return data_; }

protected:
    const std::byte* data_;
};

// Write access, used by the table for the line being inserted or edited.
class RecordRef : public RecordView {
public:
    explicit RecordRef(std::byte* data) : RecordView(data) {}

    void setTextBytes(int field, std::string_view bytes); // cut to the field's size
    void setNumber(int field, double value);
    void setInteger(int field, std::int32_t value);
    void clear(int field);

    std::byte* bytes() const { return mut(); }

private:
    std::byte* mut() const { return const_cast<std::byte*>(data_); }
};

// A field's stored value as a small block of bytes (its "image"), so that a
// change can be kept and put back without keeping whole lines: a text field
// is its length byte and characters, a number or integer field its value and
// a has-value byte.
std::size_t fieldImageSize(int field);
void copyFieldImage(const std::byte* record, int field, std::byte* image);
void putFieldImage(std::byte* record, int field, const std::byte* image);
// Whether the field holds the value of the image (characters beyond a text's
// length, and the number of a field without value, do not count).
bool fieldHasImage(const std::byte* record, int field, const std::byte* image);
// Whether two lines hold the same value in that field.
bool sameFieldValue(const std::byte* a, const std::byte* b, int field);

} // namespace solvanta
