#pragma once

#include "DeclarationFile.h"
#include "SheetRows.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace solvanta {

class Progress;
class RxMem;

// What a spreadsheet's columns hold, read from its first row.
struct SheetColumns {
    // The first row holds titles: those the export writes ("[27] Impo. afp"),
    // or the fields' names ("impo_afp"), in any order, without regard to
    // case, accents and blanks. Otherwise the first row is a line.
    bool titled = false;
    // Without titles, the 105 columns of a sheet that has exactly that many
    // are taken in field order.
    bool fieldOrder = false;
    std::vector<int> fieldOf; // per column: its field, or -1 when no field takes it
    QStringList unused;       // titles that name no field (or one an earlier column has)
    std::vector<int> missing; // fields no column holds: they stay empty
    // Why the sheet cannot be read as lines at all; empty when it can.
    QString refusal;

    // What the user decides before the lines load ("Columnas que no se
    // usan: …", "Campos que faltan (quedan vacíos): …", or the sheet taken
    // in field order); empty when there is nothing to ask.
    QString question() const;
};

// Reads a first row's titles.
SheetColumns matchColumns(const std::vector<SheetCell>& firstRow);

// A spreadsheet to be read as a declaration: its columns are known once it
// is opened, its lines are read when the user agrees.
class SheetImport {
public:
    // By the file's extension: .xlsx a workbook, anything else a .csv.
    // Throws IoError when the file cannot be opened or read.
    explicit SheetImport(const QString& path);
    explicit SheetImport(std::unique_ptr<SheetRows> rows);

    const SheetColumns& columns() const { return columns_; }
    QString sheetName() const { return rows_->sheetName(); }

    // Opens the table afresh with a line for each row of the sheet (after
    // the titles; rows without any value are left out), each cell read into
    // its field as typing it into the listing would (codes and periods keep
    // their zeros, dates become the field's date text, amounts read as
    // people write them). A cell that cannot be taken leaves its field empty
    // and is a note of the report, and of its cell in the table, with its
    // address ("Hoja1!AB12: …"); nothing goes in silently as 0. On failure
    // the table is left closed and empty. Progress counts the file's bytes.
    LoadReport load(RxMem& table, Progress* progress = nullptr);

private:
    std::unique_ptr<SheetRows> rows_;
    std::vector<SheetCell> first_;
    bool hasFirst_ = false;
    SheetColumns columns_;
};

// Whether the file is read as a spreadsheet rather than as a declaration
// file: an .xlsx, or a .csv whose first row names fields (a .csv of lines
// alone is the separator form itself).
bool readsAsSheet(const QString& path);

// The fields' values of one cell, as typing its value would give them. A
// cell of a file without types (`untyped`, a .csv) may have been a number:
// five digits where a period goes ("32024") get the month's zero back.
// Throws ConversionError with the reason, without the field's name.
struct TypedCell;
std::vector<TypedCell> sheetCellValue(const SheetCell& cell, int field, bool untyped = false);

} // namespace solvanta
