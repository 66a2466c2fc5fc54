#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

namespace solvanta {

class Progress;
class RxMem;

// A worksheet holds 1,048,576 rows: the title row and this many lines.
constexpr qint64 kLinesPerSheet = 1048575;

struct WorkbookSummary {
    qint64 lines = 0;
    int sheets = 1;
};

// Writes every line of the table, in table order, into a new .xlsx workbook
// at `path`: row 1 holds the 105 field labels (font "Segoe UI", vertically
// centred), then one row per line, text fields as text in cells formatted
// "@" (so 01 keeps its zero), number fields as numbers, an empty field as an
// empty cell. Lines beyond a worksheet's rows go on in a further worksheet,
// with its own title row. Rows stream to disk: memory does not grow with the
// number of lines. The table and its current line are left as they were.
//
// The workbook is written under a temporary name and renamed to `path` only
// when complete, so a failure or a cancel (Cancelled, when `progress` says
// stop) leaves no file; IoError names the file and the reason.
//
// `lines`, when given, are the table rows written, in that order: the lines
// a filtered or sorted listing shows.
WorkbookSummary exportWorkbook(const QString& path, const RxMem& table,
                               Progress* progress = nullptr, qint64 linesPerSheet = kLinesPerSheet,
                               const std::vector<int>* lines = nullptr);

} // namespace solvanta
