#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Cells as spreadsheets put them on the clipboard and take them from it:
// cells separated by tabs, one row a line. A cell holding a tab, a line end
// or a double quote goes between double quotes, with "" for each quote in it.
namespace solvanta::tabtext {

// Each row ended by "\n".
QString join(const QList<QStringList>& rows);

// Rows ended by "\n" or "\r\n" (a lone "\r" too); the empty line after the
// last row end is no row. A cell that opens a quote it never closes is taken
// as it is, quote included.
QList<QStringList> split(QStringView text);

} // namespace solvanta::tabtext
