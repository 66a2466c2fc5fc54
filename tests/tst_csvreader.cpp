// The .csv reader: the files Calc and Excel save, in their separators, quotes,
// line ends and encodings, must give back the cells as written; a file that is
// no spreadsheet text, or is broken, must fail with a message naming it.

#include "engine/files/SheetRows.h"
#include "engine/util/Errors.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace solvanta;

namespace {

// A row as one string: its cells joined by "|", an empty cell as nothing.
// Checks on the way what holds for every row: Text cells have text, Empty
// cells none, and rowNumber() counts the rows.
QStringList readRows(const QString& path) {
    const auto rows = openCsv(path);
    QStringList out;
    std::vector<SheetCell> cells;
    while (rows->next(cells)) {
        QStringList texts;
        for (const SheetCell& cell : cells) {
            if (cell.type == SheetCell::Type::Text && cell.text.isEmpty())
                throw std::runtime_error("a Text cell without text");
            if (cell.type == SheetCell::Type::Empty && !cell.text.isEmpty())
                throw std::runtime_error("an Empty cell with text");
            if (cell.type != SheetCell::Type::Text && cell.type != SheetCell::Type::Empty)
                throw std::runtime_error("a cell that is neither Text nor Empty");
            texts.append(cell.text);
        }
        out.append(texts.join(u'|'));
        if (rows->rowNumber() != out.size()) throw std::runtime_error("rowNumber() is off");
    }
    if (rows->bytesRead() != rows->bytesTotal())
        throw std::runtime_error("bytesRead() short of bytesTotal() at the end");
    return out;
}

QStringList L(std::initializer_list<const char*> rows) {
    QStringList out;
    for (const char* row : rows)
        out.append(QString::fromUtf8(row));
    return out;
}

QString failure(const QString& path) {
    try {
        readRows(path);
    } catch (const IoError& e) {
        return e.message();
    }
    return QString();
}

} // namespace

class TestCsvReader : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QString write(const QByteArray& bytes, const QString& name = QStringLiteral("datos.csv")) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void reads_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("punto y coma") << QByteArray("a;b;c\n1;2;3\n") << L({"a|b|c", "1|2|3"});
        QTest::newRow("coma") << QByteArray("a,b,c\n1,2,3\n") << L({"a|b|c", "1|2|3"});
        QTest::newRow("tabulador") << QByteArray("a\tb\tc\n1\t2\t3\n") << L({"a|b|c", "1|2|3"});
        // The first record decides; separators of the other kinds are text.
        QTest::newRow("comas dentro con punto y coma")
            << QByteArray("a;b,c;d\n1,5;2;3\n") << L({"a|b,c|d", "1,5|2|3"});
        QTest::newRow("empate prefiere punto y coma")
            << QByteArray("a;b,c\n1,5;2\n") << L({"a|b,c", "1,5|2"});
        QTest::newRow("separador entre comillas no cuenta")
            << QByteArray("\"a;b;c\",d\n1,2\n") << L({"a;b;c|d", "1|2"});
        QTest::newRow("una columna") << QByteArray("nombre\nPérez\n") << L({"nombre", "Pérez"});
        QTest::newRow("comillas con separador") << QByteArray("\"a;b\";c\n") << L({"a;b|c"});
        QTest::newRow("comillas dobladas")
            << QByteArray("\"dijo \"\"sí\"\"\";\"\"\"\"\n") << L({"dijo \"sí\"|\""});
        QTest::newRow("salto de línea entre comillas")
            << QByteArray("\"calle 1\ndepto 2\";x\r\ny;z\r\n") << L({"calle 1\ndepto 2|x", "y|z"});
        QTest::newRow("CR LF entre comillas") << QByteArray("\"a\r\nb\";c\r\n") << L({"a\r\nb|c"});
        QTest::newRow("texto tras la comilla de cierre") << QByteArray("\"a\"b;c\n") << L({"ab|c"});
        QTest::newRow("comilla en medio de un campo") << QByteArray("a\"b;c\n") << L({"a\"b|c"});
        QTest::newRow("comillas vacías") << QByteArray("\"\";b\n") << L({"|b"});
        QTest::newRow("CRLF") << QByteArray("a;b\r\nc;d\r\n") << L({"a|b", "c|d"});
        QTest::newRow("LF") << QByteArray("a;b\nc;d\n") << L({"a|b", "c|d"});
        QTest::newRow("CR solo") << QByteArray("a;b\rc;d\r") << L({"a|b", "c|d"});
        QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF"
                                           "a;b\n")
                             << L({"a|b"});
        // Only the file's first byte-order mark is one; later, U+FEFF is text.
        QTest::newRow("U+FEFF en un campo") << QByteArray("\xEF\xBB\xBF"
                                                          "a;\xEF\xBB\xBF;\xEF\xBB\xBF"
                                                          "b\n")
                                            << L({"a|\xEF\xBB\xBF|\xEF\xBB\xBF"
                                                  "b"});
        QTest::newRow("BOM solo") << QByteArray("\xEF\xBB\xBF") << L({});
        QTest::newRow("vacío") << QByteArray() << L({});
        QTest::newRow("UTF-8") << QByteArray("Muñoz;Ángela\n") << L({"Muñoz|Ángela"});
        QTest::newRow("Windows-1252")
            << QByteArray("Mu\xF1oz;\xC1ngela;\x80\n") << L({"Muñoz|Ángela|€"});
        QTest::newRow("separador al final") << QByteArray("a;b;\n;;\n") << L({"a|b|", "||"});
        QTest::newRow("líneas en blanco")
            << QByteArray("a;b\n\n\r\nc\n") << L({"a|b", "", "", "c"});
        QTest::newRow("sin salto final") << QByteArray("a;b\nc;d") << L({"a|b", "c|d"});
        QTest::newRow("sin salto final con separador") << QByteArray("a;b\nc;") << L({"a|b", "c|"});
        QTest::newRow("comillas al final sin salto") << QByteArray("a;\"b\"") << L({"a|b"});
        QTest::newRow("ceros y números como texto")
            << QByteArray("007;1.234,50;1e3\n") << L({"007|1.234,50|1e3"});
    }

    void reads() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QCOMPARE(readRows(write(bytes)), rows);
    }

    void refuses_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("comillas sin cerrar")
            << QByteArray("a;b\nc;\"d\n;e\n")
            << QStringLiteral("las comillas que abren un campo en la fila 2 no se cierran");
        QTest::newRow("comilla final sin cerrar")
            << QByteArray("\"a\"\"") << QStringLiteral("en la fila 1 no se cierran");
        QTest::newRow("bytes nulos")
            << QByteArray("a;b\n\0\0\x01;c\n", 11) << QStringLiteral("no es un archivo de texto");
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE"
                                              "a\0;\0b\0",
                                              8)
                                << QStringLiteral("UTF-16");
        // Read either way, part of the text would come out wrong.
        QTest::newRow("UTF-8 y Windows-1252 mezclados")
            << QByteArray("Muñoz;1\nPe\xF1"
                          "a;2\n")
            << QStringLiteral("mezcla dos codificaciones: tiene letras en UTF-8 y, en la línea 2");
        // Beyond the first blocks too: the lines before were already UTF-8.
        QTest::newRow("byte que no es UTF-8 tras 3 MiB")
            << QByteArray("Muñoz;1\n") + QByteArray("Soto;2;3;4;5;6;7;8;9;10\n").repeated(131072) +
                   QByteArray("Pe\xF1"
                              "a;2\n")
            << QStringLiteral("en la línea 131074, caracteres que no son UTF-8");
        QTest::newRow("campo de más de 1 MiB")
            << QByteArray("a;b\n") + QByteArray((1 << 20) + 1, 'x') + QByteArray(";c\n")
            << QStringLiteral("un campo de la fila 2 tiene más de 1.048.576 bytes");
        QTest::newRow("campo entre comillas de más de 1 MiB")
            << QByteArray("\"") + QByteArray(3 << 20, 'x') + QByteArray("\"\n")
            << QStringLiteral("un campo de la fila 1 tiene más de 1.048.576 bytes");
        QTest::newRow("fila de más de 16 MiB")
            << QByteArray("a;b\n") + (QByteArray(1 << 20, 'x') + ';').repeated(17) + '\n'
            << QStringLiteral("la fila 2 ocupa más de 16 MiB");
        QTest::newRow("más de 16.384 columnas")
            << QByteArray("a;b\n") + QByteArray(16384, ';') + QByteArray("\n")
            << QStringLiteral("la fila 2 tiene más de 16.384 columnas");
    }

    void refuses() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString message = failure(write(bytes, QStringLiteral("planilla.csv")));
        QVERIFY2(message.startsWith(QStringLiteral("No se pudo leer el archivo «")),
                 qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("planilla.csv»: ")), qPrintable(message));
        QVERIFY2(message.contains(reason), qPrintable(message));
    }

    // As many columns as a spreadsheet row may have is no error.
    void widestRow() {
        const QStringList rows = readRows(write(QByteArray(16383, ';') + "x\n"));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].count(u'|'), 16383);
        QVERIFY(rows[0].endsWith(QStringLiteral("|x")));
    }

    void paths_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no existe")
            << QStringLiteral("falta.csv") << QStringLiteral("el archivo no existe.");
        QTest::newRow("carpeta") << QStringLiteral("carpeta.csv")
                                 << QStringLiteral("es una carpeta, no un archivo.");
#ifdef Q_OS_UNIX
        // A pipe without a writer would block an open that reads it.
        QTest::newRow("canal") << QStringLiteral("canal.csv")
                               << QStringLiteral("no es un archivo común");
#endif
    }

    void paths() {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const QString path = dir_.filePath(name);
        if (name == QStringLiteral("carpeta.csv")) QVERIFY(QDir(dir_.path()).mkpath(name));
#ifdef Q_OS_UNIX
        if (name == QStringLiteral("canal.csv")) QCOMPARE(mkfifo(QFile::encodeName(path), 0600), 0);
#endif
        try {
            openCsv(path);
            QFAIL("opened");
        } catch (const IoError& e) {
            QVERIFY2(e.message().contains(name + QStringLiteral("»: ")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(reason), qPrintable(e.message()));
        }
    }

#ifdef Q_OS_UNIX
    void unreadable() {
        if (geteuid() == 0) QSKIP("root reads any file");
        const QString path = write("a;b\n", QStringLiteral("cerrado.csv"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        const QString message = failure(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY2(message.contains(QStringLiteral("cerrado.csv»: no tiene permiso para leerlo.")),
                 qPrintable(message));
    }
#endif

    void nameAndProgress() {
        const QByteArray bytes = "a;b\nc;d\n";
        const auto rows = openCsv(write(bytes, QStringLiteral("Remuneraciones 2024.03.csv")));
        QCOMPARE(rows->sheetName(), QStringLiteral("Remuneraciones 2024.03"));
        QCOMPARE(rows->bytesTotal(), qint64(bytes.size()));
        std::vector<SheetCell> cells;
        QVERIFY(rows->next(cells));
        QCOMPARE(rows->bytesRead(), qint64(4));
        QVERIFY(rows->next(cells));
        QVERIFY(!rows->next(cells));
        QCOMPARE(rows->bytesRead(), qint64(bytes.size()));
        QCOMPARE(rows->rowNumber(), qint64(2));
    }

    // The vector a caller passes keeps its place: cells left from a longer
    // row go, and a cell that was Text before comes back Empty when it is.
    void reusedCells() {
        const auto rows = openCsv(write("a;b;c;d\n;x\n"));
        std::vector<SheetCell> cells;
        QVERIFY(rows->next(cells));
        QCOMPARE(cells.size(), std::size_t(4));
        QVERIFY(rows->next(cells));
        QCOMPARE(cells.size(), std::size_t(2));
        QCOMPARE(cells[0].type, SheetCell::Type::Empty);
        QVERIFY(cells[0].text.isEmpty());
        QCOMPARE(cells[1].text, QStringLiteral("x"));
    }

    // Files of several blocks, with fields of every kind at random lengths,
    // written as a spreadsheet writes them, read back cell for cell.
    void manyBlocks_data() {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("CRLF UTF-8") << QByteArray("\r\n") << true;
        QTest::newRow("LF Windows-1252") << QByteArray("\n") << false;
        QTest::newRow("CR UTF-8") << QByteArray("\r") << true;
    }

    void manyBlocks() {
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, utf8);
        QRandomGenerator random(20240311);
        const QString pieces[] = {QStringLiteral("ÑANDÚ"),  QStringLiteral("a;b"),
                                  QStringLiteral("x\"y"),   QStringLiteral("l1\r\nl2"),
                                  QStringLiteral("12.345"), QString()};
        QStringList expected;
        QByteArray bytes;
        while (bytes.size() < 3 * (1 << 20) + 1000) {
            QStringList row;
            QByteArray line;
            const int columns = 1 + random.bounded(30);
            for (int c = 0; c < columns; ++c) {
                QString cell = pieces[random.bounded(6)];
                if (!cell.isEmpty()) cell += QString(random.bounded(200), u'z');
                row.append(cell);
                if (c > 0) line += ';';
                const QByteArray encoded = utf8 ? cell.toUtf8() : cell.toLatin1();
                const bool quote = cell.contains(u';') || cell.contains(u'"') ||
                                   cell.contains(u'\n') || random.bounded(4) == 0;
                line += quote ? '"' + QByteArray(encoded).replace("\"", "\"\"") + '"' : encoded;
            }
            expected.append(row.size() == 1 && row[0].isEmpty() ? QString() : row.join(u'|'));
            bytes += line + lineEnd;
        }
        QCOMPARE(readRows(write(bytes)), expected);
    }

    // The file is read in blocks of 1 MiB. Each piece is put at every offset
    // across the first block's end, so that each of its bytes is in turn the
    // last one of the block: a CR whose LF is in the next block, the first
    // quote of a doubled one, a closing quote, a separator.
    void blockEdge_data() {
        QTest::addColumn<QByteArray>("piece");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("comillas dobladas") << QByteArray("\"a\"\"b\";c\r\n") << L({"a\"b|c"});
        QTest::newRow("CRLF y línea en blanco") << QByteArray("a;b\r\n\r\n") << L({"a|b", ""});
        QTest::newRow("CRLF entre comillas")
            << QByteArray("\"q;\r\nr\";\"\"\r\n") << L({"q;\r\nr|"});
        QTest::newRow("CR solo") << QByteArray("\"\"\"\"\r;\r") << L({"\"", "|"});
        QTest::newRow("UTF-8") << QByteArray("ñandú;\"ñ\"\n") << L({"ñandú|ñ"});
    }

    void blockEdge() {
        QFETCH(QByteArray, piece);
        QFETCH(QStringList, rows);
        const int block = 1 << 20;
        for (int shift = 0; shift <= piece.size() + 1; ++shift) {
            // Lines of 1 KiB and one of the length left bring the piece to
            // `shift` bytes before the block's end.
            const int start = block - shift;
            const int lines = start / 1024 - 2;
            const QByteArray line = QByteArray(1000, 'a') + ';' + QByteArray(22, 'b') + '\n';
            QByteArray bytes = line.repeated(lines);
            bytes += QByteArray(start - bytes.size() - 1, 'z') + '\n';
            QCOMPARE(bytes.size(), start);
            bytes += piece + "fin\n";
            QStringList expected;
            for (int l = 0; l < lines; ++l)
                expected.append(QString(1000, u'a') + u'|' + QString(22, u'b'));
            expected.append(QString(start - 1024 * lines - 1, u'z'));
            expected += rows;
            expected.append(QStringLiteral("fin"));
            const QStringList got = readRows(write(bytes));
            QVERIFY2(got.size() == expected.size(), qPrintable(QString::number(shift)));
            QCOMPARE(got.mid(lines), expected.mid(lines));
        }
    }

    // Whether the file is UTF-8 is decided over the whole of it: a byte far
    // beyond the first block still makes it Windows-1252, and a UTF-8 letter
    // there still makes it UTF-8.
    void encodingFromWholeFile_data() {
        QTest::addColumn<QByteArray>("last");
        QTest::addColumn<QString>("text");
        QTest::newRow("Windows-1252") << QByteArray("Pe\xF1"
                                                    "a")
                                      << QStringLiteral("Peña");
        QTest::newRow("UTF-8") << QByteArray("Peña") << QStringLiteral("Peña");
    }

    void encodingFromWholeFile() {
        QFETCH(QByteArray, last);
        QFETCH(QString, text);
        QByteArray bytes;
        while (bytes.size() < 3 * (1 << 20))
            bytes += "Perez;Soto;12345678\n";
        const auto rows = openCsv(write(bytes + last + ";1\n"));
        std::vector<SheetCell> cells;
        QString seen;
        while (rows->next(cells))
            seen = cells[0].text;
        QCOMPARE(seen, text);
    }
};

QTEST_GUILESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"
