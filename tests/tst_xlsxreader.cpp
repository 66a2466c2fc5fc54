// The test workbook reader: workbooks written here with libxlsxwriter, in the
// ways the spreadsheet export may write them, must read back cell by cell
// with their values and formats; damaged files must give an error.

#include "XlsxReader.h"
#include "engine/util/ClassicLocale.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <xlsxwriter.h>

using namespace testutil;

namespace {

enum class Damage {
    NotZip,
    EmptyFile,
    Truncated,
    SheetData,
    CentralDirectory,
    NoWorkbook,
    Missing
};

QString columnLetters(int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters;
}

// One line per cell the file mentions, e.g. `A2 S "01" @ Calibri`, with
// "centred" when vertically centred.
QStringList describe(const XlsxSheet& sheet) {
    QStringList lines;
    for (int r = 0; r < sheet.rowCount(); ++r) {
        for (int c = 0; c < sheet.rows[r].size(); ++c) {
            const XlsxCell& cell = sheet.rows[r][c];
            if (cell.type == XlsxCell::Empty && cell.numFmt.isEmpty()) continue;
            QString line = columnLetters(c) + QString::number(r + 1);
            if (cell.type == XlsxCell::String)
                line += QStringLiteral(" S \"%1\"").arg(cell.text);
            else if (cell.type == XlsxCell::Number)
                line += QStringLiteral(" N ") + QString::number(cell.number, 'g', 17);
            else
                line += QStringLiteral(" -");
            line += u' ' + cell.numFmt + u' ' + cell.fontName;
            if (cell.vCenter) line += QStringLiteral(" centred");
            lines.append(line);
        }
    }
    return lines;
}

// Two worksheets: "Datos" with a title row, a data row reaching column AC,
// a row left out and a row with a zero, a formatted blank and a formula
// with a text result; "Hoja 2" with a title and one string.
bool writeSample(const QString& path, const QString& tmpDir, bool constantMemory, bool zip64) {
    // libxlsxwriter writes numbers with printf: under "C", as the program
    // runs it, whatever locale the test runs in.
    const solvanta::ClassicLocale c;
    const QByteArray file = QFile::encodeName(path);
    const QByteArray tmp = QFile::encodeName(tmpDir);
    lxw_workbook_options options = {};
    options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
    options.tmpdir = const_cast<char*>(tmp.constData());
    options.use_zip64 = zip64 ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* wb = workbook_new_opt(file.constData(), &options);
    if (!wb) return false;

    lxw_format* title = workbook_add_format(wb);
    format_set_font_name(title, "Segoe UI");
    format_set_align(title, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* text = workbook_add_format(wb);
    format_set_num_format(text, "@");
    lxw_format* twoDecimals = workbook_add_format(wb);
    format_set_num_format(twoDecimals, "0.00");
    lxw_format* custom = workbook_add_format(wb);
    format_set_num_format(custom, "#,##0.000");

    lxw_worksheet* ws = workbook_add_worksheet(wb, "Datos");
    worksheet_write_string(ws, 0, 0, "[1]Rut", title);
    worksheet_write_string(ws, 0, 1, "Comuna", title);
    worksheet_write_string(ws, 1, 0, "01", text);
    worksheet_write_number(ws, 1, 1, 1.5, nullptr);
    worksheet_write_string(ws, 1, 3, "\xc3\x91u\xc3\xb1oa", text); // Ñuñoa
    worksheet_write_number(ws, 1, 27, -2.25, twoDecimals);
    worksheet_write_number(ws, 1, 28, 1234.5, custom);
    worksheet_write_number(ws, 3, 0, 0, nullptr);
    worksheet_write_blank(ws, 3, 1, text);
    worksheet_write_formula_str(ws, 3, 2, "=\"a\"&\"b\"", nullptr, "ab");

    lxw_worksheet* ws2 = workbook_add_worksheet(wb, "Hoja 2");
    worksheet_write_string(ws2, 0, 0, "[1]Rut", title);
    worksheet_write_string(ws2, 1, 0, "\xc3\x91u\xc3\xb1oa", nullptr);
    return workbook_close(wb) == LXW_NO_ERROR;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

quint32 get32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 get16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}
template <typename T> void put(QByteArray& b, T value) {
    b.append(reinterpret_cast<const char*>(&value), sizeof value); // little-endian host
}

// The same archive with its central directory in the ZIP64 form that a
// writer uses past 4 GiB: every size and offset 0xFFFFFFFF in the headers,
// the real values in a ZIP64 extra field, and the ZIP64 end records.
QByteArray withZip64Directory(const QByteArray& zip) {
    const qsizetype end = zip.lastIndexOf("PK\x05\x06");
    const quint16 count = get16(zip, end + 10);
    const qsizetype directory = get32(zip, end + 16);
    QByteArray out = zip.left(directory);
    for (qsizetype i = 0, at = directory; i < count; ++i) {
        const qsizetype name = get16(zip, at + 28), extra = get16(zip, at + 30),
                        comment = get16(zip, at + 32);
        QByteArray header = zip.mid(at, 46);
        const quint64 values[] = {get32(zip, at + 24), get32(zip, at + 20), get32(zip, at + 42)};
        for (int field : {20, 24, 42})
            header.replace(field, 4, "\xff\xff\xff\xff", 4);
        header += zip.mid(at + 46, name + extra);
        put<quint16>(header, 0x0001);
        put<quint16>(header, 24);
        for (quint64 v : values)
            put<quint64>(header, v);
        header += zip.mid(at + 46 + name + extra, comment);
        header[30] = char(extra + 28); // the extra field's length
        header[31] = char((extra + 28) >> 8);
        out += header;
        at += 46 + name + extra + comment;
    }
    const quint64 newDirectory = quint64(directory), record = quint64(out.size());
    put<quint32>(out, 0x06064b50);
    put<quint64>(out, 44);
    put<quint16>(out, 45);
    put<quint16>(out, 45);
    put<quint32>(out, 0);
    put<quint32>(out, 0);
    put<quint64>(out, count);
    put<quint64>(out, count);
    put<quint64>(out, record - newDirectory);
    put<quint64>(out, newDirectory);
    put<quint32>(out, 0x07064b50);
    put<quint32>(out, 0);
    put<quint64>(out, record);
    put<quint32>(out, 1);
    put<quint32>(out, 0x06054b50);
    put<quint32>(out, 0);
    put<quint16>(out, 0xFFFF);
    put<quint16>(out, 0xFFFF);
    put<quint32>(out, 0xFFFFFFFF);
    put<quint32>(out, 0xFFFFFFFF);
    put<quint16>(out, 0);
    return out;
}

} // namespace

class TestXlsxReader : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;

private slots:
    void columnOfReference_data() {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<int>("column");
        QTest::newRow("A1") << QStringLiteral("A1") << 0;
        QTest::newRow("Z9") << QStringLiteral("Z9") << 25;
        QTest::newRow("AA10") << QStringLiteral("AA10") << 26;
        QTest::newRow("AB12") << QStringLiteral("AB12") << 27;
        QTest::newRow("AZ3") << QStringLiteral("AZ3") << 51;
        QTest::newRow("BA3") << QStringLiteral("BA3") << 52;
        QTest::newRow("DA1 (field 105)") << QStringLiteral("DA1") << 104;
        QTest::newRow("last column") << QStringLiteral("XFD1048576") << 16383;
        QTest::newRow("no letters") << QStringLiteral("12") << -1;
        QTest::newRow("four letters") << QStringLiteral("ABCD1") << -1;
        QTest::newRow("empty") << QString() << -1;
    }
    void columnOfReference() {
        QFETCH(QString, reference);
        QFETCH(int, column);
        QCOMPARE(xlsxColumn(reference), column);
        // The other way, as the checks below name cells.
        if (column >= 0) {
            const QString letters = columnLetters(column);
            QVERIFY(reference.startsWith(letters) && reference.at(letters.size()).isDigit());
        }
    }

    void readsWorkbook_data() {
        QTest::addColumn<bool>("constantMemory");
        QTest::addColumn<bool>("zip64");          // libxlsxwriter's option: ZIP64 local headers
        QTest::addColumn<bool>("zip64Directory"); // central directory rewritten as ZIP64
        QTest::addColumn<QString>("stringCell");  // how the sheet holds strings
        QTest::newRow("shared strings") << false << false << false << QStringLiteral("t=\"s\"");
        QTest::newRow("constant memory, inline strings")
            << true << false << false << QStringLiteral("t=\"inlineStr\"");
        QTest::newRow("constant memory, ZIP64 local headers")
            << true << true << false << QStringLiteral("t=\"inlineStr\"");
        QTest::newRow("constant memory, ZIP64 directory")
            << true << true << true << QStringLiteral("t=\"inlineStr\"");
        QTest::newRow("shared strings, ZIP64 directory")
            << false << false << true << QStringLiteral("t=\"s\"");
    }
    void readsWorkbook() {
        QFETCH(bool, constantMemory);
        QFETCH(bool, zip64);
        QFETCH(bool, zip64Directory);
        QFETCH(QString, stringCell);
        const QString path = tmp_.filePath(QStringLiteral("libro.xlsx"));
        QVERIFY(writeSample(path, tmp_.path(), constantMemory, zip64));
        if (zip64Directory) QVERIFY(writeFile(path, withZip64Directory(readFile(path))));

        // The sheet part holds its strings the way this case is about.
        QString error;
        const QString sheetXml = QString::fromUtf8(
            readZipEntry(path, QStringLiteral("xl/worksheets/sheet1.xml"), &error));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(sheetXml.contains(stringCell));
        QVERIFY(sheetXml.contains(QStringLiteral("t=\"str\"")));

        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 2);
        const XlsxSheet& datos = book.sheets[0];
        QCOMPARE(datos.name, QStringLiteral("Datos"));
        QCOMPARE(describe(datos), QStringList({
                                      QStringLiteral("A1 S \"[1]Rut\" General Segoe UI centred"),
                                      QStringLiteral("B1 S \"Comuna\" General Segoe UI centred"),
                                      QStringLiteral("A2 S \"01\" @ Calibri"),
                                      QStringLiteral("B2 N 1.5 General Calibri"),
                                      QStringLiteral("D2 S \"Ñuñoa\" @ Calibri"),
                                      QStringLiteral("AB2 N -2.25 0.00 Calibri"),
                                      QStringLiteral("AC2 N 1234.5 #,##0.000 Calibri"),
                                      QStringLiteral("A4 N 0 General Calibri"),
                                      QStringLiteral("B4 - @ Calibri"),
                                      QStringLiteral("C4 S \"ab\" General Calibri"),
                                  }));
        // Row and column layout: skipped cells and rows are there, empty.
        QCOMPARE(datos.rowCount(), 4);
        QCOMPARE(datos.rows[1].size(), 29);
        QVERIFY(datos.rows[2].isEmpty());
        QCOMPARE(datos.columnCount(), 29);
        QCOMPARE(datos.cell(1, 2).type, XlsxCell::Empty);
        QVERIFY(datos.cell(1, 2).numFmt.isEmpty());
        QCOMPARE(datos.cell(2, 0).type, XlsxCell::Empty);
        QCOMPARE(datos.cell(40, 200).type, XlsxCell::Empty);

        const XlsxSheet& hoja2 = book.sheets[1];
        QCOMPARE(hoja2.name, QStringLiteral("Hoja 2"));
        QCOMPARE(describe(hoja2), QStringList({
                                      QStringLiteral("A1 S \"[1]Rut\" General Segoe UI centred"),
                                      QStringLiteral("A2 S \"Ñuñoa\" General Calibri"),
                                  }));
    }

    void damagedFileGivesError_data() {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("error");
        QTest::newRow("not a zip") << Damage::NotZip << QStringLiteral("not a zip archive");
        QTest::newRow("empty file") << Damage::EmptyFile << QStringLiteral("not a zip archive");
        QTest::newRow("first half only")
            << Damage::Truncated << QStringLiteral("not a zip archive");
        QTest::newRow("sheet data")
            << Damage::SheetData << QStringLiteral("damaged zip entry xl/worksheets/sheet1.xml");
        QTest::newRow("central directory")
            << Damage::CentralDirectory << QStringLiteral("bad central directory");
        QTest::newRow("no workbook part")
            << Damage::NoWorkbook << QStringLiteral("the archive has no xl/workbook.xml");
        QTest::newRow("missing file") << Damage::Missing << QStringLiteral("cannot open");
    }
    void damagedFileGivesError() {
        QFETCH(Damage, damage);
        QFETCH(QString, error);
        const QString good = tmp_.filePath(QStringLiteral("bueno.xlsx"));
        QVERIFY(writeSample(good, tmp_.path(), false, false));
        QByteArray bytes = readFile(good);
        QVERIFY(!bytes.isEmpty());
        // The first mention of a part's name is its local header; the data
        // follows the name and the extra field.
        const QByteArray sheetName("xl/worksheets/sheet1.xml");
        const qsizetype header = bytes.indexOf(sheetName) - 30;
        QVERIFY(header >= 0);
        const qsizetype data = header + 30 + sheetName.size() + quint8(bytes[header + 28]) +
                               256 * quint8(bytes[header + 29]);
        switch (damage) {
        case Damage::NotZip:
            bytes = "[1]Rut;[2]dv;[3]Apellido Paterno\r\n12345678;9;P\xc9REZ\r\n";
            break;
        case Damage::EmptyFile:
            bytes.clear();
            break;
        case Damage::Truncated:
            bytes.truncate(bytes.size() / 2);
            break;
        case Damage::SheetData:
            for (qsizetype i = data + 4; i < data + 12; ++i)
                bytes[i] = char(~bytes[i]);
            break;
        case Damage::CentralDirectory:
            bytes[bytes.indexOf("PK\x01\x02") + 3] = 9;
            break;
        case Damage::NoWorkbook:
            bytes.replace("xl/workbook.xml", "xl/workbooc.xml");
            break;
        case Damage::Missing:
            break;
        }
        const QString path = tmp_.filePath(QStringLiteral("danado.xlsx"));
        QFile::remove(path);
        if (damage != Damage::Missing) QVERIFY(writeFile(path, bytes));

        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.contains(error), qPrintable(book.error));
        QVERIFY(book.sheets.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestXlsxReader)
#include "tst_xlsxreader.moc"
