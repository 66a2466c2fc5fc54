#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <string_view>
#include <vector>

namespace solvanta {

// One cell of a spreadsheet row, as the file holds it.
struct SheetCell {
    enum class Type : unsigned char {
        Empty,
        Text,   // a string (in a .csv, every cell that is not empty)
        Number, // a number the sheet shows as a number
        Date,   // a number the sheet formats as a date or a time: `number` is its serial day
        Bool,   // `number` is 0 or 1
        Error,  // a formula's error value ("#DIV/0!") in `text`
    };
    Type type = Type::Empty;
    QString text;
    // Number, Date (days since 1899-12-30, the fraction the time of day),
    // Bool. A formula gives its cached value.
    double number = 0;
};

// The rows of one sheet, one at a time from the top, without holding the
// sheet: a workbook's first worksheet, or a .csv file.
class SheetRows {
public:
    virtual ~SheetRows() = default;
    // The next row's cells, by 0-based column; empty cells at the end may be
    // missing. Rows the sheet skips come back empty, so that rowNumber()
    // stays the sheet's. False after the last row. A broken file throws
    // IoError, in Spanish, naming the file.
    virtual bool next(std::vector<SheetCell>& cells) = 0;
    // The sheet's 1-based number of the row last read.
    virtual qint64 rowNumber() const = 0;
    // The sheet's name as the spreadsheet shows it ("Hoja1"); for a .csv, the
    // file's name without its extension.
    virtual QString sheetName() const = 0;
    // How far the reading went, for a progress bar: bytes of the file (or of
    // the sheet's part) read, of how many.
    virtual qint64 bytesRead() const = 0;
    virtual qint64 bytesTotal() const = 0;

    // A reader of a text file also gives rows as the file's bytes (what a
    // cell's quotes held, doubled quotes made single), valid until the next
    // row, each followed by at least kByteSlack readable bytes: the plain
    // ASCII cells most rows are made of then need no decoding, and are read
    // a word at a time. decodeCell() makes the cell next() would of one.
    static constexpr std::size_t kByteSlack = 16;
    virtual bool givesBytes() const { return false; }
    virtual bool nextBytes(std::vector<std::string_view>& cells) {
        Q_UNUSED(cells);
        return false;
    }
    virtual SheetCell decodeCell(std::string_view bytes) const {
        Q_UNUSED(bytes);
        return {};
    }
    // What those bytes are written in: UTF-8, or else Windows-1252.
    virtual bool utf8Bytes() const { return true; }
    // False when cells carry no type: every cell of a .csv is a text, also
    // where the sheet held a number and dropped its zeros.
    virtual bool typed() const { return true; }
};

// A cell as spreadsheets name it: "Hoja1!AB12" (row 1-based, column 0-based).
QString cellAddress(const QString& sheet, qint64 row, int column);

// The first worksheet of an .xlsx workbook. IoError, in Spanish, when the
// file is no workbook, is broken, or unpacks beyond sane limits.
std::unique_ptr<SheetRows> openWorkbook(const QString& path);

// A .csv file as Calc and Excel save it: comma, semicolon or tab separated,
// UTF-8 (with or without its byte-order mark) or Windows-1252, fields with
// or without quotes. IoError, in Spanish, when it cannot be read.
std::unique_ptr<SheetRows> openCsv(const QString& path);

} // namespace solvanta
