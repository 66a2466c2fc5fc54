#pragma once

#include <QString>
#include <string>
#include <string_view>

// Declaration files and the table hold single-byte Windows-1252 text. These
// convert between that code page and Qt's UTF-16 strings; a character the
// code page cannot hold becomes '?'.
namespace solvanta::cp1252 {

QChar toUnicode(unsigned char byte);
char fromUnicode(char32_t codePoint);

QString decode(std::string_view bytes);
std::string encode(QStringView text);
// As above; `lossy` tells whether a character became '?'.
std::string encode(QStringView text, bool& lossy);

// The characters of the text that the code page cannot hold, each once, in
// the order they come ("Ł" of "ŁUKASZ").
QString unencodable(QStringView text);
// Why the text cannot be stored as it is, quoting it and the characters the
// code page cannot hold; empty when it can.
QString unencodableProblem(QStringView text);

// Letters in capitals where the code page holds the capital ("ñ" gives "Ñ",
// "é" "É", "ÿ" "Ÿ"); every other character, and a letter whose capital it
// does not hold ("µ"), stays as it is, one character for one ("ß" too).
QChar upper(QChar c);
QString upper(QStringView text);

} // namespace solvanta::cp1252
