#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

// Number text: how numbers become text and back. Every conversion uses the
// decimal separator of the user's locale (LC_ALL, LC_NUMERIC, LANG), taken
// from this one place; tests set it explicitly.
namespace solvanta::numtext {

char decimalSeparator();
void setDecimalSeparator(char separator);
// Forgets any separator that was set and reads the locale again.
void useSystemDecimalSeparator();

// A decimal number: optional leading blanks, optional sign, digits with at
// most one decimal separator, an optional exponent, optional trailing blanks,
// and at least one digit. No thousands separators.
std::optional<double> parseDecimal(std::string_view text, char separator);
std::optional<double> parseDecimal(QStringView text);

// A whole number: optional leading blanks, optional sign, then digits up to
// the end; it must fit a signed 32-bit integer.
std::optional<std::int32_t> parseWhole(std::string_view text);
std::optional<std::int32_t> parseWhole(QStringView text);

// A number as a person types it into a box or a cell, in the user's locale:
// the plain form above (sign, digits, the decimal separator); or with the
// thousands grouped by the other of "." and "," ("1.234.567,5" where the
// decimal separator is the comma); or with that other character as the
// decimal separator where it cannot be a thousands group ("3.75"). A text
// that could be either ("1.234" in a field that takes decimals) is refused,
// as is a fraction where `decimals` is false. `problem` says why, in the
// user's words, quoting the text; the caller names the field.
struct Typed {
    std::optional<double> value;
    QString problem; // empty when there is a value
};
Typed readTyped(QStringView text, bool decimals);

// Shortest general form with up to 15 significant digits: fixed notation for
// values from 0.00001 up to 15 integer digits, scientific beyond.
// Writes into buf (at least kMaxNumberText bytes) and returns the length.
constexpr int kMaxNumberText = 32;
int format(double value, char separator, char* buf);
QString format(double value);

} // namespace solvanta::numtext
