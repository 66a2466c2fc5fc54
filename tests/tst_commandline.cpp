// The command line of the editor, run as users run it.

#include "Generator.h"
#include "TestUtil.h"
#include "files/DeclarationFile.h"
#include "model/RxMem.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
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
               qint64 memoryLimit);

// The address space the editor may take, 0 for no limit.
Run run(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8"),
        qint64 memoryLimit = 0) {
    return runProgram(QStringLiteral(SOLVANTA_EDITOR_EXE), args, locale, memoryLimit);
}

// The program runs from its own folder, beside its own code-table file, and
// with a configuration folder of its own, where no user's copy is.
Run runProgram(const QString& program, const QStringList& args, const QString& locale,
               qint64 memoryLimit) {
    QProcess p;
#ifdef Q_OS_UNIX
    if (memoryLimit > 0)
        p.setChildProcessModifier([memoryLimit] {
            const rlimit limit{rlim_t(memoryLimit), rlim_t(memoryLimit)};
            setrlimit(RLIMIT_AS, &limit);
        });
#endif
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LC_NUMERIC"));
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"),
               QFileInfo(program).absolutePath() + QStringLiteral("/config"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {-1, {}, {}};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

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
                            QStringLiteral("position"), dataFile("dos-lineas-coma.txt"), out});
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
        QVERIFY(help.out.contains(
            QLatin1String("export --from position|separator ENTRADA SALIDA.xlsx")));
        QVERIFY(help.err.isEmpty());
    }

    void wrongUsage_data() {
        QTest::addColumn<QStringList>("args");
        const QString in = dataFile("dos-lineas-coma.txt");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("convertir")};
        QTest::newRow("unknown form") << QStringList{
            QStringLiteral("convert"), QStringLiteral("--from"),   QStringLiteral("csv"),
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
    }

    void wrongUsage() {
        QFETCH(QStringList, args);
        const Run r = run(args);
        QCOMPARE(r.status, 2);
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
                              << QStringLiteral("formato desconocido «%1»: use position o "
                                                "separator.")
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
        QTest::newRow("check") << QStringLiteral("check") << QString();
    }

    // Under a limit the program starts and handles a small file with, a
    // file whose lines need more memory than the limit ends in a message and
    // exit 1, never in an abort. (Lines of seven short fields take about 9
    // bytes in the file and a full record in memory.) The commands that hold
    // every line are tried; convert holds only a few hundred at a time.
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
#endif
    }

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
        QVERIFY(writeAll(bad, readAll(dataFile("dos-lineas-coma.txt")) + "\r\n"));
        r = run({QStringLiteral("convert"), QStringLiteral("--from"), QStringLiteral("position"),
                 QStringLiteral("--to"), QStringLiteral("separator"), bad, out});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains(QStringLiteral("Línea 3")));
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
