#pragma once

#include "FieldTable.h"

#include <array>
#include <optional>
#include <span>
#include <string_view>

// What values some fields take: a set of allowed values, or a range of
// numbers. The line checks hold the fields to them, and the record editor
// builds its radio groups and its number maxima from them, so that both
// follow one row when a field's values change.
namespace solvanta {

// A value a field may hold. With a caption, the record editor offers it as
// one of the field's choices (a radio button with that caption, in the
// order of the row); without one it is allowed but not offered.
struct AllowedValue {
    const char* value = nullptr;
    const char16_t* caption = nullptr;
    // A value not offered may show as the choice of another value.
    const char* shownAs = nullptr;
};

// The numbers a field takes, both ends included.
struct NumberRange {
    int minimum = 0;
    int maximum = 0;
};

constexpr int kMaxAllowedValues = 6;

struct FieldValues {
    Field field;
    // The allowed values, up to the first without a value; none: the field
    // is not held to a set.
    std::array<AllowedValue, kMaxAllowedValues> values{};
    const char16_t* problem = nullptr; // what the line checks say of a value not allowed
    std::optional<NumberRange> range{};

    std::span<const AllowedValue> allowed() const;
    // Exactly one of the allowed values (letter case counts).
    bool allows(std::string_view value) const;
};

// The row of the field, or nullptr when its values are not restricted here.
const FieldValues* valuesOf(Field field);
const FieldValues* valuesOf(int field);

// The rows, in field order.
std::span<const FieldValues> fieldValues();

} // namespace solvanta
