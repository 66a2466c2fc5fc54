// Reading and writing declaration files in both forms.
//
// The fixtures dos-lineas-{coma,punto}.{txt,csv} were laid out by hand from
// the file layout: the same two lines by position and by separator, with the
// comma or the period as decimal separator. The first line fills every field;
// the second has empty dates, empty texts and zero amounts.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

using namespace solvanta;
using namespace testutil;

namespace {

// A well-formed position line (the first fixture line) with some fields
// replaced by the given columns. Each replacement must have the field's width.
QByteArray positionLine(const QList<QPair<const char*, QByteArray>>& fields) {
    QByteArray line = readAll(dataFile("dos-lineas-coma.txt")).left(kPositionLineLength);
    for (const auto& [name, columns] : fields) {
        const FieldDef& def = kFields[std::size_t(field(name))];
        if (columns.size() != def.width)
            qFatal("fixture columns for %s have the wrong width", name);
        line.replace(def.start - 1, def.width, columns);
    }
    return line;
}

QStringList fileNames(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// The message of the first failure of the work; empty when it succeeds.
template <typename F> QString failure(F&& work) {
    try {
        work();
    } catch (const Error& e) {
        return e.message();
    }
    return {};
}

// Many generated lines, in several of the batches a conversion passes
// between its threads, written in the given form.
QByteArray generatedFile(FileForm form, const QString& path) {
    RxMem table;
    generateDeclaration(table, 3000, 11);
    writeDeclaration(path, form, table);
    return readAll(path);
}

// The line (1-based) of a file, without its line end.
QByteArray& lineOf(QList<QByteArray>& lines, int line) {
    return lines[line - 1];
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString path(const char* name) const { return tmp_.filePath(QLatin1StringView(name)); }

    // Loads the bytes as a file of the given form.
    void load(const QByteArray& bytes, FileForm form, RxMem& table) {
        const QString p = path("entrada.txt");
        QVERIFY(writeAll(p, bytes));
        loadDeclaration(p, form, table);
    }

private slots:
    void init() { numtext::setDecimalSeparator(','); }

    void fixturesAgree_data() {
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("fixture");
        QTest::newRow("comma") << ',' << QStringLiteral("dos-lineas-coma");
        QTest::newRow("period") << '.' << QStringLiteral("dos-lineas-punto");
    }

    // Every load and write rule at once: each form read and written in each
    // form gives exactly the fixture of that form.
    void fixturesAgree() {
        QFETCH(char, separator);
        QFETCH(QString, fixture);
        numtext::setDecimalSeparator(separator);
        const QString pos = dataFile("") + fixture + QLatin1String(".txt");
        const QString csv = dataFile("") + fixture + QLatin1String(".csv");
        const QString out = path("salida.txt");
        RxMem table;

        loadDeclaration(pos, FileForm::Position, table);
        QCOMPARE(table.recordCount(), 2);
        writeDeclaration(out, FileForm::Position, table);
        QCOMPARE(readAll(out), readAll(pos));
        writeDeclaration(out, FileForm::Separator, table);
        QCOMPARE(readAll(out), readAll(csv));

        loadDeclaration(csv, FileForm::Separator, table);
        QCOMPARE(table.recordCount(), 2);
        writeDeclaration(out, FileForm::Separator, table);
        QCOMPARE(readAll(out), readAll(csv));
        writeDeclaration(out, FileForm::Position, table);
        QCOMPARE(readAll(out), readAll(pos));
        QCOMPARE(table.recNo(), 2); // the last line is current after a write
    }

    void positionRules_data() {
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("columns");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("note"); // on the cell, when a value did not read

        auto row = [](const char* tag, char sep, const char* name, const char* columns,
                      const char* stored, const char* note = "") {
            QTest::newRow(tag) << sep << QByteArray(name) << cp(QString::fromUtf8(columns))
                               << QString::fromUtf8(stored) << QString::fromUtf8(note);
        };
        row("whole2 keeps two digits", ',', "tipo_pago", "05", "05");
        row("whole2 fallback", ',', "tipo_pago", "5 ", "00",
            "«5 » no es un número; se leyó como 00.");
        row("whole drops zeros", ',', "cod_mov", "05", "5");
        row("whole fallback 00", ',', "dias_trab", "  ", "00");
        row("trailing blank is no whole number", ',', "inst_apvi", "12 ", "0",
            "«12 » no es un número; se leyó como 0.");
        row("decimals in a whole amount", ',', "impo_afp", "1234,500", "0",
            "«1234,500» no es un monto; se leyó como 0.");
        row("rut with a letter", ',', "rut", "0001234567A", "0",
            "«0001234567A» no es un RUT; se leyó como 0.");
        row("leading blanks read", ',', "inst_apvi", " 12", "12");
        row("whole into number field", ',', "asig_fam", "001234", "1234");
        row("amount", ',', "impo_afp", "00123456", "123456");
        row("amount with blanks", ',', "impo_afp", "        ", "0");
        row("negative amount is no number", ',', "impo_afp", "000-1234", "0",
            "«000-1234» no es un monto; se leyó como 0.");
        row("rut", ',', "rut", "00012345678", "12345678");
        row("rut blanks", ',', "rut", "           ", "0");
        row("rate with period, comma locale", ',', "tasa_pac_afp", "04.50", "4,5");
        row("rate with comma, comma locale", ',', "tasa_pac_afp", "04,50", "4,5");
        row("rate with period, period locale", '.', "tasa_pac_afp", "04.50", "4.5");
        row("rate with comma, period locale", '.', "tasa_pac_afp", "04,50", "4.5");
        row("rate number field", '.', "cot_pactada", "000004,5", "4.5");
        row("rate with two separators", ',', "tasa_ex_caja", "1.2,5", "0",
            "«1.2,5» no es un número; se leyó como 0.");
        row("decimal takes only the locale's", ',', "porc_trab_pesado", "04.50", "0",
            "«04.50» no es un número; se leyó como 0.");
        row("decimal comma", ',', "porc_trab_pesado", "04,50", "4,5");
        row("decimal period", '.', "porc_trab_pesado", "04.50", "4.5");
        row("decimal into text field", ',', "rut_afi_volun", "00012345678", "12345678");
        row("decimal text fallback", ',', "cod_sucur_ccaf", "                    ", "0");
        row("text keeps blanks", ',', "ape_pat", "  ÑANDÚ                       ",
            "  ÑANDÚ                       ");
        row("one-column text", ',', "dv", " ", " ");
    }

    void positionRules() {
        QFETCH(char, separator);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, columns);
        QFETCH(QString, stored);
        QFETCH(QString, note);
        numtext::setDecimalSeparator(separator);
        RxMem table;
        load(positionLine({{name.constData(), columns}}), FileForm::Position, table);
        QCOMPARE(table.recordCount(), 1);
        QCOMPARE(table.asText(field(name.constData())), stored);
        // (Other fields of the fixture line may not read with a period.)
        QString noted;
        for (const RxMem::CellNote& n : table.notesOf(table.bookmarkAt(0)))
            if (n.field == field(name.constData())) noted = n.problem;
        QCOMPARE(noted, note);
    }

    // A short line gives the columns it has; later fields are empty or take
    // their fallback.
    void shortPositionLine() {
        QByteArray line = positionLine({{"ahorro_afp", "12345678"}}).left(200);
        RxMem table;
        load(line + "\r\n", FileForm::Position, table);
        QCOMPARE(table.asText(field("ahorro_afp")), QStringLiteral("12"));
        QCOMPARE(table.asText(field("sust_afp")), QStringLiteral("0"));
        QCOMPARE(table.asText(field("tasa_pac_afp")), QStringLiteral("0"));
        QCOMPARE(table.asText(field("num_per_sust")), QStringLiteral("0"));
        QCOMPARE(table.asText(field("per_desde_sust")), QString());
        QCOMPARE(table.asText(field("centro_costo")), QString());
    }

    void lineEnds_data() {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("lines");
        QTest::newRow("CR LF") << QByteArray("\r\n@\r\n") << 2;
        QTest::newRow("LF") << QByteArray("\n@\n") << 2;
        QTest::newRow("no final line end") << QByteArray("\r\n@") << 2;
        QTest::newRow("Ctrl+Z ends the file") << QByteArray("\r\n\x1A"
                                                            "garbage\r\n\r\n")
                                              << 1;
        QTest::newRow("Ctrl+Z inside the last line") << QByteArray("\r\n@\x1A\r\n\r\n") << 2;
        QTest::newRow("old Mac: CR alone") << QByteArray("\r@\r") << 2;
        QTest::newRow("old Mac, no final line end") << QByteArray("\r@\r@") << 3;
        QTest::newRow("empty lines at the end") << QByteArray("\r\n@\r\n\r\n  \r\n") << 2;
    }

    // "@" stands for a copy of the first line.
    void lineEnds() {
        QFETCH(QByteArray, tail);
        QFETCH(int, lines);
        const QByteArray line = positionLine({});
        QByteArray bytes = line + tail;
        bytes.replace("@", line);
        RxMem table;
        load(bytes, FileForm::Position, table);
        QCOMPARE(table.recordCount(), lines);
        for (int r = 0; r < lines; ++r)
            QCOMPARE(table.textAt(r, field("centro_costo")),
                     QStringLiteral("SUCURSAL ÑUÑOA      "));
    }

    void reportAccountsForTheFile_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("losses");
        QTest::addColumn<int>("noteLine"); // of the first note; 0: the file
        QTest::addColumn<QString>("noteField");
        QTest::addColumn<QString>("note");
        const QByteArray good = positionLine({});
        const QByteArray sep = readAll(dataFile("dos-lineas-coma.csv")).split('\r').first();
        QTest::newRow("clean") << 0 << QByteArray(good + "\r\n" + good + "\r\n") << 2 << 0 << -1
                               << QString() << QString();
        QTest::newRow("CR line ends")
            << 0 << QByteArray(good + "\r" + good + "\r" + good + "\r") << 3 << 0 << 0
            << QString() << QStringLiteral("las líneas del archivo terminan solo en CR");
        QTest::newRow("Ctrl+Z with lines after it")
            << 0 << QByteArray(good + "\r\n\x1A\r\n" + good + "\r\n" + good) << 1 << 1 << 0
            << QString()
            << QStringLiteral("Después de la línea 1 hay un carácter de fin de archivo (Ctrl+Z); "
                              "lo que sigue no se leyó: 2 líneas.");
        QTest::newRow("Ctrl+Z and line ends only")
            << 0 << QByteArray(good + "\r\n\x1A\r\n\x1A\n") << 1 << 0 << -1 << QString()
            << QString();
        QTest::newRow("long position line")
            << 0 << QByteArray(good + "X") << 1 << 1 << 1 << QStringLiteral("centro_costo")
            << QStringLiteral("la línea tiene 862 caracteres y no 861: lo que sigue a la columna "
                              "861 no se leyó («X»).");
        QTest::newRow("blanks after a position line")
            << 0 << QByteArray(good + "   ") << 1 << 0 << -1 << QString() << QString();
        QTest::newRow("position line cut inside an amount")
            << 0 << good.left(178) << 1 << 1 << 1 << QStringLiteral("impo_afp")
            << QStringLiteral("la línea tiene 178 caracteres y no 861, y termina dentro de este "
                              "campo: se leyó «0000» y los campos siguientes quedaron vacíos.");
        QTest::newRow("separator line ending in ;")
            << 1 << QByteArray(sep + ";") << 1 << 0 << -1 << QString() << QString();
        QTest::newRow("separator line of 107 fields")
            << 1 << QByteArray(sep + ";A;B") << 1 << 1 << 1 << QStringLiteral("centro_costo")
            << QStringLiteral("la línea tiene 107 campos y no 105: lo que sigue al campo 105 no "
                              "se leyó («A;B»).");
        QTest::newRow("separator line of 104 fields")
            << 1 << sep.left(sep.lastIndexOf(';')) << 1 << 1 << 1
            << QStringLiteral("centro_costo")
            << QStringLiteral("la línea tiene 104 campos y no 105: el campo 105 no estaba en la "
                              "línea y tomó «");
        QTest::newRow("separator line of 7 fields")
            << 1 << QByteArray("1;2;3;4;5;6;0") << 1 << 1 << 1 << QStringLiteral("tipo_pago")
            << QStringLiteral("la línea tiene 7 campos y no 105: los campos 8 a 105 no estaban en "
                              "la línea y tomaron «0», el último texto de la línea.");
    }

    // What the loader did not take as it stood is in its report, each line's
    // notes also on the cell; nothing is left out silently.
    void reportAccountsForTheFile() {
        QFETCH(int, form);
        QFETCH(QByteArray, bytes);
        QFETCH(int, lines);
        QFETCH(int, losses);
        QFETCH(int, noteLine);
        QFETCH(QString, noteField);
        QFETCH(QString, note);
        const QString p = path("informe.txt");
        QVERIFY(writeAll(p, bytes));
        RxMem table;
        const LoadReport report = loadDeclaration(p, FileForm(form), table);
        QCOMPARE(table.recordCount(), lines);
        QCOMPARE(report.lines, qint64(lines));
        QCOMPARE(report.lossCount, qint64(losses));
        if (noteLine < 0) {
            QCOMPARE(report.noteCount, 0);
            QVERIFY(!table.hasNotes());
            return;
        }
        QVERIFY(!report.notes.empty());
        const LoadNote& n = report.notes.front();
        QVERIFY2(n.text.contains(note), qPrintable(n.text));
        QCOMPARE(n.line, qint64(noteLine));
        if (noteLine == 0) return;
        QCOMPARE(n.field, field(noteField.toLatin1().constData()));
        const auto cell = table.notesOf(table.bookmarkAt(noteLine - 1));
        QCOMPARE(cell.size(), std::size_t(1));
        QCOMPARE(cell.front().field, n.field);
        QCOMPARE(cell.front().problem, n.text);
    }

    void formGuessed_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("form"); // -1: none
        const QByteArray pos = positionLine({});
        const QByteArray sep = readAll(dataFile("dos-lineas-coma.csv"));
        QTest::newRow("position, CR LF") << QByteArray(pos + "\r\n" + pos + "\r\n") << 0;
        QTest::newRow("position, old Mac CR") << QByteArray(pos + "\r" + pos + "\r") << 0;
        QTest::newRow("position after a byte-order mark")
            << QByteArray("\xEF\xBB\xBF" + pos + "\r\n") << 0;
        {
            // Letters of two bytes in UTF-8: the line still has 861 letters.
            const QByteArray line = positionLine({});
            const QString text = cp1252::decode({line.constData(), std::size_t(line.size())});
            QVERIFY(text.contains(u'Ñ'));
            QTest::newRow("position in UTF-8") << QByteArray(text.toUtf8() + "\r\n") << 0;
        }
        QTest::newRow("separator") << sep << 1;
        QTest::newRow("separator, old Mac CR") << QByteArray(sep).replace("\r\n", "\r") << 1;
        QTest::newRow("comma-separated") << QByteArray(sep).replace(';', ',') << -1;
    }

    void formGuessed() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, form);
        const QString p = path("forma.txt");
        QVERIFY(writeAll(p, bytes));
        const auto seen = guessForm(p);
        QCOMPARE(seen ? int(*seen) : -1, form);
    }

    // A CR on its own is dropped: the columns after it move one to the left.
    void loneCarriageReturnDropped() {
        QByteArray line = positionLine({});
        line.insert(12, '\r'); // just before ape_pat
        RxMem table;
        load(line, FileForm::Position, table);
        QCOMPARE(table.asText(field("ape_pat")).trimmed(), QStringLiteral("MUÑOZ"));
    }

    void badNacionStopsTheLoad_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("cut"); // the value quoted is longer than 80
        const QByteArray good = positionLine({});
        const QString nacion = QStringLiteral("el campo [7] Nación tiene «");
        QTest::newRow("empty line between lines")
            << 0 << QByteArray(good + "\r\n" + good + "\r\n\r\n" + good) << QStringLiteral("Línea 3")
            << QStringLiteral("está vacía, y entre las líneas de un archivo de declaración no "
                              "hay líneas vacías.")
            << false;
        QTest::newRow("letter in column 104")
            << 0 << QByteArray(good + "\r\n" + positionLine({{"nacion", "X"}}))
            << QStringLiteral("Línea 2") << nacion << false;
        QTest::newRow("line shorter than 104")
            << 0 << good.left(103) << QStringLiteral("Línea 1")
            << QStringLiteral("tiene 103 caracteres y no 861, así que no parece un archivo de "
                              "declaración por posición.")
            << false;
        QTest::newRow("separator, empty piece")
            << 1 << QByteArray("1;2;3;4;5;6;;8") << QStringLiteral("Línea 1") << nacion << false;
        QTest::newRow("position line read by separator")
            << 1 << good << QStringLiteral("Línea 1")
            << QStringLiteral("no tiene los campos separados por «;», así que no parece un "
                              "archivo de declaración por separador.")
            << false;
        QTest::newRow("comma-separated file")
            << 1 << QByteArray("12345678,5,PEREZ,SOTO,ANA,F,0,05,012025\r\n")
            << QStringLiteral("Línea 1")
            << QStringLiteral("no tiene los campos separados por «;» (están separados por comas)")
            << false;
        QTest::newRow("tab-separated file")
            << 1 << QByteArray("12345678\t5\tPEREZ\tSOTO\tANA\tF\t0\t05\t012025\r\n")
            << QStringLiteral("Línea 1")
            << QStringLiteral("no tiene los campos separados por «;» (están separados por "
                              "tabuladores)")
            << false;
        QTest::newRow("separator file read by position")
            << 0 << QByteArray("12345678;5;PEREZ;SOTO;ANA;F;0;05;012025") + QByteArray(100, ';')
            << QStringLiteral("Línea 1")
            << QStringLiteral("tiene 139 caracteres y sus campos están separados por «;»: "
                              "parece un archivo por separador, no por posición.")
            << false;
        QTest::newRow("long value quoted short")
            << 1 << QByteArray("1;2;3;4;5;6;") + QByteArray(300, 'X') + QByteArray(100, ';')
            << QStringLiteral("Línea 1") << nacion << true;
    }

    // nacion has no fallback: the load stops, names the file, the line and
    // why (a line of another form says so), and leaves no lines behind.
    void badNacionStopsTheLoad() {
        QFETCH(int, form);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, where);
        QFETCH(QString, says);
        QFETCH(bool, cut);
        RxMem table;
        const QString p = path("mala línea.txt");
        QVERIFY(writeAll(p, bytes));
        try {
            loadDeclaration(p, FileForm(form), table);
            QFAIL("the load did not stop");
        } catch (const ConversionError& e) {
            QVERIFY2(e.message().contains(QDir::toNativeSeparators(p)), qPrintable(e.message()));
            QVERIFY2(e.message().contains(where + QLatin1String(": ") + says),
                     qPrintable(e.message()));
            // The value is quoted, at most 80 characters of it.
            static const QRegularExpression quoted(QStringLiteral("tiene «([^»]*)»"));
            const QRegularExpressionMatch m = quoted.match(e.message());
            if (says == QStringLiteral("el campo [7] Nación tiene «")) {
                QVERIFY2(m.hasMatch(), qPrintable(e.message()));
                QVERIFY2(m.captured(1).size() <= 81, qPrintable(e.message()));
                QCOMPARE(m.captured(1).endsWith(QChar(0x2026)), cut);
            }
        }
        QVERIFY(!table.isActive());
        QCOMPARE(table.recordCount(), 0);
    }

    void overlongLineStopsTheLoad_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line"); // the line named; 0 when the file loads
        const QByteArray good = positionLine({}) + "\r\n";
        // A position line padded with blanks to 65,536 characters, or one more.
        auto padded = [&](int length) {
            return positionLine({}) + QByteArray(length - kPositionLineLength, ' ');
        };
        const QByteArray block = good.repeated(1200); // just short of the reader's 1 MiB block
        QTest::newRow("no line break at all") << 0 << QByteArray(100000, '0') << 1;
        QTest::newRow("third line")
            << 0 << QByteArray(good + good + QByteArray(70000, '1') + "\r\n" + good) << 3;
        QTest::newRow("longest line loads") << 0 << QByteArray(padded(65536) + "\r\n") << 0;
        QTest::newRow("one character more") << 0 << QByteArray(padded(65537) + "\r\n") << 1;
        QTest::newRow("longest without line end") << 0 << padded(65536) << 0;
        QTest::newRow("one more without line end") << 0 << padded(65537) << 1;
        QTest::newRow("longest across two blocks")
            << 0 << QByteArray(block + padded(65536) + "\r\n" + good) << 0;
        QTest::newRow("one more across two blocks")
            << 0 << QByteArray(block + padded(65537) + "\r\n" + good) << 1201;
        QTest::newRow("separator form")
            << 1 << QByteArray("1;;;;;;0\r\n1;;;;;;0;" + QByteArray(70000, 'x')) << 2;
    }

    // No declaration line comes near 64 KiB: a longer one (a file without
    // line breaks, a binary file) stops the load at once instead of being
    // gathered into memory, and the message names the line and the file.
    void overlongLineStopsTheLoad() {
        QFETCH(int, form);
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        RxMem table;
        const QString p = path("sin saltos.txt");
        QVERIFY(writeAll(p, bytes));
        try {
            loadDeclaration(p, FileForm(form), table);
            QCOMPARE(line, 0);
            // The long line was read as one line, and so was the one after it.
            QCOMPARE(table.textAt(table.recordCount() - 1, field("centro_costo")),
                     QStringLiteral("SUCURSAL ÑUÑOA      "));
            return;
        } catch (const IoError& e) {
            QCOMPARE(e.message(), QStringLiteral("La línea %1 del archivo «%2» tiene más de 65.536 "
                                                 "caracteres: no es un archivo de declaración.")
                                      .arg(line)
                                      .arg(QDir::toNativeSeparators(p)));
        }
        QVERIFY(!table.isActive());
        QCOMPARE(table.recordCount(), 0);
    }

    void changedWhileRead_data() {
        QTest::addColumn<int>("change");
        QTest::newRow("cut short") << 0;
        QTest::newRow("emptied") << 1;
        QTest::newRow("grown") << 2;
        QTest::newRow("rewritten, same size") << 3;
    }

    // Another program changing the file while it is read (here: on the
    // first progress report, after the first block) would leave a table of
    // part of one file and part of another, or a last line built from a
    // fragment: the load fails instead, and no line is kept.
    void changedWhileRead() {
        QFETCH(int, change);
        const QString p = path("cambiante.txt");
        const QByteArray fixture = readAll(dataFile("dos-lineas-coma.txt"));
        const QByteArray line = fixture.left(fixture.indexOf('\n') + 1);
        QVERIFY(writeAll(p, line.repeated(3000)));

        struct Change : Progress {
            QString path;
            int change = 0;
            bool done = false;
            bool update(qint64, qint64) override {
                if (done) return true;
                done = true;
                QFile f(path);
                if (!f.open(QIODevice::ReadWrite)) return false;
                switch (change) {
                case 0:
                    f.resize(1500000);
                    break;
                case 1:
                    f.resize(0);
                    break;
                case 2:
                    f.seek(f.size());
                    f.write(readAll(dataFile("dos-lineas-coma.txt")));
                    break;
                default:
                    f.setFileTime(f.fileTime(QFileDevice::FileModificationTime).addSecs(3600),
                                  QFileDevice::FileModificationTime);
                }
                return true;
            }
        } progress;
        progress.path = p;
        progress.change = change;

        RxMem table;
        try {
            loadDeclaration(p, FileForm::Position, table, &progress);
            QFAIL("the load did not fail");
        } catch (const Error& e) { // not the fragment's nacion, which the change explains
            QCOMPARE(e.message(), QStringLiteral("No se pudo cargar el archivo «%1»: cambió "
                                                 "mientras se leía. Vuelva a cargarlo cuando "
                                                 "ningún otro programa lo esté modificando.")
                                      .arg(QDir::toNativeSeparators(p)));
        }
        QVERIFY(progress.done);
        QVERIFY(!table.isActive());
        QCOMPARE(table.recordCount(), 0);
    }

#ifdef Q_OS_UNIX
    void specialFilesRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("writeToo"); // not over the system's own device
        QTest::newRow("character device") << QStringLiteral("/dev/null") << false;
        QTest::newRow("socket") << QStringLiteral("socket") << true;
        QTest::newRow("pipe without writer") << QStringLiteral("fifo") << true;
    }

    // A path that is no regular file is refused at once: reading a pipe
    // without a writer would wait forever and a device may never end, and
    // writing would put a regular file in its place.
    void specialFilesRefused() {
        QFETCH(QString, kind);
        QFETCH(bool, writeToo);
        QString p = kind;
        std::optional<SpecialFile> made;
        if (kind != QLatin1String("/dev/null")) {
            p = path(kind == QLatin1String("fifo") ? "tuberia" : "conexion");
            made.emplace(kind == QLatin1String("fifo") ? SpecialFile::Pipe : SpecialFile::Socket,
                         p);
            QVERIFY(made->ok());
        }
        const QString reason = QStringLiteral(
            "no es un archivo común, sino un dispositivo o un canal entre programas.");

        RxMem table;
        try {
            loadDeclaration(p, FileForm::Position, table);
            QFAIL("the load did not fail");
        } catch (const IoError& e) {
            QCOMPARE(e.message(), QStringLiteral("No se pudo abrir el archivo «%1»: %2")
                                      .arg(QDir::toNativeSeparators(p), reason));
        }
        QVERIFY(!table.isActive());
        QCOMPARE(guessForm(p), std::nullopt);
        if (!writeToo) return;

        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        try {
            writeDeclaration(p, FileForm::Separator, table);
            QFAIL("the write did not fail");
        } catch (const IoError& e) {
            QCOMPARE(e.message(), QStringLiteral("No se pudo crear el archivo «%1»: %2")
                                      .arg(QDir::toNativeSeparators(p), reason));
        }
        const QFileInfo after(p);
        QVERIFY(after.exists() && !after.isFile());
    }
#endif

    void unreadableFile() {
        RxMem table;
        const QString missing = path("no existe.txt");
        QVERIFY_THROWS_EXCEPTION(IoError, loadDeclaration(missing, FileForm::Position, table));
        try {
            loadDeclaration(missing, FileForm::Position, table);
        } catch (const IoError& e) {
            QVERIFY(e.message().contains(QDir::toNativeSeparators(missing)));
            QVERIFY(e.message().contains(QStringLiteral("no existe")));
        }
        QVERIFY_THROWS_EXCEPTION(IoError, loadDeclaration(tmp_.path(), FileForm::Position, table));
        QCOMPARE(table.recordCount(), 0);
    }

    void separatorPieces() {
        RxMem table;
        QByteArray full = readAll(dataFile("dos-lineas-coma.csv"));
        const QByteArray first = full.left(full.indexOf("\r\n"));
        load("12345678;5;A;B;C;M;0\r\n" + first + ";\r\n" + first +
                 "\r\n"
                 "1;;;;;;1;05;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;"
                 ";;;;;;;;;;;;;;;;;;;;;;;\r\n",
             FileForm::Separator, table);
        QCOMPARE(table.recordCount(), 4);

        // Seven pieces: fields 7 to 105 all get the last piece.
        QCOMPARE(table.textAt(0, field("nacion")), QStringLiteral("0"));
        QCOMPARE(table.textAt(0, field("tipo_pago")), QStringLiteral("0"));
        QCOMPARE(table.textAt(0, field("impo_afp")), QStringLiteral("0"));
        QCOMPARE(table.textAt(0, field("centro_costo")), QStringLiteral("0"));

        // A ";" after the 105th piece changes nothing.
        for (int f = 0; f < kFieldCount; ++f)
            QCOMPARE(table.textAt(1, f), table.textAt(2, f));

        // Empty pieces: 0 for numbers, "0" for the two counts, empty text
        // elsewhere; codes keep their zeros.
        QCOMPARE(table.textAt(3, field("impo_afp")), QStringLiteral("0"));
        QCOMPARE(table.textAt(3, field("tipo_trab")), QStringLiteral("0"));
        QCOMPARE(table.textAt(3, field("dias_trab")), QStringLiteral("0"));
        QCOMPARE(table.textAt(3, field("ape_pat")), QString());
        QCOMPARE(table.textAt(3, field("tipo_pago")), QStringLiteral("05"));
    }

    void separatorNumbers_data() {
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("noted"); // a piece that did not read is noted on each cell
        QTest::newRow("plain") << ',' << QByteArray("1234") << QStringLiteral("1234") << false;
        QTest::newRow("zeros") << ',' << QByteArray("00012") << QStringLiteral("12") << false;
        QTest::newRow("blanks") << ',' << QByteArray(" 12 ") << QStringLiteral("12") << false;
        QTest::newRow("locale comma") << ',' << QByteArray("4,5") << QStringLiteral("4,5") << false;
        QTest::newRow("other separator refused")
            << ',' << QByteArray("4.5") << QStringLiteral("0") << true;
        QTest::newRow("locale period")
            << '.' << QByteArray("4.5") << QStringLiteral("4.5") << false;
        QTest::newRow("letters") << ',' << QByteArray("12a") << QStringLiteral("0") << true;
        QTest::newRow("negative") << ',' << QByteArray("-1234") << QStringLiteral("-1234") << false;
        QTest::newRow("empty is no value") << ',' << QByteArray() << QStringLiteral("0") << false;
    }

    void separatorNumbers() {
        QFETCH(char, separator);
        QFETCH(QByteArray, piece);
        QFETCH(QString, stored);
        QFETCH(bool, noted);
        numtext::setDecimalSeparator(separator);
        RxMem table;
        QByteArray line = "1;K;A;B;C;M;0;01;;;;;;;;;;;;;;;;;;;" + piece;
        load(line, FileForm::Separator, table); // impo_afp is the 27th piece; the rest repeat it
        QCOMPARE(table.asText(field("impo_afp")), stored);
        QCOMPARE(table.asText(field("rut")), QStringLiteral("1"));
        bool amountNoted = false;
        for (const RxMem::CellNote& n : table.notesOf(table.bookmarkAt(0))) {
            QVERIFY(kFields[std::size_t(n.field)].kind == Kind::Number); // text keeps the piece
            if (n.field == field("impo_afp")) {
                amountNoted = true;
                QCOMPARE(n.problem, QStringLiteral("«%1» no es un monto; se leyó como 0.")
                                        .arg(QString::fromLatin1(piece)));
            }
        }
        QCOMPARE(amountNoted, noted);
    }

    void writePositionRules_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written");
        auto row = [](const char* tag, const char* name, const char* value, const char* written) {
            QTest::newRow(tag) << QByteArray(name) << QString::fromUtf8(value)
                               << QByteArray(written);
        };
        row("Z amount", "impo_afp", "1234", "00001234");
        row("Z negative", "impo_afp", "-1234", "000-1234");
        row("Z too long", "impo_afp", "123456789", "123456789");
        row("Z empty amount", "impo_afp", "", "00000000");
        row("Z code", "cod_mov", "5", "05");
        row("Z rate", "tasa_pac_afp", "4,5", "004,5");
        row("Z period empty", "remu_hasta", "", "000000");
        row("Z blanks removed", "remu_desde", " 32024", "032024");
        row("B date empty", "per_desde_sust", "", "          ");
        row("B check digit empty", "dv_pag_subs", "", " ");
        row("T", "cod_sucur_ccaf", "15000", "15000               ");
        row("H empty", "dv", "", "");
        row("D1 zero", "Fecha_Desde", "0", "          ");
        row("D1 empty", "Fecha_Desde", "", "          ");
        row("D1 short", "Fecha_Desde", "1-1-2024", "1-1-2024");
        row("D2 zero", "fec_desde_volun", "0", "0");
        row("D2 empty", "fec_desde_volun", "", "          ");
    }

    // Fields are laid out in order, so the written columns are the ones that
    // start at the field's column and run until the next field's value.
    void writePositionRules() {
        QFETCH(QByteArray, name);
        QFETCH(QString, value);
        QFETCH(QByteArray, written);
        const int f = field(name.constData());
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        table.first();
        table.edit();
        if (value.isEmpty())
            table.clear(f);
        else
            table.setText(f, value);
        table.post();
        const QString out = path("salida.txt");
        writeDeclaration(out, FileForm::Position, table);
        const QByteArray original = readAll(dataFile("dos-lineas-coma.txt"));
        const QByteArray line = readAll(out).left(readAll(out).indexOf("\r\n"));
        const FieldDef& def = kFields[std::size_t(f)];
        const int tail = kPositionLineLength - (def.start - 1 + def.width);
        QCOMPARE(line.size(), kPositionLineLength - def.width + written.size());
        QCOMPARE(line.left(def.start - 1), original.left(def.start - 1));
        QCOMPARE(line.mid(def.start - 1, written.size()), written);
        QCOMPARE(line.right(tail), original.left(kPositionLineLength).right(tail));
    }

    void writeEmptyAndBlankLines() {
        RxMem table;
        table.open();
        const QString out = path("salida.txt");
        writeDeclaration(out, FileForm::Position, table);
        QCOMPARE(readAll(out), QByteArray());
        table.append();
        table.post();
        writeDeclaration(out, FileForm::Separator, table);
        QCOMPARE(readAll(out), QByteArray(104, ';') + "\r\n");
    }

    // Blanks and control characters go from both ends of every piece but dv.
    void writeSeparatorTrims() {
        RxMem table;
        table.open();
        table.append();
        table.setText(field("dv"), QStringLiteral(" "));
        table.setText(field("ape_pat"), QStringLiteral("\t PÉREZ  "));
        table.setText(field("centro_costo"), QStringLiteral("  CENTRO 1 "));
        table.post();
        const QString out = path("salida.csv");
        writeDeclaration(out, FileForm::Separator, table);
        const QList<QByteArray> pieces = readAll(out).chopped(2).split(';');
        QCOMPARE(pieces.size(), kFieldCount);
        QCOMPARE(pieces[1], QByteArray(" "));
        QCOMPARE(pieces[2], cp(QStringLiteral("PÉREZ")));
        QCOMPARE(pieces[104], QByteArray("CENTRO 1"));
    }

    void writeRefusesBreakingValues_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("value");
        QTest::newRow("semicolon, separator form") << 1 << QStringLiteral("A;B");
        QTest::newRow("line feed, separator form") << 1 << QStringLiteral("A\nB");
        QTest::newRow("carriage return, position form") << 0 << QStringLiteral("A\rB");
        // Anywhere in a text as long as the field: the writer looks at long
        // texts several characters at a time.
        const QString full = QStringLiteral("ÑANDÚ ÁLVAREZ ÍÑIGO ÓSCAR ÚRSU"); // 30 characters
        for (const int at : {0, 7, 8, 13, 16, 23, 24, 29}) {
            QTest::addRow("semicolon at %d of 30", at)
                << 1 << QString(full).replace(at, 1, QLatin1Char(';'));
            QTest::addRow("line feed at %d of 30, position form", at)
                << 0 << QString(full).replace(at, 1, QLatin1Char('\n'));
            QTest::addRow("carriage return at %d of 30", at)
                << 1 << QString(full).replace(at, 1, QLatin1Char('\r'));
        }
    }

    // A value that would shift every later field stops the write with the
    // line and field named; the existing file stays as it was and no
    // temporary file is left behind.
    void writeRefusesBreakingValues() {
        QFETCH(int, form);
        QFETCH(QString, value);
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        table.last();
        table.edit();
        table.setText(field("nombres"), value);
        table.post();
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("Solvanta.txt"));
        QVERIFY(writeAll(out, "contenido anterior"));
        try {
            writeDeclaration(out, FileForm(form), table);
            QFAIL("the write did not stop");
        } catch (const IoError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("Línea 2, campo [5] Nombre:")),
                     qPrintable(e.message()));
        }
        QCOMPARE(readAll(out), QByteArray("contenido anterior"));
        QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.txt")});
    }

    void writeToMissingFolder() {
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        const QString out = path("no-existe/Solvanta.txt");
        try {
            writeDeclaration(out, FileForm::Position, table);
            QFAIL("the write did not fail");
        } catch (const IoError& e) {
            QVERIFY(e.message().contains(QDir::toNativeSeparators(out)));
        }
        QVERIFY(!QFile::exists(out));
        QCOMPARE(table.recordCount(), 2);
    }

#ifdef Q_OS_UNIX
    // A write that fails half-way (here: no file may grow) reports the file
    // and leaves the existing one as it was, with no temporary file behind.
    void writeFailureKeepsExistingFile() {
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("Solvanta.txt"));
        QVERIFY(writeAll(out, "contenido anterior"));
        {
            NoFileGrowth guard;
            QVERIFY(guard.ok());
            QVERIFY_THROWS_EXCEPTION(IoError, writeDeclaration(out, FileForm::Position, table));
        }
        QCOMPARE(readAll(out), QByteArray("contenido anterior"));
        QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.txt")});
    }
#endif

    void shortWriteReportsFullDisk_data() {
        QTest::addColumn<int>("form");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("limit"); // bytes a file may hold
        QTest::newRow("position, first block") << 0 << 100 << 8000;
        QTest::newRow("separator, first block") << 1 << 100 << 8000;
        QTest::newRow("position, second block") << 0 << 1300 << 1100000;
        QTest::newRow("nothing fits") << 0 << 100 << 0;
    }

    // When the disk fills up the system takes part of the bytes without an
    // error (here: a file-size limit does the same): the message says the
    // disk may be full, and the existing file stays as it was.
    void shortWriteReportsFullDisk() {
#ifndef Q_OS_UNIX
        QSKIP("needs a file-size limit to make writes stop short");
#else
        QFETCH(int, form);
        QFETCH(int, lines);
        QFETCH(int, limit);
        RxMem table;
        const QByteArray fixture = readAll(dataFile("dos-lineas-coma.txt"));
        load(fixture.left(fixture.indexOf('\n') + 1).repeated(lines), FileForm::Position, table);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("Solvanta.txt"));
        QVERIFY(writeAll(out, "contenido anterior"));
        QString message;
        {
            FileSizeLimit guard{rlim_t(limit)};
            QVERIFY(guard.ok());
            try {
                writeDeclaration(out, FileForm(form), table);
            } catch (const IoError& e) {
                message = e.message();
            }
        }
        QCOMPARE(message, QStringLiteral("No se pudo escribir el archivo «%1»: falló la escritura; "
                                         "puede que el disco esté lleno.")
                              .arg(QDir::toNativeSeparators(out)));
        QCOMPARE(readAll(out), QByteArray("contenido anterior"));
        QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.txt")});
#endif
    }

#ifdef Q_OS_UNIX
    void writeRespectsTheFileItReplaces_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refused");
        QTest::newRow("read-only") << 0444 << true;
        QTest::newRow("read-only, owner only") << 0400 << true;
        QTest::newRow("shared with the group") << 0660 << false;
        QTest::newRow("private") << 0600 << false;
    }

    // The listing's "Solvanta" button: a read-only file is refused, even for
    // root (whom the system lets write anything), and stays as it was; a file
    // that is replaced passes its mode, owner and group on to the new one.
    void writeRespectsTheFileItReplaces() {
        QFETCH(int, mode);
        QFETCH(bool, refused);
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("Solvanta.txt"));
        QVERIFY(writeAll(out, "contenido anterior"));
        const QByteArray name = QFile::encodeName(out);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        const bool root = ::geteuid() == 0;
        if (root) QCOMPARE(::chown(name.constData(), 4321, 8765), 0);
        struct stat before {};
        QCOMPARE(::stat(name.constData(), &before), 0);
        QString message;
        try {
            writeDeclaration(out, FileForm::Separator, table);
        } catch (const IoError& e) {
            message = e.message();
        }
        struct stat after {};
        QCOMPARE(::stat(name.constData(), &after), 0);
        if (refused) {
            QCOMPARE(message, QStringLiteral("No se pudo crear el archivo «%1»: el archivo es de "
                                             "solo lectura.")
                                  .arg(QDir::toNativeSeparators(out)));
            QCOMPARE(readAll(out), QByteArray("contenido anterior"));
        } else {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            QCOMPARE(readAll(out), readAll(dataFile("dos-lineas-coma.csv")));
        }
        QCOMPARE(after.st_mode & 07777, mode_t(mode));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.txt")});
    }
#endif

    // Writing over the file that was loaded replaces it whole.
    void writeOverTheLoadedFile() {
        const QString p = path("propio.txt");
        QVERIFY(writeAll(p, readAll(dataFile("dos-lineas-coma.txt"))));
        RxMem table;
        loadDeclaration(p, FileForm::Position, table);
        writeDeclaration(p, FileForm::Separator, table);
        QCOMPARE(readAll(p), readAll(dataFile("dos-lineas-coma.csv")));
    }

    // A line being edited is stored before the write.
    void writeStoresPendingLine() {
        RxMem table;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, table);
        table.first();
        table.edit();
        table.setText(field("sexo"), QStringLiteral("F"));
        const QString out = path("salida.csv");
        writeDeclaration(out, FileForm::Separator, table);
        QCOMPARE(table.state(), RxMem::State::Browse);
        QVERIFY(readAll(out).startsWith("12345678;5;MU\xD1OZ;PE\xD1"
                                        "A IB\xC1\xD1"
                                        "EZ;JOS\xC9 MAR\xCD"
                                        "A;F;"));
    }

    void cancelledProgressWritesNothing() {
        struct Stop : Progress {
            bool update(qint64, qint64) override { return false; }
        } stop;
        RxMem table;
        table.open();
        for (int i = 0; i < 3000; ++i) {
            table.append();
            table.post();
        }
        const QString out = path("cancelado.txt");
        QVERIFY_THROWS_EXCEPTION(Cancelled,
                                 writeDeclaration(out, FileForm::Position, table, &stop));
        QVERIFY(!QFile::exists(out));
    }

    void conversionGivesLoadThenWrite_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<char>("separator");
        QTest::newRow("position to separator") << 0 << 1 << ',';
        QTest::newRow("separator to position") << 1 << 0 << ',';
        QTest::newRow("position to position") << 0 << 0 << '.';
        QTest::newRow("separator to separator") << 1 << 1 << '.';
    }

    // A conversion reads and writes at the same time, passing lines from one
    // thread to the other in batches; the file it writes is the one loading
    // the whole file and then writing the table gives, every line in order.
    void conversionGivesLoadThenWrite() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(char, separator);
        numtext::setDecimalSeparator(separator);
        const QString in = path("entrada.txt");
        QByteArray bytes = generatedFile(FileForm(from), in);
        // The last line without its line end, and one line ending in a lone CR.
        bytes.chop(2);
        bytes.insert(bytes.indexOf("\r\n", 5000), '\r');
        QVERIFY(writeAll(in, bytes));

        RxMem table;
        const QString expected = path("esperado.txt");
        loadDeclaration(in, FileForm(from), table);
        writeDeclaration(expected, FileForm(to), table);
        QCOMPARE(table.recordCount(), 3000);

        const QString out = path("convertido.txt");
        convertDeclaration(in, FileForm(from), out, FileForm(to));
        QCOMPARE(readAll(out), readAll(expected));
    }

    void conversionFailuresInLoadingOrder_data() {
        QTest::addColumn<QList<int>>("semicolons"); // lines whose first surname gets a ";"
        QTest::addColumn<int>("badNacion");         // 0: none
        QTest::addColumn<bool>("folderMissing");
        QTest::addColumn<QString>("names"); // what the message names
        QTest::newRow("a late bad nacion after a text the form refuses")
            << QList<int>{5} << 2990 << false << QStringLiteral("Línea 2990:");
        QTest::newRow("a refused text on a late line")
            << QList<int>{2990, 2999} << 0 << false << QStringLiteral("Línea 2990, campo [3]");
        QTest::newRow("no folder, and a late bad nacion")
            << QList<int>{} << 2990 << true << QStringLiteral("Línea 2990:");
        QTest::newRow("no folder")
            << QList<int>{} << 0 << true << QStringLiteral("la carpeta no existe.");
    }

    // The conversion writes while it reads, but fails as loading first and
    // writing afterwards would: a line that cannot be read wins over a
    // value the new form cannot hold on an earlier line, or a file that
    // cannot be created. Nothing is written, an existing file stays as it
    // was and no temporary file is left.
    void conversionFailuresInLoadingOrder() {
        QFETCH(QList<int>, semicolons);
        QFETCH(int, badNacion);
        QFETCH(bool, folderMissing);
        QFETCH(QString, names);
        const QString in = path("entrada.txt");
        QList<QByteArray> lines = generatedFile(FileForm::Position, in).split('\n');
        const FieldDef& apePat = kFields[std::size_t(field("ape_pat"))];
        for (int line : semicolons)
            lineOf(lines, line)[apePat.start - 1 + 2] = ';';
        if (badNacion)
            lineOf(lines, badNacion)[kFields[std::size_t(field("nacion"))].start - 1] = 'X';
        QVERIFY(writeAll(in, lines.join('\n')));

        QTemporaryDir dir;
        const QString out = folderMissing ? dir.filePath(QStringLiteral("no-hay/Solvanta.csv"))
                                          : dir.filePath(QStringLiteral("Solvanta.csv"));
        if (!folderMissing) QVERIFY(writeAll(out, "contenido anterior"));
        RxMem table;
        const QString expected = failure([&] {
            loadDeclaration(in, FileForm::Position, table);
            writeDeclaration(out, FileForm::Separator, table);
        });
        const QString message =
            failure([&] { convertDeclaration(in, FileForm::Position, out, FileForm::Separator); });
        QCOMPARE(message, expected);
        QVERIFY2(message.contains(names), qPrintable(message));
        if (folderMissing) {
            QVERIFY(!QFile::exists(out));
            QCOMPARE(fileNames(dir.path()), QStringList());
        } else {
            QCOMPARE(readAll(out), QByteArray("contenido anterior"));
            QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.csv")});
        }
    }

    void conversionOnAFullDisk_data() {
        QTest::addColumn<int>("badNacion"); // 0: none
        QTest::newRow("disk fills up") << 0;
        QTest::newRow("disk fills up, and a late bad nacion") << 2990;
    }

    // The disk filling up half-way through the new file is reported as on a
    // write of the table, unless a later line cannot be read: loading first
    // would have stopped there before writing anything.
    void conversionOnAFullDisk() {
#ifndef Q_OS_UNIX
        QSKIP("needs a file-size limit to make writes stop short");
#else
        QFETCH(int, badNacion);
        const QString in = path("entrada.txt");
        QList<QByteArray> lines = generatedFile(FileForm::Position, in).split('\n');
        if (badNacion)
            lineOf(lines, badNacion)[kFields[std::size_t(field("nacion"))].start - 1] = 'X';
        QVERIFY(writeAll(in, lines.join('\n')));
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("Solvanta.txt"));
        QVERIFY(writeAll(out, "contenido anterior"));
        QString message;
        {
            FileSizeLimit guard{rlim_t(1100000)}; // the new file's second block does not fit
            QVERIFY(guard.ok());
            message = failure(
                [&] { convertDeclaration(in, FileForm::Position, out, FileForm::Position); });
        }
        if (badNacion)
            QVERIFY2(message.contains(QStringLiteral("Línea 2990: el campo [7] Nación tiene «X»")),
                     qPrintable(message));
        else
            QCOMPARE(message, QStringLiteral("No se pudo escribir el archivo «%1»: falló la "
                                             "escritura; puede que el disco esté lleno.")
                                  .arg(QDir::toNativeSeparators(out)));
        QCOMPARE(readAll(out), QByteArray("contenido anterior"));
        QCOMPARE(fileNames(dir.path()), QStringList{QStringLiteral("Solvanta.txt")});
#endif
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
