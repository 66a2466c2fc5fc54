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

} // namespace solvanta::cp1252
