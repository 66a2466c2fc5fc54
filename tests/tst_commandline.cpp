// The command line of the editor, run as users run it.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/model/RxMem.h"
#include "engine/util/NumberText.h"

#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// AddressSanitizer maps its shadow memory when the program starts, which a
// limit on the address space forbids. GCC tells with __SANITIZE_ADDRESS__,
// clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define SOLVANTA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOLVANTA_ADDRESS_SANITIZER 1
#endif
#endif

using namespace testutil;
using namespace solvanta;

namespace {

struct Run {
    int status;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& args, const QString& locale,
               qint64 memoryLimit, qint64 fileSizeLimit = 0);

// The address space the editor may take, and the size any file it writes
// may grow to (as on a disk that fills up), 0 for no limit.
Run run(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8"),
        qint64 memoryLimit = 0, qint64 fileSizeLimit = 0) {
    return runProgram(QStringLiteral(SOLVANTA_EDITOR_EXE), args, locale, memoryLimit,
                      fileSizeLimit);
}

// The program runs from its own folder, beside its own code-table file, and
// with a configuration folder of its own, where no user's copy is.
Run runProgram(const QString& program, const QStringList& args, const QString& locale,
               qint64 memoryLimit, qint64 fileSizeLimit) {
    QProcess p;
#ifdef Q_OS_UNIX
    if (memoryLimit > 0 || fileSizeLimit > 0)
        p.setChildProcessModifier([memoryLimit, fileSizeLimit] {
            if (memoryLimit > 0) {
                const rlimit limit{rlim_t(memoryLimit), rlim_t(memoryLimit)};
                setrlimit(RLIMIT_AS, &limit);
            }
            if (fileSizeLimit > 0) {
                // A write past the limit then fails with an error instead of
                // ending the program.
                signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
        });
#else
    Q_UNUSED(memoryLimit);
    Q_UNUSED(fileSizeLimit);
#endif
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_NUMERIC"));
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"),
               QFileInfo(program).absolutePath() + QStringLiteral("/config"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    // A bound for a program that hangs, far above what a run takes even on
    // a busy machine or under the sanitizers.
    if (!p.waitForFinished(600000)) return {-1, {}, {}};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Five clean generated lines in the form, without their line ends, under
// the test's own locale (es_CL).
QList<QByteArray> baseLines(FileForm form) {
    QTemporaryDir dir;
    RxMem table;
    numtext::setDecimalSeparator(',');
    generateDeclaration(table, 5, 7);
    const QString path = dir.filePath(QStringLiteral("base"));
    writeDeclaration(path, form, table);
    QList<QByteArray> lines = readAll(path).split('\n');
    lines.removeLast();
    for (QByteArray& l : lines)
        l.chop(1);
    return lines;
}

QStringList convertArgs(const QString& in, const QString& out) {
    return {QStringLiteral("convert"),
            QStringLiteral("--from"),
            QStringLiteral("position"),
            QStringLiteral("--to"),
            QStringLiteral("position"),
            in,
            out};
}

QStringList exportArgs(const QString& in, const QString& out) {
    return {QStringLiteral("export"), QStringLiteral("--from"), QStringLiteral("position"), in,
            out};
}

QStringList commandArgs(const QString& command, const QString& in, const QString& out) {
    return command == QLatin1String("convert") ? convertArgs(in, out) : exportArgs(in, out);
}

#ifdef Q_OS_UNIX
struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}
#endif

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;

private slots:
    // The workbook itself is checked in the export's tests; here, the
    // command's outcome as a batch job sees it.
    void exportWorkbook() {
        const QString out = tmp_.filePath(QStringLiteral("planilla.xlsx"));
        const Run ok = run({QStringLiteral("export"), QStringLiteral("--from"),
                            QStringLiteral("position"), dataFile("dos-lineas-coma.txt"), out},
                           QStringLiteral("es_CL.UTF-8"));
        QCOMPARE(ok.status, 0);
        QVERIFY(ok.err.isEmpty());
        QVERIFY(readAll(out).startsWith("PK"));
        const QString missing = tmp_.filePath(QStringLiteral("nada.xlsx"));
        const Run failed =
            run({QStringLiteral("export"), QStringLiteral("--from"), QStringLiteral("position"),
                 tmp_.filePath(QStringLiteral("no-existe.txt")), missing});
        QCOMPARE(failed.status, 1);
        QVERIFY(failed.err.contains(QLatin1String("no existe")));
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(QDir(tmp_.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("planilla.xlsx")});
    }

    // Decimal commas read where the decimal separator is the period: the
    // amounts would arrive as 0, so no workbook unless told.
    void exportRefusesWhatWouldNotArrive() {
        const QString out = tmp_.filePath(QStringLiteral("perdida.xlsx"));
        QStringList args{QStringLiteral("export"), QStringLiteral("--from"),
                         QStringLiteral("position"), dataFile("dos-lineas-coma.txt"), out};
        const Run refused = run(args, QStringLiteral("C.UTF-8"));
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.startsWith(QStringLiteral("No se creó la planilla")),
                 qPrintable(refused.err));
        QVERIFY(refused.err.contains(QStringLiteral(
            "línea 1, [38] % trab. pesado: «012,5» no es un número; se leyó como 0.")));
        QVERIFY(!QFile::exists(out));
        const Run forced = run(args << QStringLiteral("--force"), QStringLiteral("C.UTF-8"));
        QCOMPARE(forced.status, 0);
        QVERIFY(forced.err.contains(QStringLiteral("[38] % trab. pesado")));
        QVERIFY(readAll(out).startsWith("PK"));
    }

    // A workbook the export wrote converts back to the same file; a .csv
    // whose columns a field does not take is refused unless forced; check
    // reads a sheet too, naming the cell it could not read.
    void sheetsFromTheCommandLine() {
        const QString es = QStringLiteral("es_CL.UTF-8");
        const QString book = tmp_.filePath(QStringLiteral("ida.xlsx"));
        QCOMPARE(run({QStringLiteral("export"), QStringLiteral("--from"),
                      QStringLiteral("position"), dataFile("dos-lineas-coma.txt"), book},
                     es)
                     .status,
                 0);
        const QString back = tmp_.filePath(QStringLiteral("vuelta.txt"));
        const Run converted =
            run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("xlsx"),
                 QStringLiteral("--to"), QStringLiteral("position"), book, back},
                es);
        QVERIFY2(converted.status == 0, qPrintable(converted.err));
        QCOMPARE(readAll(back), readAll(dataFile("dos-lineas-coma.txt")));

        const QString csv = tmp_.filePath(QStringLiteral("nomina.csv"));
        writeAll(csv, "rut;impo_afp;Notas\n11;1.000;x\n12;12,3,4;y\n");
        const QString out = tmp_.filePath(QStringLiteral("nomina.txt"));
        const QStringList args{QStringLiteral("convert"),
                               QStringLiteral("--from"),
                               QStringLiteral("csv"),
                               QStringLiteral("--to"),
                               QStringLiteral("separator"),
                               csv,
                               out};
        const Run refused = run(args, es);
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("Columnas que no se usan: Notas.")),
                 qPrintable(refused.err));
        QVERIFY(!QFile::exists(out));
        const Run forced = run(QStringList(args) << QStringLiteral("--force"), es);
        QVERIFY2(forced.status == 0, qPrintable(forced.err));
        QVERIFY2(forced.err.contains(QStringLiteral("nomina!B3: «12,3,4»")),
                 qPrintable(forced.err));
        QCOMPARE(readAll(out).count("\r\n"), 2);

        const Run checked = run(
            {QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("csv"), csv}, es);
        QCOMPARE(checked.status, 1);
        QVERIFY2(
            checked.out.contains(QStringLiteral("línea 2, [27] Impo. afp: nomina!B3: «12,3,4»")),
            qPrintable(checked.out));
    }

    // The summary as a table and as CSV; a comparison of a file with itself
    // finds nothing (0), with a changed copy finds the change (1).
    void summaryAndCompare() {
        const QString es = QStringLiteral("es_CL.UTF-8");
        RxMem table;
        generateDeclaration(table, 60, 5);
        const QString before = tmp_.filePath(QStringLiteral("enero.txt"));
        writeDeclaration(before, FileForm::Position, table);
        double afp = 0;
        for (int r = 0; r < table.recordCount(); ++r)
            afp += table.recordAt(r).number(field("impo_afp"));

        const Run text = run({QStringLiteral("summary"), QStringLiteral("--from"),
                              QStringLiteral("position"), before},
                             es);
        QVERIFY2(text.status == 0, qPrintable(text.err));
        QVERIFY(text.out.startsWith(QStringLiteral("Resumen de «enero.txt»\n")));
        QVERIFY2(text.out.contains(QStringLiteral("Líneas: 60")), qPrintable(text.out));
        QVERIFY2(text.out.contains(QLocale(QLocale::Spanish, QLocale::Chile).toString(afp, 'f', 0)),
                 qPrintable(text.out));
        const Run csv = run({QStringLiteral("summary"), QStringLiteral("--csv"),
                             QStringLiteral("--from"), QStringLiteral("position"), before},
                            es);
        QCOMPARE(csv.status, 0);
        QVERIFY(csv.out.startsWith(QStringLiteral("Grupo;Código;Nombre;")));
        QVERIFY(csv.out.contains(QStringLiteral(";[27] Impo. afp;")));

        const QStringList compare{QStringLiteral("compare"), QStringLiteral("--from"),
                                  QStringLiteral("position"), before};
        const Run same = run(QStringList(compare) << before, es);
        QVERIFY2(same.status == 0, qPrintable(same.err));
        QVERIFY(same.out.contains(QStringLiteral("Nuevas: 0   Ya no están: 0   Con montos "
                                                 "distintos: 0")));
        table.moveTo(3);
        table.edit();
        table.setNumber(field("impo_afp"), table.asNumber(field("impo_afp")) + 100000);
        table.post();
        const QString after = tmp_.filePath(QStringLiteral("febrero.txt"));
        writeDeclaration(after, FileForm::Position, table);
        const Run changed = run(QStringList(compare) << after, es);
        QCOMPARE(changed.status, 1);
        QVERIFY2(changed.out.contains(QStringLiteral("Con montos distintos: 1")),
                 qPrintable(changed.out));
        QVERIFY(changed.out.contains(QStringLiteral("[27] Impo. afp")));
        QVERIFY(changed.out.contains(QStringLiteral("100.000")));
        QCOMPARE(run(compare, es).status, 2); // one file only
    }

    // One line per problem and a count, exit 1; a clean file exits 0; a
    // file that cannot be read says so instead.
    void checkFile() {
        const Run problems = run({QStringLiteral("check"), QStringLiteral("--from"),
                                  QStringLiteral("position"), dataFile("dos-lineas-coma.txt")});
        QCOMPARE(problems.status, 1);
        const QStringList lines = problems.out.trimmed().split(u'\n');
        QVERIFY2(lines.first().startsWith(QStringLiteral("línea 1, [")), qPrintable(problems.out));
        QVERIFY(lines.last().contains(
            QRegularExpression(QStringLiteral("^\\d+ problemas en 2 líneas\\.$"))));
        QVERIFY(problems.out.contains(QStringLiteral(
            "línea 2, [2] DV: el dígito verificador no corresponde al RUT 5000006. (valor «K»)")));

        RxMem table;
        generateDeclaration(table, 200, 3);
        const QString clean = tmp_.filePath(QStringLiteral("limpio.txt"));
        writeDeclaration(clean, FileForm::Position, table);
        const Run ok = run(
            {QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("position"), clean});
        QCOMPARE(ok.status, 0);
        QCOMPARE(ok.out, QStringLiteral("Sin problemas.\n"));

        const Run missing =
            run({QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("position"),
                 tmp_.filePath(QStringLiteral("no-existe.txt"))});
        QCOMPARE(missing.status, 1);
        QVERIFY(missing.out.isEmpty());
        QVERIFY(missing.err.contains(QLatin1String("no existe")));
        QCOMPARE(
            run({QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("position")})
                .status,
            2);
    }

    void codeTableUnusable_data() {
        QTest::addColumn<int>("kind"); // 0: none, 1: the bytes, 2: a folder
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem"); // empty: none

        const QString unusable = QStringLiteral("El archivo de códigos «%1» no se puede usar: ");
        QTest::newRow("the shipped table")
            << 1 << readAll(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg")) << QString();
        QTest::newRow("missing") << 0 << QByteArray()
                                 << unusable + QStringLiteral("el archivo no existe. No se "
                                                              "revisaron los códigos.");
        QTest::newRow("empty") << 1 << QByteArray()
                               << unusable +
                                      QStringLiteral("está vacío. No se revisaron los códigos.");
        QTest::newRow("binary") << 1 << QByteArray("PK\x03\x04\x14\x00\x00\x00[TipoPago]", 18)
                                << unusable + QStringLiteral("no es un archivo de texto. No se "
                                                             "revisaron los códigos.");
        QTest::newRow("a folder") << 2 << QByteArray()
                                  << unusable + QStringLiteral("es una carpeta, no un archivo. "
                                                               "No se revisaron los códigos.");
        QTest::newRow("one list")
            << 1 << QByteArray("[TipoPago]\r\n01 Remuneraciones del mes=0\r\n")
            << QStringLiteral("Al archivo de códigos «%1» le faltan las listas «Tipo "
                              "Trabajador», «Movimiento Personal», «Tramo Familiar», «Nombre "
                              "AFP», «Codigo Caja», «Isapres», «CCAF», «Mutual», «APV», «Tipo "
                              "Linea» y «Movimiento Voluntario». No se revisaron los códigos de "
                              "esas listas.");
    }

    // A file the checks would call clean: with a code table that cannot be
    // used, the command says so, naming the file, before anything else, and
    // fails; the other checks still run.
    void codeTableUnusable() {
        QFETCH(int, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);

        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("solvanta-editor"));
        QVERIFY(QFile::copy(QStringLiteral(SOLVANTA_EDITOR_EXE), program));
        const QString table = folder.filePath(QStringLiteral("Solvanta.cfg"));
        if (kind == 1) QVERIFY(writeAll(table, bytes));
        if (kind == 2) QVERIFY(QDir().mkpath(table));
        RxMem lines;
        generateDeclaration(lines, 20, 5);
        const QString clean = folder.filePath(QStringLiteral("limpio.txt"));
        writeDeclaration(clean, FileForm::Position, lines);

        const Run r = runProgram(
            program,
            {QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("position"), clean},
            QStringLiteral("C.UTF-8"), 0);
        if (problem.isEmpty()) {
            QCOMPARE(r.err, QString());
            QCOMPARE(r.out, QStringLiteral("Sin problemas.\n"));
            QCOMPARE(r.status, 0);
            return;
        }
        QCOMPARE(r.err, QStringLiteral("Error: ") + problem.arg(table) + u'\n');
        QCOMPARE(r.out, QStringLiteral("Sin otros problemas.\n"));
        QCOMPARE(r.status, 1);
    }

    // While the program's folder cannot be written, the user's copy of the
    // table is read, and the command names it before anything else.
    void userCopyNamed() {
#ifndef Q_OS_UNIX
        QSKIP("needs permission bits");
#else
        if (geteuid() == 0) QSKIP("permission bits stop nothing for root");
        QTemporaryDir folder;
        const QString program = folder.filePath(QStringLiteral("solvanta-editor"));
        QVERIFY(QFile::copy(QStringLiteral(SOLVANTA_EDITOR_EXE), program));
        QVERIFY(QFile::copy(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"),
                            folder.filePath(QStringLiteral("Solvanta.cfg"))));
        const QString copy = folder.filePath(QStringLiteral("config/solvanta-editor/Solvanta.cfg"));
        QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
        QVERIFY(writeAll(copy, "[Nombre AFP]\r\n77 Propia=0\r\n"));
        QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        const Run r = runProgram(program,
                                 {QStringLiteral("check"), QStringLiteral("--from"),
                                  QStringLiteral("position"), dataFile("dos-lineas-coma.txt")},
                                 QStringLiteral("C.UTF-8"), 0);
        QFile::setPermissions(folder.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(r.err, QStringLiteral("Tabla de códigos: copia del usuario «%1».\n").arg(copy));
        // The copy's own list of AFPs, the program's other lists.
        QVERIFY2(r.out.contains(QStringLiteral("[26] AFP: el código no está en la lista")),
                 qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("[2] DV")), qPrintable(r.out));
        QCOMPARE(r.status, 1);
#endif
    }

    // The other form's lines: a warning, and the command goes on as told.
    void wrongFormWarns() {
        const Run r =
            run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("separator"),
                 QStringLiteral("--to"), QStringLiteral("position"),
                 dataFile("dos-lineas-coma.txt"), tmp_.filePath(QStringLiteral("x.txt"))});
        QVERIFY2(r.err.contains(QStringLiteral("parece estar por posición (--from position)")),
                 qPrintable(r.err));
        QCOMPARE(r.status, 1); // read as told, it fails
        const Run right = run({QStringLiteral("check"), QStringLiteral("--from"),
                               QStringLiteral("position"), dataFile("dos-lineas-coma.txt")});
        QVERIFY(!right.err.contains(QStringLiteral("Aviso")));
    }

    void helpAndVersion() {
        const Run version = run({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.contains(QLatin1String("3.0")));
        const Run help = run({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains(
            QLatin1String("convert --from position|separator --to position|separator")));
        QVERIFY(help.out.contains(QLatin1String(
            "export --from position|separator [--force] [--utf8] ENTRADA SALIDA.xlsx")));
        QVERIFY(help.out.contains(QLatin1String("Con --force escriben de todos modos")));
        QVERIFY(help.err.isEmpty());
    }

    void wrongUsage_data() {
        QTest::addColumn<QStringList>("args");
        const QString in = dataFile("dos-lineas-coma.txt");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("convertir")};
        QTest::newRow("unknown form") << QStringList{
            QStringLiteral("convert"), QStringLiteral("--from"),   QStringLiteral("ods"),
            QStringLiteral("--to"),    QStringLiteral("position"), in,
            QStringLiteral("x")};
        QTest::newRow("missing --to")
            << QStringList{QStringLiteral("convert"), QStringLiteral("--from"),
                           QStringLiteral("position"), in, QStringLiteral("x")};
        QTest::newRow("one file") << QStringList{
            QStringLiteral("convert"), QStringLiteral("--from"),    QStringLiteral("position"),
            QStringLiteral("--to"),    QStringLiteral("separator"), in};
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("convert"), QStringLiteral("--rapido")};
        QTest::newRow("form missing at the end")
            << QStringList{QStringLiteral("convert"), QStringLiteral("--from")};
        QTest::newRow("export without --from")
            << QStringList{QStringLiteral("export"), in, QStringLiteral("x.xlsx")};
        QTest::newRow("export with --to") << QStringList{
            QStringLiteral("export"), QStringLiteral("--from"),   QStringLiteral("position"),
            QStringLiteral("--to"),   QStringLiteral("position"), in,
            QStringLiteral("x.xlsx")};
        QTest::newRow("export one file") << QStringList{
            QStringLiteral("export"), QStringLiteral("--from"), QStringLiteral("position"), in};
        QTest::newRow("--from twice") << QStringList{
            QStringLiteral("check"),  QStringLiteral("--from"),    QStringLiteral("position"),
            QStringLiteral("--from"), QStringLiteral("separator"), in};
        QTest::newRow("empty file name") << QStringList{QStringLiteral("convert"),
                                                        QStringLiteral("--from"),
                                                        QStringLiteral("position"),
                                                        QStringLiteral("--to"),
                                                        QStringLiteral("separator"),
                                                        in,
                                                        QString()};
        QTest::newRow("--force for check")
            << QStringList{QStringLiteral("check"), QStringLiteral("--from"),
                           QStringLiteral("position"), QStringLiteral("--force"), in};
    }

    void wrongUsage() {
        QFETCH(QStringList, args);
        const Run r = run(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.startsWith(QLatin1String("solvanta-editor: ")));
        QVERIFY(r.err.contains(QLatin1String("Uso:")));
    }

    void longArgumentQuotedShort_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString longText = QStringLiteral("ñ").repeated(5000);
        const QString shown = QStringLiteral("ñ").repeated(80) + QChar(0x2026);
        QTest::newRow("command") << QStringList{longText}
                                 << QStringLiteral("orden desconocida «%1».").arg(shown);
        QTest::newRow("option")
            << QStringList{QStringLiteral("convert"), QStringLiteral("--") + longText}
            << QStringLiteral("opción desconocida «--%1».").arg(shown.left(78) + QChar(0x2026));
        QTest::newRow("form") << QStringList{QStringLiteral("check"), QStringLiteral("--from"),
                                             longText, QStringLiteral("x.txt")}
                              << QStringLiteral("formato desconocido «%1»: use position, "
                                                "separator, xlsx o csv.")
                                     .arg(shown);
    }

    // An argument the command line cannot use is quoted, at most 80
    // characters of it.
    void longArgumentQuotedShort() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        const Run r = run(args);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.err.section(u'\n', 0, 0), QStringLiteral("solvanta-editor: ") + message);
    }

    void convert_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("es_CL position to separator")
            << QStringLiteral("es_CL.UTF-8") << QStringLiteral("position")
            << QStringLiteral("separator") << dataFile("dos-lineas-coma.txt")
            << dataFile("dos-lineas-coma.csv");
        QTest::newRow("es_CL separator to position")
            << QStringLiteral("es_CL.UTF-8") << QStringLiteral("separator")
            << QStringLiteral("position") << dataFile("dos-lineas-coma.csv")
            << dataFile("dos-lineas-coma.txt");
        QTest::newRow("C position to separator")
            << QStringLiteral("C.UTF-8") << QStringLiteral("position")
            << QStringLiteral("separator") << dataFile("dos-lineas-punto.txt")
            << dataFile("dos-lineas-punto.csv");
        QTest::newRow("en_US separator to position")
            << QStringLiteral("en_US.UTF-8") << QStringLiteral("separator")
            << QStringLiteral("position") << dataFile("dos-lineas-punto.csv")
            << dataFile("dos-lineas-punto.txt");
    }

    // The decimal separator comes from the user's locale.
    void convert() {
        QFETCH(QString, locale);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString out = tmp_.filePath(QStringLiteral("salida.txt"));
        const Run r = run({QStringLiteral("convert"), QStringLiteral("--from"), from,
                           QStringLiteral("--to"), to, input, out},
                          locale);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QCOMPARE(readAll(out), readAll(expected));
    }

    void unreadableInputs_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message");
        const QString noBreaks = tmp_.filePath(QStringLiteral("sin saltos.txt"));
        QVERIFY(writeAll(noBreaks, QByteArray(200000, 'A')));
        QTest::newRow("no line break")
            << noBreaks
            << QStringLiteral("La línea 1 del archivo «%1» tiene más de 65.536 caracteres: no es "
                              "un archivo de declaración.\n")
                   .arg(noBreaks);
#ifdef Q_OS_UNIX
        const QString special = QStringLiteral(
            "No se pudo abrir el archivo «%1»: no es un archivo común, sino un dispositivo o un "
            "canal entre programas.\n");
        QTest::newRow("endless device")
            << QStringLiteral("/dev/zero") << special.arg(QStringLiteral("/dev/zero"));
        const QString pipe = tmp_.filePath(QStringLiteral("tuberia"));
        QTest::newRow("pipe without writer") << pipe << special.arg(pipe);
#endif
    }

    // Inputs that are no declaration file stop the command at once with a
    // message, exit 1 and write nothing.
    void unreadableInputs() {
        QFETCH(QString, input);
        QFETCH(QString, message);
#ifdef Q_OS_UNIX
        std::optional<SpecialFile> pipe;
        if (input.endsWith(QLatin1String("tuberia"))) {
            pipe.emplace(SpecialFile::Pipe, input);
            QVERIFY(pipe->ok());
        }
#endif
        const QString out = tmp_.filePath(QStringLiteral("no-creado.csv"));
        const Run r =
            run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("position"),
                 QStringLiteral("--to"), QStringLiteral("separator"), input, out});
        QCOMPARE(r.err, message);
        QCOMPARE(r.status, 1);
        QVERIFY(!QFile::exists(out));
    }

    void outOfMemory_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output"); // empty: the command writes no file
        QTest::newRow("export") << QStringLiteral("export")
                                << tmp_.filePath(QStringLiteral("sin-memoria.xlsx"));
    }

    // Under a limit the program starts and handles a small file with, a
    // file whose lines need more memory than the limit ends in a message and
    // exit 1, never in an abort. (Lines of seven short fields take about 9
    // bytes in the file and a full record in memory.) The command that holds
    // every line is tried; convert and check hold only a few at a time, and
    // check gets through the same file under the same limit.
    void outOfMemory() {
#if !defined(Q_OS_UNIX) || defined(SOLVANTA_ADDRESS_SANITIZER)
        QSKIP("needs a limit on the address space, which AddressSanitizer cannot start under");
#else
        QFETCH(QString, command);
        QFETCH(QString, output);
        constexpr qint64 kLimit = 256 << 20;
        const QString many = tmp_.filePath(QStringLiteral("muchas.csv"));
        QVERIFY(writeAll(many, QByteArray("1;;;;;;0\r\n").repeated(600000)));
        auto args = [&](const QString& input) {
            QStringList a{command, QStringLiteral("--from"), QStringLiteral("separator"), input};
            if (!output.isEmpty()) a << output;
            return a;
        };

        const Run small =
            run(args(dataFile("dos-lineas-punto.csv")), QStringLiteral("C.UTF-8"), kLimit);
        QVERIFY2(small.status != -1 && small.err.isEmpty(), qPrintable(small.err));
        if (!output.isEmpty()) QVERIFY(QFile::remove(output));

        const Run r = run(args(many), QStringLiteral("C.UTF-8"), kLimit);
        QCOMPARE(r.err, QStringLiteral("No hay memoria suficiente para completar la operación.\n"));
        QCOMPARE(r.status, 1);
        if (!output.isEmpty()) QVERIFY(!QFile::exists(output));

        const Run checked = run(
            {QStringLiteral("check"), QStringLiteral("--from"), QStringLiteral("separator"), many},
            QStringLiteral("C.UTF-8"), kLimit);
        QCOMPARE(checked.err, QString());
        QCOMPARE(checked.status, 1); // every line lacks fields
        QVERIFY(checked.out.endsWith(QStringLiteral(" en 600000 líneas.\n")));
#endif
    }

    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("status"); // of convert and check without --force
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("lines"); // written with --force
        const QString position = QStringLiteral("position"),
                      separator = QStringLiteral("separator");
        const QList<QByteArray> pos = baseLines(FileForm::Position);
        const QList<QByteArray> sep = baseLines(FileForm::Separator);
        const auto file = [](QList<QByteArray> lines) { return lines.join("\r\n") + "\r\n"; };
        // The separator lines with one field's piece replaced.
        const auto withPiece = [&](int line, const char* name, const QByteArray& piece) {
            QList<QByteArray> lines = sep;
            QList<QByteArray> pieces = lines[line - 1].split(';');
            pieces[field(name)] = piece;
            lines[line - 1] = pieces.join(';');
            return file(lines);
        };

        QTest::newRow("old Mac line ends")
            << QByteArray(pos.join("\r") + "\r") << position << separator << 0
            << QStringLiteral("Aviso: las líneas del archivo terminan solo en CR") << 5;
        QTest::newRow("Ctrl+Z alone at the end")
            << QByteArray(file(pos) + "\x1A") << position << separator << 0 << QString() << 5;
        {
            QList<QByteArray> lines = pos;
            lines[2].insert(700, "\x1A");
            QTest::newRow("Ctrl+Z inside line 3")
                << file(lines) << position << separator << 1
                << QStringLiteral("Línea 3: lo que sigue al carácter de fin de archivo (Ctrl+Z) "
                                  "no se leyó: 3 líneas.")
                << 3;
        }
        QTest::newRow("trailing empty lines")
            << QByteArray(file(pos) + "\r\n  \r\n") << position << separator << 0
            << QStringLiteral("Aviso: las 2 líneas vacías del final del archivo no se cargaron.")
            << 5;
        {
            QList<QByteArray> lines = sep;
            lines[1] += ";SOBRA";
            QTest::newRow("106 separator fields")
                << file(lines) << separator << position << 1
                << QStringLiteral("línea 2, [105] Centro costo: la línea tiene 106 campos y "
                                  "no 105: lo que sigue al campo 105 no se leyó («SOBRA»).")
                << 5;
            lines = sep;
            lines[3].truncate(lines[3].lastIndexOf(';'));
            QTest::newRow("104 separator fields")
                << file(lines) << separator << position << 1
                << QStringLiteral("la línea tiene 104 campos y no 105: el campo 105 no estaba")
                << 5;
        }
        QTest::newRow("quoted name holding ;")
            << withPiece(1, "ape_pat", "\"PEREZ; JR\"") << separator << position << 1
            << QStringLiteral("un texto entre comillas que contiene «;» corre los campos") << -1;
        {
            QList<QByteArray> lines = pos;
            lines[4] += "SOBRA";
            QTest::newRow("position line too long")
                << file(lines) << position << separator << 1
                << QStringLiteral("línea 5, [105] Centro costo: la línea tiene 866 caracteres "
                                  "y no 861: lo que sigue a la columna 861 no se leyó («SOBRA»).")
                << 5;
        }
        for (const char* amount : {"1.234.567", "1,234,567", "$1234", "1e400"})
            QTest::addRow("amount %s", amount)
                << withPiece(2, "impo_afp", amount) << separator << separator << 1
                << QStringLiteral("línea 2, [27] Impo. afp: «%1» no es un monto; se leyó como 0.")
                       .arg(QLatin1String(amount))
                << 5;
        for (const char* rut : {"12.345.678", "1234567K"})
            QTest::addRow("RUT %s", rut)
                << withPiece(3, "rut", rut) << separator << separator << 1
                << QStringLiteral("línea 3, [1] Rut: «%1» no es un RUT; se leyó como 0.")
                       .arg(QLatin1String(rut))
                << 5;
        QTest::newRow("empty DV to position")
            << withPiece(1, "dv", "") << separator << position << 1
            << QStringLiteral("línea 1, [2] DV: está vacío y ocupa 0 columnas y no 1") << 5;
        QTest::newRow("nine digits in eight columns")
            << withPiece(1, "impo_afp", "123456789") << separator << position << 1
            << QStringLiteral("«123456789» ocupa 9 columnas y no 8: correría los campos "
                              "siguientes.")
            << 5;
        QTest::newRow("negative amount to position")
            << withPiece(1, "impo_afp", "-1234") << separator << position << 1
            << QStringLiteral("[27] Impo. afp: «000-1234» se leería como 0") << 5;
        QTest::newRow("byte-order mark, position")
            << QByteArray("\xEF\xBB\xBF" + file(pos)) << position << separator << 0
            << QStringLiteral("Aviso: el archivo empieza con la marca de UTF-8 (BOM)") << 5;
        QTest::newRow("byte-order mark, separator")
            << QByteArray("\xEF\xBB\xBF" + file(sep)) << separator << separator << 0
            << QStringLiteral("Aviso: el archivo empieza con la marca de UTF-8 (BOM)") << 5;
        QTest::newRow("UTF-8 names")
            << cp1252::decode(withPiece(2, "ape_pat", "MU\xD1OZ").toStdString()).toUtf8()
            << separator << separator << 1 << QStringLiteral("El archivo está escrito en UTF-8")
            << 5;
    }

    // convert refuses a file whose data would not arrive as it stood,
    // listing why; --force writes it all the same, saying the same; check
    // finds the same. Nothing is dropped, replaced or filled in silently.
    void hostileFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(int, lines);
        const QString in = tmp_.filePath(QStringLiteral("hostil.txt"));
        const QString out = tmp_.filePath(QStringLiteral("salida-hostil.txt"));
        QFile::remove(out);
        QVERIFY(writeAll(in, bytes));
        const QString es = QStringLiteral("es_CL.UTF-8");
        const QStringList args{QStringLiteral("convert"),
                               QStringLiteral("--from"),
                               from,
                               QStringLiteral("--to"),
                               to,
                               in,
                               out};

        const Run refused = run(args, es);
        QCOMPARE(refused.status, status);
        QVERIFY2(refused.err.contains(said), qPrintable(refused.err));
        QCOMPARE(QFile::exists(out), status == 0);
        if (status != 0 && lines >= 0) QVERIFY(refused.err.contains(QLatin1String("--force")));

        // (-1: a file that does not load at all.)
        const Run forced = run(QStringList(args) << QStringLiteral("--force"), es);
        QCOMPARE(forced.status, lines < 0 ? 1 : 0);
        QVERIFY2(forced.err.contains(said), qPrintable(forced.err));
        QCOMPARE(readAll(out).count("\r\n"), std::max(lines, 0));
        // What --force writes is what loading the file and writing it gives.
        if (lines >= 0) {
            numtext::setDecimalSeparator(',');
            RxMem table;
            loadDeclaration(
                in, from == QLatin1String("position") ? FileForm::Position : FileForm::Separator,
                table);
            const QString expected = tmp_.filePath(QStringLiteral("esperado.txt"));
            writeDeclaration(
                expected,
                to == QLatin1String("position") ? FileForm::Position : FileForm::Separator, table);
            QCOMPARE(readAll(out), readAll(expected));
        }

        // The form-breaking values are checked in the checks' own words.
        if (to == from || !said.contains(QLatin1String("columnas y no"))) {
            const Run checked =
                run({QStringLiteral("check"), QStringLiteral("--from"), from, in}, es);
            QCOMPARE(checked.status, status);
            if (!said.contains(QStringLiteral("se leería")))
                QVERIFY2((checked.out + checked.err).contains(said), qPrintable(checked.out));
        }
    }

    // Beyond 20 notes a count stands for the rest.
    void manyNotesCounted() {
        QList<QByteArray> lines = baseLines(FileForm::Separator);
        for (int i = 0; i < 30; ++i)
            lines << lines[0];
        for (QByteArray& l : lines)
            l += ";SOBRA";
        const QString in = tmp_.filePath(QStringLiteral("muchas-sobras.csv"));
        QVERIFY(writeAll(in, lines.join("\r\n")));
        const Run r = run({QStringLiteral("convert"), QStringLiteral("--from"),
                           QStringLiteral("separator"), QStringLiteral("--to"),
                           QStringLiteral("position"), in, tmp_.filePath(QStringLiteral("x.txt"))},
                          QStringLiteral("es_CL.UTF-8"));
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.count(QLatin1String("106 campos")), 20);
        QVERIFY2(r.err.contains(QStringLiteral("… y 15 avisos más.")), qPrintable(r.err));
    }

    // A UTF-8 file read as UTF-8 is written in the code page, its fixed
    // columns counted in letters.
    void utf8Input() {
        QList<QByteArray> lines = baseLines(FileForm::Position);
        const int at = kFields[std::size_t(field("ape_pat"))].start - 1;
        QByteArray utf8 = "\xEF\xBB\xBF";
        for (QByteArray& l : lines) {
            QString text = cp1252::decode({l.constData(), std::size_t(l.size())});
            text.replace(at, 30, QStringLiteral("MUÑOZ").leftJustified(30, u' '));
            utf8 += text.toUtf8() + "\r\n";
            l = cp(text) + "\r\n";
        }
        const QString in = tmp_.filePath(QStringLiteral("utf8.txt"));
        QVERIFY(writeAll(in, utf8));
        const QString out = tmp_.filePath(QStringLiteral("cp1252.txt"));
        QStringList args = convertArgs(in, out);
        const Run asCodePage = run(args, QStringLiteral("es_CL.UTF-8"));
        QCOMPARE(asCodePage.status, 1);
        QVERIFY2(asCodePage.err.contains(QStringLiteral("UTF-8")), qPrintable(asCodePage.err));
        const Run r = run(args << QStringLiteral("--utf8"), QStringLiteral("es_CL.UTF-8"));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QCOMPARE(readAll(out), lines.join());
    }

#ifdef Q_OS_UNIX
    void outputIsTheInput_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reach"); // how the output names the input
        for (const char* command : {"convert", "export"})
            for (const char* reach : {"same name", "symbolic link", "hard link", "other spelling"})
                QTest::addRow("%s, %s", command, reach)
                    << QString::fromLatin1(command) << QString::fromLatin1(reach);
    }

    // Writing over the file being read would destroy it, whatever name
    // reaches it: refused before anything is written.
    void outputIsTheInput() {
        QFETCH(QString, command);
        QFETCH(QString, reach);
        QTemporaryDir folder;
        const QString in = folder.filePath(QStringLiteral("entrada.txt"));
        const QByteArray original = readAll(dataFile("dos-lineas-coma.txt"));
        QVERIFY(writeAll(in, original));
        QString out = in;
        if (reach == QLatin1String("symbolic link")) {
            out = folder.filePath(QStringLiteral("enlace.txt"));
            QVERIFY(QFile::link(in, out));
        } else if (reach == QLatin1String("hard link")) {
            out = folder.filePath(QStringLiteral("otro-nombre.txt"));
            QCOMPARE(::link(QFile::encodeName(in).constData(), QFile::encodeName(out).constData()),
                     0);
        } else if (reach == QLatin1String("other spelling")) {
            out = folder.path() + QStringLiteral("/./sub/../entrada.txt");
            QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub")));
        }
        const Run r = run(commandArgs(command, in, out));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("es el mismo archivo que se está leyendo")),
                 qPrintable(r.err));
        QCOMPARE(readAll(in), original);
        QVERIFY(QFileInfo(in).isFile() && !QFileInfo(in).isSymLink());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 out == in || reach == QLatin1String("other spelling") ? 1 : 2);
    }

    void readOnlyTargetRefused_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("convert") << QStringLiteral("convert");
        QTest::newRow("export") << QStringLiteral("export");
    }

    // A read-only file is not replaced, even for root, whom the system lets
    // write anything: it keeps its bytes and its mode.
    void readOnlyTargetRefused() {
        QFETCH(QString, command);
        QTemporaryDir folder;
        const QString out = folder.filePath(QStringLiteral("protegido.xlsx"));
        QVERIFY(writeAll(out, "no tocar"));
        QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const Run r = run(commandArgs(command, dataFile("dos-lineas-coma.txt"), out));
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QStringLiteral("No se pudo crear %1 «%2»: el archivo es de solo lectura.\n")
                            .arg(command == QLatin1String("export") ? QStringLiteral("la planilla")
                                                                    : QStringLiteral("el archivo"),
                                 out));
        QCOMPARE(readAll(out), QByteArray("no tocar"));
        QCOMPARE(statOf(out).st_mode & 07777, mode_t(0444));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void replacedFileKeepsItsAttributes_data() {
        readOnlyTargetRefused_data();
    }

    // The new file takes the place of the old one with the old one's mode,
    // and, where the user may give files away (root), its owner and group.
    void replacedFileKeepsItsAttributes() {
        QFETCH(QString, command);
        QTemporaryDir folder;
        const QString out = folder.filePath(QStringLiteral("compartido"));
        QVERIFY(writeAll(out, "anterior"));
        const QByteArray name = QFile::encodeName(out);
        QCOMPARE(::chmod(name.constData(), 0660), 0);
        const bool root = ::geteuid() == 0;
        if (root) QCOMPARE(::chown(name.constData(), 4321, 8765), 0);
        const struct stat before = statOf(out);
        const Run r = run(commandArgs(command, dataFile("dos-lineas-coma.txt"), out),
                          QStringLiteral("es_CL.UTF-8"));
        QVERIFY2(r.status == 0 && r.err.isEmpty(), qPrintable(r.err));
        const struct stat after = statOf(out);
        QVERIFY(after.st_ino != before.st_ino || readAll(out) != "anterior");
        QCOMPARE(after.st_mode & 07777, mode_t(0660));
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        if (!root) qInfo("not root: owner and group stay the user's own, as tested");
    }

    void outputsThatLeadNowhere_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("link"); // the target of the output link; empty: no name
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        for (const char* command : {"convert", "export"}) {
            const QString c = QString::fromLatin1(command);
            QTest::addRow("%s, link into a missing folder", command)
                << c << QStringLiteral("/no-hay-carpeta/destino") << 1
                << QStringLiteral(
                       "es un enlace a «/no-hay-carpeta/destino», cuya carpeta no existe.");
            QTest::addRow("%s, link loop", command)
                << c << QStringLiteral("salida") << 1
                << QStringLiteral("es un enlace que no lleva a ningún archivo (forma un ciclo).");
            QTest::addRow("%s, empty name", command)
                << c << QString() << 2 << QStringLiteral("falta el nombre del archivo de salida.");
        }
    }

    // An output name that cannot lead to a file says why in words, not as a
    // vague failure; an empty name is a usage mistake.
    void outputsThatLeadNowhere() {
        QFETCH(QString, command);
        QFETCH(QString, link);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir folder;
        QString out;
        if (!link.isEmpty()) {
            out = folder.filePath(QStringLiteral("salida"));
            QCOMPARE(
                ::symlink(QFile::encodeName(link).constData(), QFile::encodeName(out).constData()),
                0);
        }
        const Run r = run(commandArgs(command, dataFile("dos-lineas-coma.txt"), out));
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY2(!r.err.contains(QLatin1String("QSaveFile")) &&
                     !r.err.contains(QLatin1String("QFile")),
                 qPrintable(r.err));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                 link.isEmpty() ? 0 : 1);
    }

    void exportOnAFullDisk_data() {
        QTest::addColumn<qint64>("limit");
        // The worksheet's part is cut short while the packed file still fits.
        QTest::newRow("worksheet cut short") << qint64(256 * 1024);
        // The packed file itself cannot be written.
        QTest::newRow("workbook cut short") << qint64(4096);
    }

    // Files that stop growing (a disk that fills up) never give a workbook
    // that looks made: the export fails in Spanish, with none of the
    // library's own messages, and leaves nothing behind.
    void exportOnAFullDisk() {
        QFETCH(qint64, limit);
        QTemporaryDir folder;
        RxMem table;
        generateDeclaration(table, 3000, 5);
        const QString in = folder.filePath(QStringLiteral("muchas.txt"));
        writeDeclaration(in, FileForm::Position, table);
        const QString out = folder.filePath(QStringLiteral("llena.xlsx"));
        const Run r = run(exportArgs(in, out), QStringLiteral("C.UTF-8"), 0, limit);
        QCOMPARE(r.status, 1);
        QVERIFY2(
            r.err.startsWith(QStringLiteral("No se pudo escribir la planilla «%1»: ").arg(out)),
            qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("disco esté lleno")), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY2(!r.err.contains(QLatin1String("ERROR")) && !r.err.contains(QLatin1String("Zip")),
                 qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("muchas.txt")});
    }
#endif

    void failuresExitWithOne() {
        const QString missing = tmp_.filePath(QStringLiteral("no-hay.txt"));
        const QString out = tmp_.filePath(QStringLiteral("no-creado.txt"));
        Run r =
            run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("position"),
                 QStringLiteral("--to"), QStringLiteral("separator"), missing, out});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains(missing));
        QVERIFY(r.err.contains(QStringLiteral("no existe")));
        QVERIFY(!QFile::exists(out));

        const QString bad = tmp_.filePath(QStringLiteral("mala.txt"));
        QVERIFY(writeAll(bad, readAll(dataFile("dos-lineas-coma.txt")) + "\r\n" +
                                  readAll(dataFile("dos-lineas-coma.txt"))));
        r = run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("position"),
                 QStringLiteral("--to"), QStringLiteral("separator"), bad, out});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Línea 3")), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
