#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// A small reader of .xlsx workbooks, for checking in tests what the
// spreadsheet export wrote. It reads the zip archive itself (stored and
// deflated entries, ZIP64 included) and the parts the export uses: the
// worksheets in workbook order, shared and inline strings, numbers, and the
// cell formats' number format, font name and vertical centring.
//
//     const testutil::XlsxBook book = testutil::readXlsx(path);
//     QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
//     QCOMPARE(book.sheets[0].cell(1, 0).text, u"01");
namespace testutil {

struct XlsxCell {
    // Booleans are read as the numbers 0 and 1, error values as strings.
    enum Type { Empty, String, Number } type = Empty;
    QString text;      // String cells
    double number = 0; // Number cells
    // Format of the cell. A cell that the file does not mention at all has
    // no format: these three stay empty / false. A cell in the file without
    // a style attribute has the workbook's default format (usually
    // "General" in Calibri).
    QString numFmt; // format code: "General", "@", "0.00", ...
    QString fontName;
    bool vCenter = false;
};

struct XlsxSheet {
    QString name;
    // rows[r][c], both 0-based. Missing rows are empty lists; a row runs to
    // its last cell in the file, with the cells it skips left Empty.
    QList<QList<XlsxCell>> rows;

    int rowCount() const { return int(rows.size()); }
    int columnCount() const; // the longest row
    // The cell, or an Empty one without format outside the rows read.
    const XlsxCell& cell(int row, int column) const;
};

struct XlsxBook {
    QList<XlsxSheet> sheets;
    QString error; // empty when the file was read fine
};

XlsxBook readXlsx(const QString& path);

// One entry of a zip archive, uncompressed (its CRC checked). On failure
// returns an empty array and, when given, sets *error.
QByteArray readZipEntry(const QString& zipPath, const QString& entryName, QString* error = nullptr);

// Column index (0-based) of a cell reference such as "AB12" (27); -1 when
// the reference does not start with a column letter.
int xlsxColumn(QStringView reference);

} // namespace testutil
