// Tests of the code-table file: reading a section's keys, erasing a section,
// writing one entry, replacing a whole code list, both encodings, what a
// failed write does, and the form of the file that ships with the program.

#include "engine/codes/CodeTableFile.h"
#include "engine/util/Errors.h"

#include "TestUtil.h"
#include <QtTest>

#include <thread>

#ifdef Q_OS_UNIX
#endif

using namespace solvanta;
using testutil::readAll;
using testutil::writeAll;
using namespace Qt::StringLiterals;

namespace {

// The bytes of a UTF-16LE file with its byte-order mark, built here byte by
// byte so that the expectation does not depend on the machine's byte order.
QByteArray utf16le(const QString& text) {
    QByteArray out("\xFF\xFE", 2);
    for (QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    return out;
}

// Windows-1252 bytes of a text whose letters are ASCII or Latin-1 (where the
// two code pages agree); any other letter becomes '?'.
QByteArray latin1(const QString& text) {
    return text.toLatin1();
}

} // namespace

class TstCodeTable : public QObject {
    Q_OBJECT

private slots:
    void init();

    void defaultPathIsBesideTheExecutable();

    void readSection_data();
    void readSection();
    void missingFileReadsEmptyAndStaysMissing();
    void nothingIsCached();

    void eraseSection_data();
    void eraseSection();

    void writeEntry_data();
    void writeEntry();

    void replaceSection_data();
    void replaceSection();

    void keepsEncodingAndAccents_data();
    void keepsEncodingAndAccents();

    void unwritableFolder_data();
    void unwritableFolder();
    void failedWriteKeepsFile_data();
    void failedWriteKeepsFile();
    void shortWriteReportsFullDisk_data();
    void shortWriteReportsFullDisk();
    void specialFileRefused_data();
    void specialFileRefused();

    void suppliedFile_data();
    void suppliedFile();

    void readChecked_data();
    void readChecked();

    void whichFile_data();
    void whichFile();
    void userCopyFollowsProgram_data();
    void userCopyFollowsProgram();
    void userCopyWrittenWithWhatWasTaken();
    void oldUserCopyKeepsOnlyItsLists();
    void writersTakeTurns();

    void cleanup();

private:
    QString path() const { return dir_->filePath(u"Solvanta.cfg"_s); }
    void put(const QByteArray& bytes) const;
    QByteArray contents() const;
    // The message a full disk gives, the file as it was, nothing beside it.
    void fullDiskLeftTheFileAlone(const QString& message, const QByteArray& before) const;

    std::unique_ptr<QTemporaryDir> dir_;
};

void TstCodeTable::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TstCodeTable::cleanup() {
    CodeTableFile::setWritableCheck({});
}

void TstCodeTable::put(const QByteArray& bytes) const {
    QFile f(path());
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray TstCodeTable::contents() const {
    QFile f(path());
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void TstCodeTable::fullDiskLeftTheFileAlone(const QString& message,
                                            const QByteArray& before) const {
    QCOMPARE(message, u"No se pudo guardar el archivo de códigos «"_s +
                          QDir::toNativeSeparators(path()) +
                          u"»: falló la escritura; puede que el disco esté lleno."_s);
    QCOMPARE(contents(), before);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{u"Solvanta.cfg"_s});
}

void TstCodeTable::defaultPathIsBesideTheExecutable() {
    const QDir exeDir = QFileInfo(QCoreApplication::applicationFilePath()).absoluteDir();
    QCOMPARE(QFileInfo(CodeTableFile().path()).absoluteFilePath(),
             exeDir.absoluteFilePath(u"Solvanta.cfg"_s));
}

// ------------------------------------------------------------------ reading

void TstCodeTable::readSection_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("expected");

    const QByteArray file = "; listas de codigos\r\n"
                            "antes=1\r\n"
                            "[TipoPago]\r\n"
                            "01 Remuneraciones del mes=0\r\n"
                            "; comentario\r\n"
                            "\r\n"
                            "02 Gratificaciones=1\r\n"
                            "[Vacia]\r\n"
                            "\r\n"
                            "[CCAF]\r\n"
                            "03 Los Andes=5\r\n"
                            "   01 La Araucana   =  2  \r\n"
                            "05 Sin valor\r\n"
                            "10 A=B=C\r\n";
    const QStringList tipoPago{u"01 Remuneraciones del mes"_s, u"02 Gratificaciones"_s};

    QTest::newRow("file order, comments and blank lines skipped")
        << file << u"TipoPago"_s << tipoPago;
    QTest::newRow("name in small letters") << file << u"tipopago"_s << tipoPago;
    QTest::newRow("name in capitals") << file << u"TIPOPAGO"_s << tipoPago;
    QTest::newRow("keys unsorted, trimmed, cut at the first =")
        << file << u"CCAF"_s
        << QStringList{u"03 Los Andes"_s, u"01 La Araucana"_s, u"05 Sin valor"_s, u"10 A"_s};
    QTest::newRow("section without entries") << file << u"Vacia"_s << QStringList{};
    QTest::newRow("missing section") << file << u"Mutual"_s << QStringList{};
    QTest::newRow("header in other letter case")
        << QByteArray("[tipopago]\r\n01 Uno=0\r\n") << u"TipoPago"_s << QStringList{u"01 Uno"_s};
    QTest::newRow("LF and lone CR line ends")
        << QByteArray("[A]\n1 Uno=0\r2 Dos=1\r\n3 Tres=2") << u"A"_s
        << QStringList{u"1 Uno"_s, u"2 Dos"_s, u"3 Tres"_s};
    QTest::newRow("empty file") << QByteArray() << u"A"_s << QStringList{};
}

void TstCodeTable::readSection() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QStringList, expected);

    put(file);
    QCOMPARE(CodeTableFile(path()).readSection(section), expected);
    QCOMPARE(contents(), file);
}

void TstCodeTable::missingFileReadsEmptyAndStaysMissing() {
    CodeTableFile table(path());
    QCOMPARE(table.readSection(u"TipoPago"_s), QStringList{});
    table.eraseSection(u"TipoPago"_s);
    table.replaceSection(u"TipoPago"_s, {});
    QVERIFY(!QFile::exists(path()));
}

void TstCodeTable::nothingIsCached() {
    CodeTableFile reader(path());
    put("[A]\r\n01 Uno=0\r\n");
    QCOMPARE(reader.readSection(u"A"_s), QStringList{u"01 Uno"_s});

    put("[A]\r\n02 Dos=0\r\n");
    QCOMPARE(reader.readSection(u"A"_s), QStringList{u"02 Dos"_s});

    CodeTableFile(path()).writeEntry(u"A"_s, u"03 Tres"_s, u"1"_s);
    QCOMPARE(reader.readSection(u"A"_s), (QStringList{u"02 Dos"_s, u"03 Tres"_s}));
}

// ------------------------------------------------------------------ erasing

void TstCodeTable::eraseSection_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray abc = "[A]\r\na=0\r\n[B]\r\nb=0\r\nbb=1\r\n[C]\r\nc=0\r\n";
    QTest::newRow("middle") << abc << u"B"_s << QByteArray("[A]\r\na=0\r\n[C]\r\nc=0\r\n");
    QTest::newRow("first, name in small letters")
        << abc << u"a"_s << QByteArray("[B]\r\nb=0\r\nbb=1\r\n[C]\r\nc=0\r\n");
    QTest::newRow("last") << abc << u"C"_s << QByteArray("[A]\r\na=0\r\n[B]\r\nb=0\r\nbb=1\r\n");
    QTest::newRow("only section leaves an empty file")
        << QByteArray("[A]\r\na=0\r\n") << u"A"_s << QByteArray();
    QTest::newRow("every header of that name")
        << QByteArray("[A]\r\na=0\r\n[B]\r\nb=0\r\n[a]\r\nx=1\r\n") << u"A"_s
        << QByteArray("[B]\r\nb=0\r\n");
    QTest::newRow("rewritten with CR LF")
        << QByteArray("[A]\na=0\n[B]\nb=0\n") << u"A"_s << QByteArray("[B]\r\nb=0\r\n");
    QTest::newRow("missing section leaves the file alone")
        << QByteArray("[A]\na=0\n") << u"Z"_s << QByteArray("[A]\na=0\n");
}

void TstCodeTable::eraseSection() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QByteArray, expected);

    put(file);
    CodeTableFile(path()).eraseSection(section);
    QCOMPARE(contents(), expected);
}

// ------------------------------------------------------------------ writing

void TstCodeTable::writeEntry_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray ab = "[A]\r\nx=0\r\ny=1\r\n[B]\r\nx=5\r\n";
    QTest::newRow("value replaced in place") << true << ab << u"A"_s << u"x"_s << u"9"_s
                                             << QByteArray("[A]\r\nx=9\r\ny=1\r\n[B]\r\nx=5\r\n");
    QTest::newRow("key in other case keeps the first text")
        << true << ab << u"A"_s << u"X"_s << u"9"_s
        << QByteArray("[A]\r\nx=9\r\ny=1\r\n[B]\r\nx=5\r\n");
    QTest::newRow("key with blanks matches") << true << ab << u"A"_s << u"  y "_s << u"3"_s
                                             << QByteArray("[A]\r\nx=0\r\ny=3\r\n[B]\r\nx=5\r\n");
    QTest::newRow("section name in other case")
        << true << ab << u"b"_s << u"X"_s << u"1"_s
        << QByteArray("[A]\r\nx=0\r\ny=1\r\n[B]\r\nx=1\r\n");
    QTest::newRow("new key at the end of its section")
        << true << ab << u"A"_s << u"z"_s << u"2"_s
        << QByteArray("[A]\r\nx=0\r\ny=1\r\nz=2\r\n[B]\r\nx=5\r\n");
    QTest::newRow("new key after the last entry, before blank lines")
        << true << QByteArray("[A]\r\nx=0\r\n\r\n[B]\r\nx=5\r\n") << u"A"_s << u"z"_s << u"2"_s
        << QByteArray("[A]\r\nx=0\r\nz=2\r\n\r\n[B]\r\nx=5\r\n");
    QTest::newRow("first key of an empty section")
        << true << QByteArray("[A]\r\n[B]\r\nx=5\r\n") << u"A"_s << u"z"_s << u"2"_s
        << QByteArray("[A]\r\nz=2\r\n[B]\r\nx=5\r\n");
    QTest::newRow("missing section added at the end")
        << true << QByteArray("[A]\r\nx=0\r\n") << u"Tipo Linea"_s << u"01 Normal"_s << u"0"_s
        << QByteArray("[A]\r\nx=0\r\n\r\n[Tipo Linea]\r\n01 Normal=0\r\n");
    QTest::newRow("missing file created") << false << QByteArray() << u"TipoPago"_s << u"01 Uno"_s
                                          << u"0"_s << QByteArray("[TipoPago]\r\n01 Uno=0\r\n");
    QTest::newRow("LF file rewritten with CR LF")
        << true << QByteArray("[A]\nx=0\n[B]\nx=5\n") << u"A"_s << u"x"_s << u"1"_s
        << QByteArray("[A]\r\nx=1\r\n[B]\r\nx=5\r\n");
}

void TstCodeTable::writeEntry() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);

    if (exists) put(file);
    CodeTableFile(path()).writeEntry(section, key, value);
    QCOMPARE(contents(), expected);
}

void TstCodeTable::replaceSection_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("readBack");

    QTest::newRow("rewritten after the others, values in list order")
        << true << QByteArray("[TipoPago]\r\n01 Viejo=0\r\n\r\n[CCAF]\r\n03 X=0\r\n")
        << QStringList{u"02 B"_s, u"01 A"_s, u"10 C"_s}
        << QByteArray("[CCAF]\r\n03 X=0\r\n\r\n[TipoPago]\r\n02 B=0\r\n01 A=1\r\n10 C=2\r\n")
        << QStringList{u"02 B"_s, u"01 A"_s, u"10 C"_s};
    QTest::newRow("header in other case replaced")
        << true << QByteArray("[tipopago]\r\n01 Viejo=0\r\n[CCAF]\r\n03 X=0\r\n")
        << QStringList{u"01 Nuevo"_s}
        << QByteArray("[CCAF]\r\n03 X=0\r\n\r\n[TipoPago]\r\n01 Nuevo=0\r\n")
        << QStringList{u"01 Nuevo"_s};
    QTest::newRow("equal texts stored once, first text, later position")
        << true << QByteArray() << QStringList{u"01 Uno"_s, u"02 Dos"_s, u"01 UNO"_s, u"02 Dos"_s}
        << QByteArray("[TipoPago]\r\n01 Uno=2\r\n02 Dos=3\r\n")
        << QStringList{u"01 Uno"_s, u"02 Dos"_s};
    QTest::newRow("blanks trimmed, text cut at =")
        << true << QByteArray() << QStringList{u"  01 A  "_s, u"02 B=C"_s}
        << QByteArray("[TipoPago]\r\n01 A=0\r\n02 B=C=1\r\n") << QStringList{u"01 A"_s, u"02 B"_s};
    QTest::newRow("empty list removes section and header")
        << true << QByteArray("[A]\r\na=0\r\n[TipoPago]\r\n01 X=0\r\n[B]\r\nb=0\r\n")
        << QStringList{} << QByteArray("[A]\r\na=0\r\n[B]\r\nb=0\r\n") << QStringList{};
    QTest::newRow("empty list, only section") << true << QByteArray("[TipoPago]\r\n01 X=0\r\n")
                                              << QStringList{} << QByteArray() << QStringList{};
    // Comment lines stay where they were: before the entry they preceded,
    // or at that entry's place when it is gone or changed, or at the end.
    QTest::newRow("comments kept before the entries they preceded")
        << true
        << QByteArray("[TipoPago]\r\n; pagos\r\n01 Uno=0\r\n; los bonos\r\n02 Dos=1\r\n"
                      "03 Tres=2\r\n; fin\r\n[CCAF]\r\n03 X=0\r\n")
        << QStringList{u"01 Uno"_s, u"02 Dos"_s, u"03 Tres"_s, u"04 Cuatro"_s}
        << QByteArray("[CCAF]\r\n03 X=0\r\n\r\n[TipoPago]\r\n; pagos\r\n01 Uno=0\r\n"
                      "; los bonos\r\n02 Dos=1\r\n03 Tres=2\r\n04 Cuatro=3\r\n; fin\r\n")
        << QStringList{u"01 Uno"_s, u"02 Dos"_s, u"03 Tres"_s, u"04 Cuatro"_s};
    QTest::newRow("comment of a deleted or changed entry keeps its place")
        << true
        << QByteArray("[TipoPago]\r\n01 Uno=0\r\n;dos\r\n02 Dos=1\r\n; tres\r\n03 Tres=2\r\n")
        << QStringList{u"01 Uno"_s, u"03 Otro"_s}
        << QByteArray("[TipoPago]\r\n01 Uno=0\r\n;dos\r\n; tres\r\n03 Otro=1\r\n")
        << QStringList{u"01 Uno"_s, u"03 Otro"_s};
    QTest::newRow("entries moved: comment follows its entry")
        << true << QByteArray("[TipoPago]\r\n01 Uno=0\r\n; el dos\r\n02 Dos=1\r\n")
        << QStringList{u"02 Dos"_s, u"01 Uno"_s}
        << QByteArray("[TipoPago]\r\n; el dos\r\n02 Dos=0\r\n01 Uno=1\r\n")
        << QStringList{u"02 Dos"_s, u"01 Uno"_s};
    QTest::newRow("missing file created")
        << false << QByteArray() << QStringList{u"01 A"_s} << QByteArray("[TipoPago]\r\n01 A=0\r\n")
        << QStringList{u"01 A"_s};
}

void TstCodeTable::replaceSection() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, readBack);

    if (exists) put(file);
    CodeTableFile table(path());
    table.replaceSection(u"TipoPago"_s, entries);
    QCOMPARE(contents(), expected);
    QCOMPARE(table.readSection(u"TipoPago"_s), readBack);
}

// ---------------------------------------------------------------- encodings

void TstCodeTable::keepsEncodingAndAccents_data() {
    QTest::addColumn<bool>("utf16");
    QTest::newRow("Windows-1252") << false;
    QTest::newRow("UTF-16LE") << true;
}

void TstCodeTable::keepsEncodingAndAccents() {
    QFETCH(bool, utf16);
    auto bytes = [utf16](const QString& text) { return utf16 ? utf16le(text) : latin1(text); };

    put(bytes(u"[Isapres]\r\n01 Fonasa Ñuñoa=0\r\n[Mutual]\r\n01 Asociación Chilena=0\r\n"_s));
    CodeTableFile table(path());
    QCOMPARE(table.readSection(u"Isapres"_s), QStringList{u"01 Fonasa Ñuñoa"_s});

    table.writeEntry(u"Isapres"_s, u"02 Más Salud Región ÉXITO Nº 1"_s, u"1"_s);
    // 'Ő' is no Windows-1252 letter: a single-byte file gets '?'.
    table.replaceSection(u"Mutual"_s,
                         {u"01 Asociación Chilena"_s, u"02 Instituto de Seguridad Ő"_s});

    const QString expected = u"[Isapres]\r\n"
                             u"01 Fonasa Ñuñoa=0\r\n"
                             u"02 Más Salud Región ÉXITO Nº 1=1\r\n"
                             u"\r\n"
                             u"[Mutual]\r\n"
                             u"01 Asociación Chilena=0\r\n"
                             u"02 Instituto de Seguridad Ő=1\r\n"_s;
    QCOMPARE(contents(), bytes(expected));
    QCOMPARE(table.readSection(u"Mutual"_s),
             (QStringList{u"01 Asociación Chilena"_s, utf16 ? u"02 Instituto de Seguridad Ő"_s
                                                            : u"02 Instituto de Seguridad ?"_s}));
}

// ----------------------------------------------------------------- failures

void TstCodeTable::unwritableFolder_data() {
    QTest::addColumn<bool>("replace");
    QTest::newRow("write entry") << false;
    QTest::newRow("replace section") << true;
}

void TstCodeTable::unwritableFolder() {
    QFETCH(bool, replace);
    const QString file = dir_->filePath(u"no-such-folder/Solvanta.cfg"_s);
    CodeTableFile table(file);
    try {
        if (replace)
            table.replaceSection(u"TipoPago"_s, {u"01 Uno"_s});
        else
            table.writeEntry(u"TipoPago"_s, u"01 Uno"_s, u"0"_s);
        QFAIL("the write was reported as done");
    } catch (const IoError& e) {
        QCOMPARE(e.message(), u"No se pudo guardar el archivo de códigos «"_s +
                                  QDir::toNativeSeparators(file) + u"»: la carpeta no existe."_s);
    }
    QVERIFY(!QFileInfo::exists(dir_->filePath(u"no-such-folder"_s)));
}

void TstCodeTable::failedWriteKeepsFile_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("erase section") << 0;
    QTest::newRow("write entry") << 1;
    QTest::newRow("replace section") << 2;
    QTest::newRow("replace section with nothing") << 3;
}

// The file is rewritten through a temporary file: a write that fails part way
// leaves the old file whole and no temporary file behind.
void TstCodeTable::failedWriteKeepsFile() {
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit to make writes fail");
#else
    QFETCH(int, operation);
    const QByteArray before = "[A]\r\na=0\r\n[TipoPago]\r\n01 Uno=0\r\n02 Dos=1\r\n[B]\r\nb=0\r\n";
    put(before);
    CodeTableFile table(path());

    bool limited = false;
    QString message;
    {
        testutil::NoFileGrowth guard;
        limited = guard.ok();
        try {
            switch (operation) {
            case 0:
                table.eraseSection(u"TipoPago"_s);
                break;
            case 1:
                table.writeEntry(u"TipoPago"_s, u"03 Tres"_s, u"2"_s);
                break;
            case 2:
                table.replaceSection(u"TipoPago"_s, {u"02 Dos"_s});
                break;
            default:
                table.replaceSection(u"TipoPago"_s, {});
            }
        } catch (const IoError& e) {
            message = e.message();
        }
    }
    if (!limited) QSKIP("cannot limit the size of written files here");

    fullDiskLeftTheFileAlone(message, before);
#endif
}

void TstCodeTable::shortWriteReportsFullDisk_data() {
    QTest::addColumn<bool>("utf16");
    QTest::newRow("Windows-1252") << false;
    QTest::newRow("UTF-16") << true;
}

// A file larger than the write buffer goes to the system in one write; on a
// full disk (here: a file-size limit) it takes part of the bytes without an
// error, and the message says the disk may be full.
void TstCodeTable::shortWriteReportsFullDisk() {
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit to make writes stop short");
#else
    QFETCH(bool, utf16);
    QString text = u"[TipoPago]\r\n"_s;
    for (int i = 0; i < 2000; ++i)
        text += u"%1 Código número %1=%2\r\n"_s.arg(i, 4, 10, QChar(u'0')).arg(i);
    const QByteArray before = utf16 ? utf16le(text) : latin1(text);
    put(before);
    CodeTableFile table(path());

    QString message;
    {
        testutil::FileSizeLimit guard{8000};
        QVERIFY(guard.ok());
        try {
            table.writeEntry(u"TipoPago"_s, u"9999 Último"_s, u"2000"_s);
        } catch (const IoError& e) {
            message = e.message();
        }
    }
    fullDiskLeftTheFileAlone(message, before);
#endif
}

void TstCodeTable::specialFileRefused_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("pipe without writer") << int(testutil::SpecialFile::Pipe);
    QTest::newRow("socket") << int(testutil::SpecialFile::Socket);
}

// A code-table path that is no regular file reads as no lines (a pipe
// without a writer would wait forever) and is neither rewritten nor
// replaced by a regular file.
void TstCodeTable::specialFileRefused() {
#ifndef Q_OS_UNIX
    QSKIP("makes pipes and sockets");
#else
    QFETCH(int, kind);
    testutil::SpecialFile special(testutil::SpecialFile::Kind(kind), path());
    QVERIFY(special.ok());
    CodeTableFile table(path());
    QCOMPARE(table.readSection(u"TipoPago"_s), QStringList{});
    try {
        table.writeEntry(u"TipoPago"_s, u"03 Tres"_s, u"2"_s);
        QFAIL("the write was reported as done");
    } catch (const IoError& e) {
        QCOMPARE(e.message(), u"No se pudo leer el archivo de códigos «"_s +
                                  QDir::toNativeSeparators(path()) +
                                  u"», así que no se cambió: no es un archivo común, sino un "
                                  u"dispositivo o un canal entre programas."_s);
    }
    const QFileInfo after(path());
    QVERIFY(after.exists() && !after.isFile());
#endif
}

// ------------------------------------------------------------ supplied file

void TstCodeTable::suppliedFile_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<int>("width"); // 0: the code-table editor enforces none

    QTest::newRow("TipoPago") << u"TipoPago"_s << 2;
    QTest::newRow("Tipo Trabajador") << u"Tipo Trabajador"_s << 1;
    QTest::newRow("Movimiento Personal") << u"Movimiento Personal"_s << 1;
    QTest::newRow("Tramo Familiar") << u"Tramo Familiar"_s << 1;
    QTest::newRow("Nombre AFP") << u"Nombre AFP"_s << 2;
    QTest::newRow("Codigo Caja") << u"Codigo Caja"_s << 4;
    QTest::newRow("Isapres") << u"Isapres"_s << 2;
    QTest::newRow("CCAF") << u"CCAF"_s << 2;
    QTest::newRow("Mutual") << u"Mutual"_s << 2;
    QTest::newRow("APV") << u"APV"_s << 3;
    QTest::newRow("Movimiento Voluntario") << u"Movimiento Voluntario"_s << 0;
    QTest::newRow("Tipo Linea") << u"Tipo Linea"_s << 2;
}

// The windows take an entry's code from its first characters (as many as the
// section's width) and compare codes as numbers: a code of another width, a
// missing blank or two entries with the same code would show the wrong entry
// for a line's value. A file saved as UTF-8 by mistake shows its accents as
// two letters each.
void TstCodeTable::suppliedFile() {
    QFETCH(QString, section);
    QFETCH(int, width);

    const QString file = QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
    QVERIFY2(QFileInfo::exists(file), qPrintable(file));
    const QStringList entries = CodeTableFile(file).readSection(section);
    QVERIFY(!entries.isEmpty());

    static const QRegularExpression form(u"^([0-9A-Z]+) \\S"_s);
    QSet<QString> codes;
    for (const QString& entry : entries) {
        const QRegularExpressionMatch m = form.match(entry);
        QVERIFY2(m.hasMatch(), qPrintable(entry));
        const QString code = m.captured(1);
        if (width > 0) QVERIFY2(code.size() == width, qPrintable(entry));
        bool number = false;
        const int value = code.toInt(&number);
        const QString key = number ? QString::number(value) : code; // "05" is "5"
        QVERIFY2(!codes.contains(key), qPrintable(entry));
        codes.insert(key);
        QVERIFY2(!entry.contains(QChar(0xC3)), qPrintable(entry));
    }
}

// ------------------------------------------------------ what can be trusted

void TstCodeTable::readChecked_data() {
    QTest::addColumn<int>("kind"); // 0: none, 1: the bytes, 2: a folder
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // after the file's name; empty: none
    QTest::addColumn<bool>("partly");
    QTest::addColumn<QStringList>("tipoPago");

    const QString good = u"[TipoPago]\r\n01 Uno=0\r\n[CCAF]\r\n; nota\r\n00 Sin=0\r\n"_s;
    const QString unusable = u" no se puede usar: "_s;
    QTest::newRow("every section")
        << 1 << latin1(good) << QString() << false << QStringList{u"01 Uno"_s};
    QTest::newRow("UTF-16LE") << 1 << utf16le(good) << QString() << false
                              << QStringList{u"01 Uno"_s};
    QTest::newRow("missing") << 0 << QByteArray() << unusable + u"el archivo no existe."_s << false
                             << QStringList{};
    QTest::newRow("a folder") << 2 << QByteArray() << unusable + u"es una carpeta, no un archivo."_s
                              << false << QStringList{};
    QTest::newRow("empty") << 1 << QByteArray() << unusable + u"está vacío."_s << false
                           << QStringList{};
    QTest::newRow("blank lines and comments")
        << 1 << QByteArray("\r\n; nada\r\n   \r\n") << unusable + u"está vacío."_s << false
        << QStringList{};
    QTest::newRow("binary") << 1
                            << QByteArray("\x7F"
                                          "ELF\x02\x01\x01\x00\x00[TipoPago]\n01 Uno\n",
                                          27)
                            << unusable + u"no es un archivo de texto."_s << false << QStringList{};
    QTest::newRow("text without sections")
        << 1 << QByteArray("hola\r\n01 Uno=0\r\n")
        << unusable + u"no tiene ninguna de las listas de códigos."_s << false << QStringList{};
    QTest::newRow("one section of two")
        << 1 << QByteArray("[tipopago]\r\n01 Uno=0\r\n") << u" le falta la lista «CCAF»."_s << true
        << QStringList{u"01 Uno"_s};
    QTest::newRow("one section of three")
        << 1 << QByteArray("[CCAF]\r\n00 Sin=0\r\n")
        << u" le faltan las listas «TipoPago» y «Isapres»."_s << true << QStringList{};
}

// A file that cannot serve as the code table says why, naming itself; a
// missing list is named. Nothing of a file that is no table is used.
void TstCodeTable::readChecked() {
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QFETCH(bool, partly);
    QFETCH(QStringList, tipoPago);

    if (kind == 1) put(bytes);
    if (kind == 2) QVERIFY(QDir().mkpath(path()));
    QStringList sections{u"TipoPago"_s, u"CCAF"_s};
    if (QByteArray(QTest::currentDataTag()) == "one section of three") sections << u"Isapres"_s;
    const CodeTableFile::Reading r = CodeTableFile(path()).readChecked(sections);
    QCOMPARE(r.lists.size(), sections.size());
    QCOMPARE(r.lists.first(), tipoPago);
    const QString shown = u"«"_s + QDir::toNativeSeparators(path()) + u"»"_s;
    if (problem.isEmpty())
        QCOMPARE(r.problem, QString());
    else if (partly)
        QCOMPARE(r.problem, u"Al archivo de códigos "_s + shown + problem);
    else
        QCOMPARE(r.problem, u"El archivo de códigos "_s + shown + problem);
    QCOMPARE(r.partly, partly);
}

// ------------------------------------------------------------- user's copy

namespace {

// A program's file and its user copy in a folder of the test, with the
// program's folder writable or not.
struct Places {
    QString program, user;
    explicit Places(const QTemporaryDir& dir, bool programWritable = false)
        : program(dir.filePath(u"programa/Solvanta.cfg"_s)),
          user(dir.filePath(u"config/Solvanta.cfg"_s)) {
        QDir().mkpath(QFileInfo(program).absolutePath());
        QDir().mkpath(QFileInfo(user).absolutePath());
        const QString folder = QFileInfo(program).absolutePath();
        CodeTableFile::setWritableCheck([folder, programWritable](const QString& p) {
            return programWritable || QFileInfo(p).absolutePath() != folder;
        });
    }
    CodeTableFile table() const { return CodeTableFile::withUserCopy(program, user); }
};

} // namespace

void TstCodeTable::whichFile_data() {
    QTest::addColumn<bool>("programWritable");
    QTest::addColumn<bool>("copyExists");
    QTest::addColumn<bool>("usesCopy");

    QTest::newRow("writable, no copy") << true << false << false;
    QTest::newRow("writable: a copy is left alone") << true << true << false;
    QTest::newRow("not writable, no copy yet") << false << false << false;
    QTest::newRow("not writable: the copy") << false << true << true;
}

// The user's copy is read only while the program's file cannot be written.
void TstCodeTable::whichFile() {
    QFETCH(bool, programWritable);
    QFETCH(bool, copyExists);
    QFETCH(bool, usesCopy);

    const Places at(*dir_, programWritable);
    QVERIFY(writeAll(at.program, "[A]\r\n01 Programa=0\r\n"));
    if (copyExists) QVERIFY(writeAll(at.user, "[A]\r\n01 Usuario=0\r\n"));
    QCOMPARE(at.table().usesUserCopy(), usesCopy);
    QCOMPARE(at.table().path(), usesCopy ? at.user : at.program);
    QCOMPARE(at.table().readSection(u"A"_s),
             QStringList{usesCopy ? u"01 Usuario"_s : u"01 Programa"_s});
}

void TstCodeTable::userCopyFollowsProgram_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a list the user changed stays the user's")
        << u"A"_s << QStringList{u"01 Uno"_s, u"09 Propio"_s};
    QTest::newRow("a list as taken is the program's as it is now")
        << u"B"_s << QStringList{u"01 Nuevo"_s, u"02 Otro"_s};
    QTest::newRow("a list the user erased stays erased") << u"C"_s << QStringList{};
    QTest::newRow("a list new in the program is read from it")
        << u"D"_s << QStringList{u"04 Cuatro"_s};
    QTest::newRow("a list only the user has") << u"E"_s << QStringList{u"05 Cinco"_s};
}

// The copy is made at the first change, while the program's file held one
// set of lists; then the program's file changes (a newer program).
void TstCodeTable::userCopyFollowsProgram() {
    QFETCH(QString, section);
    QFETCH(QStringList, expected);

    const Places at(*dir_);
    QVERIFY(writeAll(at.program, "[A]\r\n01 Uno=0\r\n\r\n[B]\r\n01 Viejo=0\r\n\r\n"
                                 "[C]\r\n03 Tres=0\r\n"));
    CodeTableFile table = at.table();
    table.writeEntry(u"A"_s, u"09 Propio"_s, u"1"_s);
    QVERIFY(table.usesUserCopy());
    table.eraseSection(u"C"_s);
    table.writeEntry(u"E"_s, u"05 Cinco"_s, u"0"_s);
    QVERIFY(writeAll(at.program,
                     "[A]\r\n01 Uno=0\r\n02 Dos=1\r\n\r\n[B]\r\n01 Nuevo=0\r\n"
                     "02 Otro=1\r\n\r\n[C]\r\n03 Tres=0\r\n\r\n[D]\r\n04 Cuatro=0\r\n"));
    QCOMPARE(table.readSection(section), expected);
    QCOMPARE(table.readSections({section}), QList<QStringList>{expected});
}

// A change to the copy writes it whole, brought up to date, with the lists as
// taken now, in lines the reader passes over; a later program still reaches
// the lists the user did not change.
void TstCodeTable::userCopyWrittenWithWhatWasTaken() {
    const Places at(*dir_);
    QVERIFY(writeAll(at.program, "[A]\r\n01 Uno=0\r\n\r\n[B]\r\n01 Viejo=0\r\n"));
    CodeTableFile table = at.table();
    table.writeEntry(u"A"_s, u"09 Propio"_s, u"1"_s);
    QVERIFY(writeAll(at.program, "[A]\r\n01 Uno=0\r\n\r\n[B]\r\n01 Nuevo=0\r\n"));
    table.writeEntry(u"A"_s, u"08 Otro"_s, u"2"_s);

    const QByteArray copy = readAll(at.user);
    QVERIFY2(copy.startsWith("; Copia del usuario"), copy.constData());
    for (const QByteArray& line : copy.split('\n'))
        QVERIFY2(line.isEmpty() || line.startsWith(';') || !line.contains("original"),
                 line.constData());
    const CodeTableFile plain(at.user);
    QCOMPARE(plain.readSection(u"A"_s), (QStringList{u"01 Uno"_s, u"09 Propio"_s, u"08 Otro"_s}));
    QCOMPARE(plain.readSection(u"B"_s), QStringList{u"01 Nuevo"_s});
    QCOMPARE(plain.readSections({u"A"_s, u"B"_s}).size(), 2);

    QVERIFY(writeAll(at.program, "[A]\r\n01 Uno=0\r\n\r\n[B]\r\n01 Tercero=0\r\n"));
    QCOMPARE(table.readSection(u"B"_s), QStringList{u"01 Tercero"_s});
    QCOMPARE(table.readSection(u"A"_s), (QStringList{u"01 Uno"_s, u"09 Propio"_s, u"08 Otro"_s}));
}

// A copy that records nothing (made by an older program) keeps the lists it
// has; those it lacks are read from the program's file.
void TstCodeTable::oldUserCopyKeepsOnlyItsLists() {
    const Places at(*dir_);
    QVERIFY(writeAll(at.program, "[A]\r\n01 Uno=0\r\n\r\n[B]\r\n02 Dos=0\r\n"));
    QVERIFY(writeAll(at.user, "[A]\r\n09 Propio=0\r\n"));
    const CodeTableFile table = at.table();
    QCOMPARE(table.readSection(u"A"_s), QStringList{u"09 Propio"_s});
    QCOMPARE(table.readSection(u"B"_s), QStringList{u"02 Dos"_s});
    const CodeTableFile::Reading r = table.readChecked({u"A"_s, u"B"_s});
    QCOMPARE(r.problem, QString());
}

// Two writers at once (two windows, two programs): each reads the file as
// the other left it, so neither loses the other's codes.
void TstCodeTable::writersTakeTurns() {
    put("[A]\r\n");
    const auto writer = [this](int from) {
        for (int i = from; i < from + 40; ++i)
            CodeTableFile(path()).writeEntry(u"A"_s, u"%1 Codigo"_s.arg(i, 3, 10, QLatin1Char('0')),
                                             QString::number(i));
    };
    std::thread other(writer, 100);
    writer(200);
    other.join();
    const QStringList entries = CodeTableFile(path()).readSection(u"A"_s);
    QCOMPARE(entries.size(), 80);
    QVERIFY(!QFile::exists(path() + u".lock"_s));
}

QTEST_GUILESS_MAIN(TstCodeTable)
#include "tst_codetable.moc"
