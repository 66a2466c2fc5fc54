// Reading a workbook's first sheet: workbooks written with libxlsxwriter and
// by the program's own export come back cell by cell; packages put together
// by hand cover what other spreadsheets write (inline and rich texts, cells
// without references, custom date formats); damaged and hostile files give
// an IoError naming the file, within bounded memory and time.

#include "Generator.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/SheetRows.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/files/WorkbookReader.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/ClassicLocale.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <tuple>
#include <xlsxwriter.h>
#include <zip.h>

using namespace solvanta;

namespace {

// A cell as one short text: "T:abc", "N:1.5", "D:45000.5", "B:1", "E:#N/A",
// "-" for empty.
QString shown(const SheetCell& c) {
    switch (c.type) {
    case SheetCell::Type::Empty:
        return QStringLiteral("-");
    case SheetCell::Type::Text:
        return QStringLiteral("T:") + c.text;
    case SheetCell::Type::Number:
        return QStringLiteral("N:") + QString::number(c.number, 'g', 17);
    case SheetCell::Type::Date:
        return QStringLiteral("D:") + QString::number(c.number, 'g', 17);
    case SheetCell::Type::Bool:
        return QStringLiteral("B:") + QString::number(c.number);
    case SheetCell::Type::Error:
        return QStringLiteral("E:") + c.text;
    }
    return {};
}

// Every row of the sheet, "rowNumber|cell|cell…".
QStringList readRows(const QString& path, QString* sheetName = nullptr,
                     const WorkbookLimits& limits = {}) {
    auto rows = openWorkbook(path, limits);
    if (sheetName) *sheetName = rows->sheetName();
    QStringList out;
    std::vector<SheetCell> cells;
    while (rows->next(cells)) {
        QString line = QString::number(rows->rowNumber());
        for (const SheetCell& c : cells)
            line += u'|' + shown(c);
        out.append(line);
    }
    return out;
}

// A zip holding the given parts, stored or deflated as libzip likes.
void writeZip(const QString& path, const QList<QPair<QString, QByteArray>>& parts) {
    QFile::remove(path);
    int error = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(z);
    for (const auto& p : parts) {
        // libzip keeps the buffer until zip_close: a copy it frees itself.
        void* copy = std::malloc(std::size_t(std::max<qsizetype>(1, p.second.size())));
        std::memcpy(copy, p.second.constData(), std::size_t(p.second.size()));
        zip_source_t* src = zip_source_buffer(z, copy, zip_uint64_t(p.second.size()), 1);
        QVERIFY(src);
        QVERIFY(zip_file_add(z, p.first.toUtf8().constData(), src, ZIP_FL_OVERWRITE) >= 0);
    }
    QCOMPARE(zip_close(z), 0);
}

const QByteArray kRootRels =
    R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";

// A workbook whose first sheet (in workbook order) is "Datos" at
// xl/worksheets/data.xml, after it a sheet "Otra" at sheet1.xml, with the
// given rows of sheetData, shared texts and styles.
QList<QPair<QString, QByteArray>>
package(const QByteArray& sheetRows, const QByteArray& shared = {}, const QByteArray& styles = {}) {
    const QByteArray workbook =
        R"(<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets><sheet name="Datos" sheetId="2" r:id="rId7"/><sheet name="Otra" sheetId="1" r:id="rId1"/></sheets></workbook>)";
    const QByteArray rels =
        R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/data.xml"/><Relationship Id="rId8" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/><Relationship Id="rId9" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/></Relationships>)";
    const QByteArray head =
        R"(<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><dimension ref="A1"/><sheetData>)";
    QList<QPair<QString, QByteArray>> parts{
        {QStringLiteral("_rels/.rels"), kRootRels},
        {QStringLiteral("xl/workbook.xml"), workbook},
        {QStringLiteral("xl/_rels/workbook.xml.rels"), rels},
        {QStringLiteral("xl/worksheets/data.xml"), head + sheetRows + "</sheetData></worksheet>"},
        {QStringLiteral("xl/worksheets/sheet1.xml"),
         head + R"(<row r="1"><c r="A1"><v>99</v></c></row></sheetData></worksheet>)"},
    };
    const QByteArray ns = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
    if (!shared.isEmpty())
        parts.append(
            {QStringLiteral("xl/sharedStrings.xml"), "<sst" + ns + ">" + shared + "</sst>"});
    if (!styles.isEmpty())
        parts.append(
            {QStringLiteral("xl/styles.xml"), "<styleSheet" + ns + ">" + styles + "</styleSheet>"});
    return parts;
}

// Styles: 0 General, 1 built-in date 14, 2 custom "dd-mm-yy", 3 "[Red]0.00",
// 4 "\"d\"0" (a quoted d), 5 "[h]:mm", 6 "0.00_m" (a padding m).
const QByteArray kStyles =
    R"(<numFmts count="5"><numFmt numFmtId="164" formatCode="dd\-mm\-yy"/><numFmt numFmtId="165" formatCode="[Red]0.00"/><numFmt numFmtId="166" formatCode="&quot;d&quot;0"/><numFmt numFmtId="167" formatCode="[h]:mm"/><numFmt numFmtId="168" formatCode="0.00_m"/></numFmts><cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs><cellXfs count="7"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="166"/><xf numFmtId="167"/><xf numFmtId="168"/></cellXfs>)";

} // namespace

class TestWorkbookReader : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString out(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    // Expects IoError naming the file, with `fragment` in its message.
    void expectRefused(const QString& path, const QString& fragment,
                       const WorkbookLimits& limits = {}) {
        try {
            readRows(path, nullptr, limits);
            QFAIL("no error");
        } catch (const IoError& e) {
            QVERIFY2(e.message().contains(QFileInfo(path).fileName()), qPrintable(e.message()));
            QVERIFY2(e.message().contains(fragment), qPrintable(e.message()));
        }
    }

private slots:
    // What libxlsxwriter writes: the first sheet only, rows it skips as
    // empty rows, cells at their columns, a formula's cached value, a date
    // formatted as a date, booleans.
    void libxlsxwriterWorkbook() {
        const QString path = out("lxw.xlsx");
        // libxlsxwriter writes numbers with printf: in the C locale, or
        // es_CL would give "1234,5".
        const ClassicLocale c;
        lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
        lxw_worksheet* first = workbook_add_worksheet(book, "Hoja1");
        lxw_worksheet* second = workbook_add_worksheet(book, "Segunda");
        lxw_format* date = workbook_add_format(book);
        format_set_num_format(date, "dd/mm/yyyy");
        worksheet_write_string(first, 0, 0, "RUT ñandú", nullptr);
        worksheet_write_number(first, 0, 1, 1234.5, nullptr);
        lxw_datetime when = {2024, 3, 15, 12, 0, 0};
        worksheet_write_datetime(first, 0, 2, &when, date);
        worksheet_write_formula_num(first, 0, 3, "=B1*2", nullptr, 2469);
        worksheet_write_boolean(first, 0, 4, 1, nullptr);
        worksheet_write_boolean(first, 0, 5, 0, nullptr);
        worksheet_write_string(first, 3, 3, "D4", nullptr); // rows 2-3 and A-C skipped
        worksheet_write_number(first, 4, 0, -0.001, nullptr);
        worksheet_write_string(second, 0, 0, "no", nullptr);
        QCOMPARE(workbook_close(book), LXW_NO_ERROR);

        QString name;
        const QStringList rows = readRows(path, &name);
        QCOMPARE(name, QStringLiteral("Hoja1"));
        QCOMPARE(rows, (QStringList{
                           QStringLiteral("1|T:RUT ñandú|N:1234.5|D:45366.5|N:2469|B:1|B:0"),
                           QStringLiteral("2"),
                           QStringLiteral("3"),
                           QStringLiteral("4|-|-|-|T:D4"),
                           QStringLiteral("5|N:-0.001"),
                       }));
    }

    // The program's own export, read back: every field as it was written.
    void exportRoundTrip() {
        RxMem table;
        table.open();
        generateDeclaration(table, 40, 7);
        const QString path = out("export.xlsx");
        exportWorkbook(path, table);

        auto rows = openWorkbook(path);
        std::vector<SheetCell> cells;
        QVERIFY(rows->next(cells)); // titles
        QCOMPARE(int(cells.size()), kFieldCount);
        QCOMPARE(cells[0].type, SheetCell::Type::Text);
        QCOMPARE(cells[0].text, kFields[0].labelText().toString());
        for (int r = 0; r < table.recordCount(); ++r) {
            QVERIFY(rows->next(cells));
            QCOMPARE(rows->rowNumber(), qint64(r + 2));
            const RecordView line = table.recordAt(r);
            for (int f = 0; f < kFieldCount; ++f) {
                const SheetCell got =
                    std::size_t(f) < cells.size() ? cells[std::size_t(f)] : SheetCell{};
                const QString where = QStringLiteral("line %1 field %2").arg(r).arg(f);
                switch (kFields[std::size_t(f)].kind) {
                case Kind::Text: {
                    const QString text = cp1252::decode(separatorFormText(f, line.textBytes(f)));
                    QVERIFY2(got.type ==
                                 (text.isEmpty() ? SheetCell::Type::Empty : SheetCell::Type::Text),
                             qPrintable(where));
                    QCOMPARE(got.text, text);
                    break;
                }
                case Kind::Number:
                case Kind::Integer:
                    if (!line.hasValue(f)) {
                        QVERIFY2(got.type == SheetCell::Type::Empty, qPrintable(where));
                        break;
                    }
                    QVERIFY2(got.type == SheetCell::Type::Number, qPrintable(where));
                    QCOMPARE(got.number, kFields[std::size_t(f)].kind == Kind::Number
                                             ? line.number(f)
                                             : double(line.integer(f)));
                    break;
                }
            }
        }
        QVERIFY(!rows->next(cells));
        QVERIFY(!rows->next(cells)); // and stays at the end
        QCOMPARE(rows->bytesRead(), rows->bytesTotal());
    }

    void cellKinds_data() {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QString>("expected");
        QTest::newRow("inline string, rich runs")
            << QByteArray(
                   R"(<row r="1"><c r="B1" t="inlineStr"><is><r><t>ab</t></r><r><rPr/><t xml:space="preserve"> c</t></r></is></c></row>)")
            << QStringLiteral("1|-|T:ab c");
        QTest::newRow("shared rich text without its phonetic guide")
            << QByteArray(
                   R"(<row r="1"><c r="A1" t="s"><v>1</v></c><c r="C1" t="s"><v>0</v></c></row>)")
            << QStringLiteral("1|T:xy|-|T:uno");
        QTest::newRow("cells and rows without references follow on")
            << QByteArray(
                   R"(<row><c><v>1</v></c><c t="s"><v>0</v></c></row><row><c r="C2"><v>3</v></c><c><v>4</v></c></row>)")
            << QStringLiteral("1|N:1|T:uno\n2|-|-|N:3|N:4");
        QTest::newRow("formula results: text, error, number")
            << QByteArray(
                   R"(<row r="2"><c r="A2" t="str"><f>A1&amp;"x"</f><v>hola</v></c><c r="B2" t="e"><f>1/0</f><v>#DIV/0!</v></c><c r="C2"><f>1+1</f><v>2</v></c></row>)")
            << QStringLiteral("1\n2|T:hola|E:#DIV/0!|N:2");
        QTest::newRow("date formats by style")
            << QByteArray(
                   R"(<row r="1"><c s="0"><v>45000</v></c><c s="1"><v>45000</v></c><c s="2"><v>45000.25</v></c><c s="3"><v>1.5</v></c><c s="4"><v>7</v></c><c s="5"><v>1.5</v></c><c s="6"><v>2</v></c><c s="99"><v>3</v></c></row>)")
            << QStringLiteral("1|N:45000|D:45000|D:45000.25|N:1.5|N:7|D:1.5|N:2|N:3");
        QTest::newRow("numbers in the C form, whatever the locale")
            << QByteArray(
                   R"(<row r="1"><c><v>1.5E-3</v></c><c><v>-12345678.125</v></c><c><v>1e300</v></c></row>)")
            << QStringLiteral("1|N:0.0015|N:-12345678.125|N:1.0000000000000001e+300");
        QTest::newRow("escaped characters in texts")
            << QByteArray(
                   R"(<row r="1"><c t="inlineStr"><is><t>a_x000D_b_x005F_x</t></is></c></row>)")
            << QStringLiteral("1|T:a\rb_x");
        QTest::newRow("empty and formatted-only cells leave no value")
            << QByteArray(
                   R"(<row r="1"><c r="A1" s="1"/><c r="B1"><v></v></c><c r="C1" t="b"><v>1</v></c><c r="D1" s="2"/></row>)")
            << QStringLiteral("1|-|-|B:1");
        QTest::newRow("an ISO date cell")
            << QByteArray(R"(<row r="1"><c t="d"><v>2024-03-15T12:00:00</v></c></row>)")
            << QStringLiteral("1|D:45366.5");
        QTest::newRow("rows skipped at the start and between")
            << QByteArray(
                   R"(<row r="3"><c r="A3"><v>1</v></c></row><row r="5" spans="1:1"/><row><c><v>2</v></c></row>)")
            << QStringLiteral("1\n2\n3|N:1\n4\n5\n6|N:2");
    }

    void cellKinds() {
        QFETCH(QByteArray, row);
        QFETCH(QString, expected);
        const QString path = out("kinds.xlsx");
        writeZip(
            path,
            package(
                row,
                R"(<si><t>uno</t></si><si><r><t>x</t></r><r><t>y</t></r><rPh sb="0" eb="1"><t>ignored</t></rPh></si>)",
                kStyles));
        QString name;
        QCOMPARE(readRows(path, &name).join(u'\n'), expected);
        QCOMPARE(name, QStringLiteral("Datos"));
    }

    // Ways of writing the same rows that spreadsheets differ in: prefixed
    // names, CDATA, character references (in attributes too), comments and
    // processing instructions among the rows, self-closing rows and cells,
    // spaces and line ends inside tags, single quotes, attributes in any
    // order, line ends in texts, a byte-order mark. The whole sheet part is
    // given.
    void sheetForms_data() {
        QTest::addColumn<QByteArray>("sheet");
        QTest::addColumn<QString>("expected");
        const QByteArray head =
            R"(<?xml version="1.0"?><worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)";
        const QByteArray tail = "</sheetData></worksheet>";
        QByteArray prefixed =
            R"(<worksheet><sheetPr/><sheetData><row r="1"><c r="B1" t="inlineStr"><is><r><t>ho</t></r><r><t>la</t></r></is></c><c r="C1" t="str"><f>A1</f><v>f</v></c><c r="D1" t="s"><v>0</v></c><c r="E1"><v>2</v></c></row></sheetData></worksheet>)";
        prefixed.replace("</", "\x01").replace("<", "<x:").replace("\x01", "</x:");
        QTest::newRow("prefixed names")
            << "<?xml version=\"1.0\"?>" +
                   prefixed.replace("<x:worksheet", "<x:worksheet xmlns:x=\"urn:x\"")
            << QStringLiteral("1|-|T:hola|T:f|T:uno|N:2");
        QTest::newRow("CDATA in values and texts")
            << head +
                   R"(<row r="1"><c><v><![CDATA[1.5]]></v></c><c t="inlineStr"><is><t>x<![CDATA[a<b & ]]c]]]>y</t></is></c><c t="s"><v><![CDATA[0]]></v></c></row>)" +
                   tail
            << QStringLiteral("1|N:1.5|T:xa<b & ]]c]y|T:uno");
        QTest::newRow("character references in attributes")
            << head +
                   R"(<row r="&#50;"><c r="&#x42;2" t="&#115;"><v>0</v></c><c r="C&#50;" s="&#x31;"><v>45000</v></c></row>)" +
                   tail
            << QStringLiteral("1\n2|-|T:uno|D:45000");
        QTest::newRow("entities and character references in texts")
            << head +
                   R"(<row r="1"><c t="inlineStr"><is><t>&lt;&amp;&gt;&quot;&apos;&#241;&#xF1;&#x1F600;</t></is></c><c><v>&#49;&#x2E;5</v></c></row>)" +
                   tail
            << QStringLiteral("1|T:<&>\"'ññ") + QString::fromUcs4(U"\U0001F600") +
                   QStringLiteral("|N:1.5");
        QTest::newRow("comments and processing instructions among the rows")
            << head +
                   R"(<!-- before --><row r="1"><!-- <c><v>9</v></c> --><c><?pi x?><v>1</v><!----></c><?pi?></row><!-- after - - -->)" +
                   tail
            << QStringLiteral("1|N:1");
        QTest::newRow("self-closing rows and cells")
            << head +
                   R"(<row r="1"/><row r="2"><c r="A2" s="1"/><c r="B2"><v>3</v></c><c r="C2"/></row><row r="3" /><row><c/><c><v/></c><c><v>4</v></c></row>)" +
                   tail
            << QStringLiteral("1\n2|-|N:3\n3\n4|-|-|N:4");
        QTest::newRow("spaces and line ends inside tags")
            << head +
                   "<row\n r = \"1\"\t "
                   "spans=\"1:2\"\r\n><c\n\tr=\"B1\"\n\ts=\"1\"\n><v>45000</v></c\n></row >" +
                   tail
            << QStringLiteral("1|-|D:45000");
        QTest::newRow("single quotes and attributes in any order")
            << head +
                   R"(<row spans='1:3' r='1'><c s='0' t='s' r='A1'><v>0</v></c><c foo="x" s="1" r="C1" t="n"><v>45000</v></c></row>)" +
                   tail
            << QStringLiteral("1|T:uno|-|D:45000");
        QTest::newRow("line ends in a text read as one")
            << head + "<row r=\"1\"><c t=\"inlineStr\"><is><t>a\r\nb\rc\nd</t></is></c></row>" +
                   tail
            << QStringLiteral("1|T:a\nb\nc\nd");
        QTest::newRow("what comes around the rows is passed over")
            << QByteArray(
                   R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                   "\n<worksheet "
                   "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                   R"(<sheetPr><tabColor rgb="FF0000"/></sheetPr><cols><col min="1" max="2" width="9"/></cols><sheetData><row r="1"><c><v>1</v></c></row></sheetData><mergeCells count="1"><mergeCell ref="A1:B1"/></mergeCells><extLst><ext uri="{x}"><y:z xmlns:y="u">t</y:z></ext></extLst></worksheet>)"
                   "\n<!-- end -->\n")
            << QStringLiteral("1|N:1");
        QTest::newRow("byte-order mark")
            << "\xEF\xBB\xBF" + head + R"(<row r="1"><c><v>7</v></c></row>)" + tail
            << QStringLiteral("1|N:7");
        QTest::newRow("empty sheetData")
            << QByteArray("<worksheet><sheetData/></worksheet>") << QString();
    }
    void sheetForms() {
        QFETCH(QByteArray, sheet);
        QFETCH(QString, expected);
        auto parts = package("", "<si><t>uno</t></si>", kStyles);
        parts[3].second = sheet;
        const QString path = out("formas.xlsx");
        writeZip(path, parts);
        QCOMPARE(readRows(path).join(u'\n'), expected);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("fragment");
        const auto zipped = [this](const QList<QPair<QString, QByteArray>>& parts) {
            const QString path = out("parts.zip");
            writeZip(path, parts);
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray good = zipped(package(R"(<row r="1"><c><v>1</v></c></row>)"));
        QTest::newRow("text, not a zip")
            << QByteArray("RUT;NOMBRE\n1;2\n") << u"no es un archivo zip"_qs;
        QTest::newRow("empty file") << QByteArray() << u"no es una planilla .xlsx"_qs;
        QTest::newRow("truncated") << good.left(good.size() / 2) << u"planilla .xlsx"_qs;
        QTest::newRow("zip without workbook")
            << zipped({{QStringLiteral("hola.txt"), "hola"}}) << u"xl/workbook.xml"_qs;
        auto noRels = package("");
        noRels.removeAt(2);
        QTest::newRow("workbook without relationships")
            << zipped(noRels) << u"xl/_rels/workbook.xml.rels"_qs;
        QTest::newRow("undeclared entity")
            << zipped(package(R"(<row r="1"><c t="inlineStr"><is><t>&e;</t></is></c></row>)"))
            << u"XML no válido"_qs;
        auto dtd = package("");
        dtd[3].second =
            R"(<?xml version="1.0"?><!DOCTYPE w [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]><worksheet><sheetData><row><c t="inlineStr"><is><t>&b;</t></is></c></row></sheetData></worksheet>)";
        QTest::newRow("DTD") << zipped(dtd) << u"DTD"_qs;
        QTest::newRow("malformed XML")
            << zipped(package(R"(<row r="1"><c><v>1</v></row>)")) << u"XML no válido"_qs;
        QTest::newRow("column beyond XFD")
            << zipped(package(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)")) << u"XFD"_qs;
        QTest::newRow("column absurdly far")
            << zipped(
                   package(R"(<row r="1"><c r="AAAAAAAAAAAAAAAAAAAAAAAAAA1"><v>1</v></c></row>)"))
            << u"XFD"_qs;
        QTest::newRow("cell going back")
            << zipped(package(R"(<row r="1"><c r="C1"><v>1</v></c><c r="B1"><v>1</v></c></row>)"))
            << u"Datos!B1"_qs;
        QTest::newRow("row going back") << zipped(package(R"(<row r="5"/><row r="2"/>)"))
                                        << u"la fila 2 viene después de la fila 5"_qs;
        QTest::newRow("row beyond the sheet")
            << zipped(package(R"(<row r="1048577"/>)")) << u"número no válido"_qs;
        QTest::newRow("shared text that does not exist")
            << zipped(package(R"(<row r="1"><c t="s"><v>4</v></c></row>)", "<si><t>a</t></si>"))
            << u"Datos!A1"_qs;
        QTest::newRow("number that is none")
            << zipped(package(R"(<row r="1"><c r="B1"><v>1,5</v></c></row>)")) << u"«1,5»"_qs;
        auto cut = package("");
        cut[3].second = "<worksheet><sheetData><row r=\"1\"><c><v>1</v></c></row><row>";
        QTest::newRow("sheet part cut short") << zipped(cut) << u"XML no válido"_qs;
        const auto sheet = [&](const QByteArray& xml) {
            auto parts = package("");
            parts[3].second = xml;
            return zipped(parts);
        };
        const QByteArray head = "<worksheet><sheetData>";
        QTest::newRow("'<' inside an attribute")
            << zipped(package(R"(<row r="1"><c r="A<1"><v>1</v></c></row>)"))
            << u"XML no válido"_qs;
        QTest::newRow("end tag closing another element")
            << zipped(package(R"(<row r="1"><c><v>1</c></v></row>)")) << u"XML no válido"_qs;
        QTest::newRow("prefixed end tag not matching")
            << zipped(package(R"(<x:row r="1"><x:c><x:v>1</x:v></y:c></x:row>)"))
            << u"XML no válido"_qs;
        QTest::newRow("attribute without quotes")
            << zipped(package(R"(<row r=1><c><v>1</v></c></row>)")) << u"XML no válido"_qs;
        QTest::newRow("attributes run together")
            << zipped(package(R"(<row r="1"s="2"><c><v>1</v></c></row>)")) << u"XML no válido"_qs;
        QTest::newRow("attribute given twice")
            << zipped(package(R"(<row r="1"><c r="A1" r="B1"><v>1</v></c></row>)"))
            << u"XML no válido"_qs;
        QTest::newRow("reference to character zero")
            << zipped(package(R"(<row r="1"><c t="inlineStr"><is><t>a&#0;</t></is></c></row>)"))
            << u"XML no válido"_qs;
        QTest::newRow("reference without its end")
            << zipped(package(R"(<row r="1"><c t="inlineStr"><is><t>a&amp b</t></is></c></row>)"))
            << u"XML no válido"_qs;
        QTest::newRow("undeclared entity in an attribute")
            << zipped(package(R"(<row r="&one;"><c><v>1</v></c></row>)")) << u"XML no válido"_qs;
        QTest::newRow("text that is no UTF-8")
            << zipped(package("<row r=\"1\"><c t=\"inlineStr\"><is><t>a\xF1o</t></is></c></row>"))
            << u"UTF-8"_qs;
        QTest::newRow("row number absurdly long")
            << zipped(package("<row r=\"" + QByteArray(10000, '7') + "\"/>"))
            << u"número no válido"_qs;
        QTest::newRow("text after the root")
            << sheet(head + "<row r=\"1\"/></sheetData></worksheet>más") << u"XML no válido"_qs;
        QTest::newRow("element after the root")
            << sheet(head + "<row r=\"1\"/></sheetData></worksheet><worksheet/>")
            << u"XML no válido"_qs;
        QTest::newRow("part cut after the rows")
            << sheet(head + "<row r=\"1\"/></sheetData>") << u"XML no válido"_qs;
        QTest::newRow("part cut inside a comment")
            << sheet(head + "<row r=\"1\"><!-- c") << u"XML no válido"_qs;
        QTest::newRow("part cut inside CDATA")
            << sheet(head + "<row r=\"1\"><c><v><![CDATA[1") << u"XML no válido"_qs;
        QTest::newRow("part cut inside a tag") << sheet(head + "<row r=\"1") << u"XML no válido"_qs;
        QTest::newRow("DTD after the declaration")
            << sheet("<?xml version=\"1.0\"?>\n<!DOCTYPE worksheet><worksheet/>") << u"DTD"_qs;
        QTest::newRow("text that is too long")
            << zipped(package("<row r=\"1\"><c t=\"inlineStr\"><is><t>" +
                              QByteArray((1 << 20) + 1, 'a') + "</t></is></c></row>"))
            << u"caracteres"_qs;
    }

    // Runs nested a little, as rich texts may be, read as the text they
    // hold; nested far deeper than any spreadsheet writes, refused before
    // the stack or the reader's list of open elements runs out.
    void nestedRuns_data() {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("readable");
        QTest::newRow("3 levels") << 3 << true;
        QTest::newRow("200 levels") << 200 << true;
        QTest::newRow("a million levels") << 1000000 << false;
    }
    void nestedRuns() {
        QFETCH(int, depth);
        QFETCH(bool, readable);
        const QString path = out("anidado.xlsx");
        writeZip(path,
                 package(R"(<row r="1"><c t="inlineStr"><is>)" + QByteArray("<r>").repeated(depth) +
                         "<t>hondo</t>" + QByteArray("</r>").repeated(depth) + "</is></c></row>"));
        if (readable)
            QCOMPARE(readRows(path), QStringList{QStringLiteral("1|T:hondo")});
        else
            expectRefused(path, QStringLiteral("niveles"));
    }

    void refused() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fragment);
        const QString path = out("hostil.xlsx");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        expectRefused(path, fragment);
    }

    // An error in the middle of the sheet comes after the rows before it,
    // and every later call says it again rather than ending quietly.
    void errorMidSheetStays() {
        const QString path = out("mid.xlsx");
        writeZip(path,
                 package(R"(<row r="1"><c><v>1</v></c></row><row r="2"><c><v>x</v></c></row>)"));
        auto rows = openWorkbook(path);
        std::vector<SheetCell> cells;
        QVERIFY(rows->next(cells));
        QVERIFY_THROWS_EXCEPTION(IoError, rows->next(cells));
        QVERIFY_THROWS_EXCEPTION(IoError, rows->next(cells));
    }

    // A part that unpacks far beyond what it takes in the zip: the bytes
    // unpacked are counted, so the reading stops at the limit.
    void unpackLimit_data() {
        QTest::addColumn<bool>("inShared");
        QTest::newRow("in the sheet") << false;
        QTest::newRow("in the shared texts") << true;
    }
    void unpackLimit() {
        QFETCH(bool, inShared);
        const QString path = out("bomba.xlsx");
        const QByteArray filler(24 << 20, ' ');
        writeZip(path, inShared ? package("", "<si><t>a</t></si>" + filler)
                                : package("<row r=\"1\">" + filler + "</row>"));
        QVERIFY(QFileInfo(path).size() < 1 << 20);
        WorkbookLimits limits;
        limits.unpackedBytes = 4 << 20;
        expectRefused(path, QStringLiteral("pasa de 4 MB"), limits);
        // Under a limit that allows it, the same file reads.
        limits.unpackedBytes = 64 << 20;
        QCOMPARE(readRows(path, nullptr, limits).size(), inShared ? 0 : 1);
    }

    // The same part, with the zip declaring it a hundred bytes unpacked: a
    // reader that trusted the declared size would let it through.
    void unpackedSizeDeclaredSmall() {
        const QString path = out("miente.xlsx");
        writeZip(path, package("<row r=\"1\">" + QByteArray(24 << 20, ' ') + "</row>"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray zip = f.readAll();
        const QByteArray name = "xl/worksheets/data.xml";
        int patched = 0;
        // The size in the part's local header (at 22) and in its entry of the
        // central directory (at 24), both little-endian.
        for (const auto& [signature, sizeAt, nameAt] :
             {std::tuple{QByteArray("PK\x03\x04", 4), 22, 30},
              std::tuple{QByteArray("PK\x01\x02", 4), 24, 46}}) {
            for (qsizetype at = zip.indexOf(signature); at >= 0;
                 at = zip.indexOf(signature, at + 1)) {
                if (zip.mid(at + nameAt, name.size()) != name) continue;
                qToLittleEndian<quint32>(100, zip.data() + at + sizeAt);
                ++patched;
            }
        }
        QCOMPARE(patched, 2);
        f.seek(0);
        f.write(zip);
        f.close();
        WorkbookLimits limits;
        limits.unpackedBytes = 4 << 20;
        expectRefused(path, QStringLiteral("pasa de 4 MB"), limits);
    }

    void sharedTextLimit() {
        const QString path = out("textos.xlsx");
        QByteArray shared;
        for (int i = 0; i < 100; ++i)
            shared += "<si><t>" + QByteArray(10, char('a' + i % 26)) + "</t></si>";
        writeZip(path, package(R"(<row r="1"><c t="s"><v>99</v></c></row>)", shared));
        WorkbookLimits limits;
        limits.sharedChars = 999;
        expectRefused(path, QStringLiteral("textos compartidos"), limits);
        limits.sharedChars = 1000;
        limits.sharedCount = 99;
        expectRefused(path, QStringLiteral("textos compartidos"), limits);
        limits.sharedCount = 100;
        QCOMPARE(readRows(path, nullptr, limits),
                 QStringList{QStringLiteral("1|T:") + QString(10, u'v')});
    }

    void progressCountsTheSheetPart() {
        const QString path = out("progreso.xlsx");
        QByteArray rowsXml;
        for (int r = 1; r <= 5000; ++r)
            rowsXml += "<row r=\"" + QByteArray::number(r) + "\"><c><v>" + QByteArray::number(r) +
                       "</v></c></row>";
        writeZip(path, package(rowsXml));
        auto rows = openWorkbook(path);
        std::vector<SheetCell> cells;
        qint64 last = rows->bytesRead();
        QVERIFY(rows->bytesTotal() > rowsXml.size());
        bool moved = false;
        while (rows->next(cells)) {
            QVERIFY(rows->bytesRead() >= last);
            moved = moved || rows->bytesRead() > last;
            last = rows->bytesRead();
        }
        QVERIFY(moved);
        QCOMPARE(rows->rowNumber(), qint64(5000));
    }
};

QTEST_GUILESS_MAIN(TestWorkbookReader)
#include "tst_workbookreader.moc"
