// Reading a spreadsheet back as a declaration: its columns matched to the
// fields by their titles, each cell read into its field as typing it would
// be, what cannot be taken noted with its cell's address, and the round trip
// from the program's own workbook back to the same file, byte for byte.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/LineChecks.h"
#include "engine/files/SheetImport.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/model/FieldTable.h"
#include "engine/model/PlainCells.h"
#include "engine/model/RxMem.h"
#include "engine/model/TypedCell.h"
#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

SheetCell text(const QString& t) {
    SheetCell c;
    c.type = t.isEmpty() ? SheetCell::Type::Empty : SheetCell::Type::Text;
    c.text = t;
    return c;
}

SheetCell number(double v, SheetCell::Type type = SheetCell::Type::Number) {
    SheetCell c;
    c.type = type;
    c.number = v;
    return c;
}

std::vector<SheetCell> row(const QStringList& texts) {
    std::vector<SheetCell> out;
    for (const QString& t : texts)
        out.push_back(text(t));
    return out;
}

// A sheet in memory, as a reader gives it.
class RowsOf : public SheetRows {
public:
    explicit RowsOf(std::vector<std::vector<SheetCell>> rows) : rows_(std::move(rows)) {}
    bool next(std::vector<SheetCell>& cells) override {
        if (at_ == rows_.size()) return false;
        cells = rows_[at_++];
        return true;
    }
    qint64 rowNumber() const override { return qint64(at_); }
    QString sheetName() const override { return u"Hoja1"_s; }
    qint64 bytesRead() const override { return qint64(at_); }
    qint64 bytesTotal() const override { return qint64(rows_.size()); }

private:
    std::vector<std::vector<SheetCell>> rows_;
    std::size_t at_ = 0;
};

int firstFieldShaped(TextShape shape) {
    for (int f = 0; f < kFieldCount; ++f)
        if (kFields[std::size_t(f)].kind == Kind::Text && textShapeOf(f) == shape) return f;
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(solvanta::SheetCell)

class TestSheetImport : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;

private slots:
    void init() {
        numtext::setDecimalSeparator(',');
        datetext::setFormat(u"dd-MM-yyyy"_s);
    }

    // Titles as the export writes them, as people retype them, or the
    // fields' names, in any order; what matches nothing is listed, and so
    // are the fields no column holds.
    void matchColumns_data() {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<int>>("fields"); // per column; -1 unused
        QTest::addColumn<QStringList>("unused");
        QTest::addColumn<int>("missing");
        const int afp = field("impo_afp"), rut = field("rut"), pat = field("ape_pat");
        QTest::newRow("the listing's titles") << QStringList{fieldTitle(rut), fieldTitle(afp)}
                                              << QList<int>{rut, afp} << QStringList() << 103;
        QTest::newRow("case, accents and blanks aside")
            << QStringList{u" [27]IMPO. AFP "_s, u"[3] apellido   paterno"_s}
            << QList<int>{afp, pat} << QStringList() << 103;
        QTest::newRow("field names, any order") << QStringList{u"ape_pat"_s, u"Impo_AFP"_s}
                                                << QList<int>{pat, afp} << QStringList() << 103;
        QTest::newRow("title without its number")
            << QStringList{u"Impo. afp"_s} << QList<int>{afp} << QStringList() << 104;
        QTest::newRow("unknown and repeated")
            << QStringList{u"rut"_s, u"Observaciones"_s, u"RUT"_s, u"impo_afp"_s}
            << QList<int>{rut, -1, -1, afp} << QStringList{u"Observaciones"_s, u"RUT"_s} << 103;
    }

    void matchColumns() {
        QFETCH(QStringList, titles);
        QFETCH(QList<int>, fields);
        QFETCH(QStringList, unused);
        QFETCH(int, missing);
        const SheetColumns c = solvanta::matchColumns(row(titles));
        QVERIFY(c.titled);
        QVERIFY(c.refusal.isEmpty());
        QCOMPARE(QList<int>(c.fieldOf.begin(), c.fieldOf.end()), fields);
        QCOMPARE(c.unused, unused);
        QCOMPARE(int(c.missing.size()), missing);
        QVERIFY(c.question().contains(u"Campos que faltan (quedan vacíos): "_s));
        QCOMPARE(c.question().contains(u"Columnas que no se usan: "_s), !unused.isEmpty());
    }

    // Without titles: 105 columns are the fields in order, after asking;
    // anything else cannot be read, and says why.
    void untitledSheets() {
        // A line whose value reads as a field's title ("AFP") is no row of
        // titles.
        QVERIFY(!solvanta::matchColumns(row({u"12345678"_s, u"5"_s, u"AFP"_s, u"MUÑOZ"_s})).titled);
        std::vector<SheetCell> line;
        for (int f = 0; f < kFieldCount; ++f)
            line.push_back(number(f + 1));
        SheetColumns c = solvanta::matchColumns(line);
        QVERIFY(!c.titled && c.fieldOrder && c.refusal.isEmpty());
        QCOMPARE(c.fieldOf.size(), std::size_t(kFieldCount));
        QVERIFY(c.question().contains(u"105 columnas"_s));
        line.resize(50);
        c = solvanta::matchColumns(line);
        QVERIFY(c.refusal.contains(u"no tiene los títulos"_s));
        c = solvanta::matchColumns(row({u""_s, u""_s}));
        QVERIFY(c.refusal.contains(u"vacía"_s));
    }

    // A cell into a field, as typing its value would give it.
    void cellValue_data() {
        QTest::addColumn<SheetCell>("cell");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("expected"); // the field's text; empty: refused
        QTest::newRow("code number without its zero") << number(5) << u"nom_AFP"_s << u"05"_s;
        QTest::newRow("code text as typed") << text(u"5"_s) << u"nom_AFP"_s << u"5"_s;
        QTest::newRow("code with its zero") << text(u"05"_s) << u"nom_AFP"_s << u"05"_s;
        QTest::newRow("period as a number") << number(32024) << u"remu_desde"_s << u"032024"_s;
        QTest::newRow("period as a date")
            << number(45366, SheetCell::Type::Date) << u"remu_desde"_s << u"032024"_s;
        QTest::newRow("amount with thousands")
            << text(u"1.234.567"_s) << u"impo_afp"_s << u"1234567"_s;
        QTest::newRow("amount as a number") << number(1234567) << u"impo_afp"_s << u"1234567"_s;
        QTest::newRow("decimals in a decimal field")
            << number(3.75) << u"cot_pactada"_s << u"3,75"_s;
        QTest::newRow("bad amount") << text(u"12,3,4"_s) << u"impo_afp"_s << QString();
        QTest::newRow("decimals in whole pesos") << number(1234.5) << u"impo_afp"_s << QString();
        QTest::newRow("formula error") << [] {
            SheetCell c;
            c.type = SheetCell::Type::Error;
            c.text = u"#DIV/0!"_s;
            return c;
        }() << u"impo_afp"_s << QString();
        QTest::newRow("text too long") << text(QString(60, u'A')) << u"ape_pat"_s << QString();
    }

    void cellValue() {
        QFETCH(SheetCell, cell);
        QFETCH(QString, fieldName);
        QFETCH(QString, expected);
        const int f = field(qPrintable(fieldName));
        if (expected.isEmpty()) {
            QVERIFY_THROWS_EXCEPTION(ConversionError, sheetCellValue(cell, f));
            return;
        }
        const std::vector<TypedCell> values = sheetCellValue(cell, f);
        QCOMPARE(values.front().field, f);
        QCOMPARE(values.front().text, expected);
    }

    // A real date into a date field becomes the field's date text; a RUT
    // written as people write it fills its check field too.
    void datesAndRuts() {
        const int date = firstFieldShaped(TextShape::Date);
        QVERIFY(date >= 0);
        QCOMPARE(sheetCellValue(number(45366.5, SheetCell::Type::Date), date).front().text,
                 u"15-03-2024"_s);
        const std::vector<TypedCell> rut = sheetCellValue(text(u"12.345.678-5"_s), field("rut"));
        QCOMPARE(rut.size(), std::size_t(2));
        QCOMPARE(rut[1].field, field("dv"));
        QCOMPARE(rut[1].text, u"5"_s);
    }

    // The rows after the titles become lines; a cell that cannot be taken
    // leaves its field empty and is noted with its address, in the report
    // and on the cell; rows without values are left out and counted.
    void loadNotesBadCells() {
        std::vector<std::vector<SheetCell>> rows{
            row({u"rut"_s, u"Nota"_s, u"impo_afp"_s}),
            {number(11), text(u"x"_s), number(1000)},
            {},
            {number(12), text(u"y"_s), text(u"12,3,4"_s)},
        };
        SheetImport sheet(std::make_unique<RowsOf>(rows));
        QCOMPARE(sheet.columns().unused, QStringList{u"Nota"_s});
        RxMem t;
        const LoadReport report = sheet.load(t);
        QCOMPARE(t.recordCount(), 2);
        QCOMPARE(t.textAt(0, field("impo_afp")), u"1000"_s);
        QCOMPARE(t.textAt(1, field("rut")), u"12"_s);
        QCOMPARE(t.textAt(1, field("impo_afp")), QString()); // never a silent 0
        QVERIFY(!t.recordAt(1).hasValue(field("impo_afp")));
        QCOMPARE(report.lossCount, 1);
        const LoadNote& note = report.notes.front();
        QCOMPARE(note.line, 2);
        QCOMPARE(note.field, field("impo_afp"));
        QVERIFY2(note.text.startsWith(u"Hoja1!C4: «12,3,4»"_s), qPrintable(note.text));
        QCOMPARE(t.notesOf(t.bookmarkAt(1)).size(), std::size_t(1));
        QVERIFY(report.notes.back().text.contains(u"1 fila sin valores"_s));
        QVERIFY(!t.hasUnsavedChanges());
        QVERIFY(!t.canUndo());
    }

    // A .csv keeps no types: a period the sheet made a number of gets its
    // month's zero back; codes, and anything else, stay as written.
    void csvCellsAsWritten() {
        const QString csv = tmp_.filePath(u"nomina.csv"_s);
        writeAll(csv, "remu_desde;remu_hasta;nom_AFP;inst_apvi;ape_pat\r\n"
                      "32024;000000;5;0;Muñoz\r\n"
                      "122024;0;05;000;32024\r\n");
        RxMem t;
        const LoadReport report = SheetImport(csv).load(t);
        QVERIFY2(report.noteCount == 0, qPrintable(describeNotes(report)));
        const QStringList expected[] = {{u"032024"_s, u"000000"_s, u"5"_s, u"0"_s, u"Muñoz"_s},
                                        {u"122024"_s, u"0"_s, u"05"_s, u"000"_s, u"32024"_s}};
        const char* names[] = {"remu_desde", "remu_hasta", "nom_AFP", "inst_apvi", "ape_pat"};
        for (int row = 0; row < 2; ++row)
            for (int k = 0; k < 5; ++k)
                QCOMPARE(t.textAt(row, field(names[k])), expected[row][k]);
        QCOMPARE(sheetCellValue(text(u"32024"_s), field("remu_desde"), true).front().text,
                 u"032024"_s);
        QCOMPARE(sheetCellValue(text(u"32024"_s), field("remu_desde")).front().text, u"32024"_s);
    }

    // An empty sheet, or one with titles and no line: the first cannot be
    // read, and says so; the second gives no lines.
    void emptySheets() {
        SheetImport empty(std::make_unique<RowsOf>(std::vector<std::vector<SheetCell>>{}));
        QVERIFY(empty.columns().refusal.contains(u"vacía"_s));
        RxMem t;
        QVERIFY_THROWS_EXCEPTION(IoError, empty.load(t));
        QVERIFY(!t.isActive());
        SheetImport titles(std::make_unique<RowsOf>(
            std::vector<std::vector<SheetCell>>{row({u"rut"_s, u"impo_afp"_s})}));
        const LoadReport report = titles.load(t);
        QVERIFY(t.isActive());
        QCOMPARE(t.recordCount(), 0);
        QCOMPARE(report.lines, 0);
    }

    // An export corrected in LibreOffice Calc and saved there (made by
    // bench/make-calc-fixture.sh): Calc took the zeros from codes and
    // periods, the blanks from the ends of texts, and made dates of dates.
    // Written again, the file is the original with the two edits.
    void workbookSavedByCalc() {
        RxMem original;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, original);
        original.moveTo(0);
        original.edit();
        original.setText(field("ape_pat"), u"CALC EDITADO"_s);
        original.post();
        original.moveTo(1);
        original.edit();
        original.setNumber(field("impo_afp"), 777777);
        original.post();
        SheetImport sheet(dataFile("calc-editado.xlsx"));
        QVERIFY2(sheet.columns().question().isEmpty(), qPrintable(sheet.columns().question()));
        RxMem back;
        const LoadReport report = sheet.load(back);
        QVERIFY2(report.noteCount == 0, qPrintable(describeNotes(report)));
        const QString expected = tmp_.filePath(u"esperado.txt"_s);
        const QString written = tmp_.filePath(u"de-calc.txt"_s);
        writeDeclaration(expected, FileForm::Position, original);
        writeDeclaration(written, FileForm::Position, back);
        QCOMPARE(readAll(written), readAll(expected));
    }

    // The program's own workbook, read back without changes, gives the same
    // lines: written in either form, the same bytes as the file it came from.
    void roundTripThroughTheWorkbook_data() {
        QTest::addColumn<int>("form");
        QTest::newRow("position") << int(FileForm::Position);
        QTest::newRow("separator") << int(FileForm::Separator);
    }

    void roundTripThroughTheWorkbook() {
        QFETCH(int, form);
        RxMem generated;
        generateDeclaration(generated, 300, 7);
        const QString original = tmp_.filePath(u"original.txt"_s);
        writeDeclaration(original, FileForm(form), generated);
        RxMem loaded;
        loadDeclaration(original, FileForm(form), loaded);
        const QString book = tmp_.filePath(u"libro.xlsx"_s);
        exportWorkbook(book, loaded);

        SheetImport sheet(book);
        QVERIFY(sheet.columns().titled);
        QVERIFY2(sheet.columns().question().isEmpty(), qPrintable(sheet.columns().question()));
        RxMem back;
        const LoadReport report = sheet.load(back);
        QCOMPARE(report.noteCount, 0);
        QCOMPARE(back.recordCount(), 300);
        const QString again = tmp_.filePath(u"de-vuelta.txt"_s);
        writeDeclaration(again, FileForm(form), back);
        QCOMPARE(readAll(again), readAll(original));
    }

    // A file of separated lines under a row of titles, as a .csv: read back,
    // it gives the same lines as the file itself, in either encoding.
    void roundTripThroughACsv_data() {
        QTest::addColumn<bool>("utf8");
        QTest::newRow("Windows-1252") << false;
        QTest::newRow("UTF-8") << true;
    }

    void roundTripThroughACsv() {
        QFETCH(bool, utf8);
        RxMem generated;
        generateDeclaration(generated, 300, 11);
        const QString original = tmp_.filePath(u"original.csv"_s);
        writeDeclaration(original, FileForm::Separator, generated);
        QStringList titles;
        for (int f = 0; f < kFieldCount; ++f)
            titles << fieldTitle(f);
        const QByteArray lines = readAll(original);
        const QString csv = tmp_.filePath(u"planilla.csv"_s);
        writeAll(
            csv,
            utf8 ? (titles.join(u';') + u"\r\n"_s + cp1252::decode(lines.toStdString())).toUtf8()
                 : QByteArray::fromStdString(cp1252::encode(titles.join(u';'))) + "\r\n" + lines);
        QVERIFY(!utf8 || readAll(csv).contains("\xC3")); // letters beyond ASCII, in UTF-8

        SheetImport sheet(csv);
        QVERIFY(sheet.columns().titled);
        RxMem back;
        const LoadReport report = sheet.load(back);
        QVERIFY2(report.noteCount == 0, qPrintable(describeNotes(report)));
        for (const FileForm form : {FileForm::Separator, FileForm::Position}) {
            const QString expected = tmp_.filePath(u"esperado.txt"_s);
            const QString again = tmp_.filePath(u"de-vuelta.txt"_s);
            writeDeclaration(expected, form, generated);
            writeDeclaration(again, form, back);
            QCOMPARE(readAll(again), readAll(expected));
        }
    }

    // The plain cells a load puts straight into the line end up as typing
    // them would leave them, in every field; what the straight way does not
    // take goes the typing way.
    void plainCellsAsTyped() {
        const QStringList samples{
            u""_s,
            u"0"_s,
            u"5"_s,
            u"05"_s,
            u"123"_s,
            u"0012"_s,
            u"12345678"_s,
            u"123456789"_s,
            u"9876543210123"_s,
            u"1234567890123456"_s,
            u"2,4"_s,
            u"2,40"_s,
            u"0,1"_s,
            u"1,234"_s,
            u"123456789,12"_s,
            u"12,"_s,
            u",5"_s,
            u"2.4"_s,
            u"1.234.567"_s,
            u"-5"_s,
            u" 5"_s,
            u"5 "_s,
            u"ABC"_s,
            u"muñoz é"_s,
            u"MUÑOZ"_s,
            u"€"_s,
            u"a\tb"_s,
            u"12345678K"_s,
            u"1e5"_s,
            u"0000000012"_s,
            u"SUCURSAL 37 LAS CONDES PONIENTE"_s,
            QString(40, u'X'),
        };
        RxMem t;
        t.open();
        for (const bool utf8 : {false, true}) {
            const PlainCells plain(utf8);
            for (int f = 0; f < kFieldCount; ++f) {
                for (const QString& sample : samples) {
                    std::string bytes = utf8 ? sample.toStdString() : cp1252::encode(sample);
                    const std::size_t size = bytes.size();
                    bytes.append(PlainCells::kPlainSlack, '9');
                    t.append();
                    RecordRef line = t.pending();
                    const bool taken = plain.put(line, f, std::string_view(bytes.data(), size));
                    t.post();
                    if (!taken) continue;
                    const RecordView straight = t.recordAt(t.recordCount() - 1);
                    t.append();
                    try {
                        for (const TypedCell& v : sheetCellValue(text(sample), f))
                            t.setTextOrClear(v.field, v.text);
                    } catch (const ConversionError& e) {
                        QFAIL(qPrintable(u"%1 «%2»: taken straight, refused typed: %3"_s.arg(
                            fieldTitle(f), sample, e.message())));
                    }
                    t.post();
                    const RecordView typed = t.recordAt(t.recordCount() - 1);
                    for (int g = 0; g < kFieldCount; ++g)
                        QVERIFY2(sameFieldValue(straight.data(), typed.data(), g),
                                 qPrintable(u"%1 «%2»: %3 straight «%4», typed «%5»"_s.arg(
                                     fieldTitle(f), sample, fieldTitle(g), straight.text(g),
                                     typed.text(g))));
                }
            }
        }
    }
};

QTEST_MAIN(TestSheetImport)
#include "tst_sheetimport.moc"
