#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// Date parts, code-list lookup and the short-text filter.
namespace solvanta {

quint16 AnoFecha(const QDate& date);
quint16 MesFecha(const QDate& date);

// The last entry of the code list whose first n characters, read as a whole
// number, equal the code read as a whole number; empty when none does.
// Throws ConversionError when the code or an entry's code cannot be read
// (an empty list reads nothing and gives an empty text).
QString BuscaEnLista(const QStringList& list, int n, const QString& code);

// QuitaCaracterLargo for texts of at most 127 characters; a longer text
// throws RangeError.
QString QuitaCaracter(const QString& text, const QString& character);

} // namespace solvanta
