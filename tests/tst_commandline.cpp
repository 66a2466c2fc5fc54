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

// The address space the editor may take, and the size any file it writes
// may grow to (as on a disk that fills up), 0 for no limit.
Run run(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8"),
        qint64 memoryLimit = 0, qint64 fileSizeLimit = 0) {
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
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(SOLVANTA_EDITOR_EXE), args);
    if (!p.waitForFinished(60000)) return {-1, {}, {}};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
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
        const Run r = run(commandArgs(command, dataFile("dos-lineas-coma.txt"), out));
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
