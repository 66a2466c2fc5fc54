#pragma once

#include "FieldTable.h"

#include <QString>
#include <cstddef>
#include <cstdint>
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
