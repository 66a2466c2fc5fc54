#include "CommandLine.h"

#include "files/DeclarationFile.h"
#include "files/LineChecks.h"
#include "files/OutputTarget.h"
#include "files/SpreadsheetExport.h"
#include "model/RxMem.h"
#include "util/Errors.h"

#include <optional>
#include <set>

using namespace solvanta;

namespace {

const char* const kUsage =
    "Uso:\n"
    "  solvanta-editor [ARCHIVO]\n"
    "      Abre el editor; con ARCHIVO, lo carga de inmediato en el formato que\n"
    "      muestran sus primeras líneas (si no se reconoce, pregunta cuál es).\n"
    "  solvanta-editor convert --from position|separator --to position|separator ENTRADA SALIDA\n"
    "      Carga ENTRADA en el formato indicado por --from y escribe SALIDA en el\n"
    "      formato indicado por --to, igual que el editor. position = 105 campos por\n"
    "      posición; separator = 105 campos por separador (;).\n"
    "  solvanta-editor export --from position|separator ENTRADA SALIDA.xlsx\n"
    "      Carga ENTRADA y escribe todas sus líneas en la planilla SALIDA.xlsx, igual\n"
    "      que el botón «Excel» del editor: la fila 1 con los títulos de los 105\n"
    "      campos y una fila por línea (más de 1.048.575 líneas siguen en otra hoja).\n"
    "  solvanta-editor check --from position|separator ARCHIVO\n"
    "      Revisa cada línea de ARCHIVO y muestra lo que Solvanta rechazaría: RUT y\n"
    "      dígito verificador, códigos que no están en las tablas, períodos y fechas\n"
    "      imposibles, valores que romperían el formato. Estado de salida 0 si no\n"
    "      hay problemas, 1 si los hay o si el archivo no se pudo leer.\n"
    "  solvanta-editor --help\n"
    "      Muestra esta ayuda.\n"
    "  solvanta-editor --version\n"
    "      Muestra la versión.\n"
    "\n"
    "Los números se escriben con el separador decimal de la configuración regional\n"
    "(LC_ALL, LC_NUMERIC, LANG). Estado de salida: 0 si todo salió bien, 1 si falló\n"
    "la carga o la escritura, 2 si los argumentos no son válidos.\n";

const char* const kNoMemory = "No hay memoria suficiente para completar la operación.\n";

ExitCode usageError(QTextStream& err, const QString& why) {
    err << "solvanta-editor: " << why << "\n\n" << kUsage;
    err.flush();
    return ExitCode::Usage;
}

bool parseForm(const QString& text, FileForm& form) {
    if (text == QLatin1String("position")) {
        form = FileForm::Position;
        return true;
    }
    if (text == QLatin1String("separator")) {
        form = FileForm::Separator;
        return true;
    }
    return false;
}

// The options and files of convert and export: --from always, --to when
// `withTo`, and two files.
struct Request {
    FileForm from{}, to{};
    QStringList files;
};

std::optional<ExitCode> parseRequest(const QStringList& args, bool withTo, Request& r,
                                     QTextStream& err, qsizetype files = 2) {
    bool haveFrom = false, haveTo = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--from") || (withTo && a == QLatin1String("--to"))) {
            if (i + 1 >= args.size())
                return usageError(err, QStringLiteral("falta el formato después de %1.").arg(a));
            FileForm& target = a == QLatin1String("--from") ? r.from : r.to;
            if (!parseForm(args[++i], target))
                return usageError(
                    err, QStringLiteral("formato desconocido «%1»: use position o separator.")
                             .arg(excerpt(args[i])));
            (a == QLatin1String("--from") ? haveFrom : haveTo) = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(err, QStringLiteral("opción desconocida «%1».").arg(excerpt(a)));
        } else {
            r.files << a;
        }
    }
    if (!haveFrom || (withTo && !haveTo))
        return usageError(err, withTo ? QStringLiteral("indique --from y --to.")
                                      : QStringLiteral("indique --from."));
    if (r.files.size() != files)
        return usageError(
            err, files == 1 ? QStringLiteral("indique un archivo.")
                            : QStringLiteral("indique un archivo de entrada y uno de salida."));
    if (r.files.first().isEmpty())
        return usageError(err, files == 1
                                   ? QStringLiteral("falta el nombre del archivo.")
                                   : QStringLiteral("falta el nombre del archivo de entrada."));
    if (files == 2 && r.files[1].isEmpty())
        return usageError(err, QStringLiteral("falta el nombre del archivo de salida."));
    return std::nullopt;
}

// A warning when the file's first lines show the other form; the command
// goes on as told.
void warnAboutForm(const QString& path, FileForm form, QTextStream& err) {
    const auto seen = guessForm(path);
    if (!seen || *seen == form) return;
    err << QStringLiteral("Aviso: «%1» parece estar %2; se lee como se indicó.\n")
               .arg(path, *seen == FileForm::Position
                              ? QStringLiteral("por posición (--from position)")
                              : QStringLiteral("por separador (--from separator)"));
    err.flush();
}

// Runs the work; an engine error goes to standard error as a failure.
template <typename F> ExitCode run(QTextStream& err, F&& work) {
    try {
        std::forward<F>(work)();
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return ExitCode::Failed;
    } catch (const std::bad_alloc&) {
        err << kNoMemory;
        err.flush();
        return ExitCode::Failed;
    }
    return ExitCode::Ok;
}

ExitCode convert(const QStringList& args, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, true, r, err)) return *bad;
    warnAboutForm(r.files[0], r.from, err);
    return run(err, [&] { convertDeclaration(r.files[0], r.from, r.files[1], r.to); });
}

ExitCode exportSheet(const QStringList& args, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, false, r, err)) return *bad;
    warnAboutForm(r.files[0], r.from, err);
    return run(err, [&] {
        // Refused before the file is read: the workbook would take its place.
        const OutputTarget target(r.files[1], OutputKind::Workbook, r.files[0]);
        RxMem table;
        loadDeclaration(r.files[0], r.from, table);
        const WorkbookSummary s = exportWorkbook(r.files[1], table);
        if (s.sheets > 1)
            err << QStringLiteral("%1 líneas repartidas en %2 hojas.\n").arg(s.lines).arg(s.sheets);
    });
}

// One line per problem on standard output, then how many; 1 when there is
// any.
ExitCode check(const QStringList& args, QTextStream& out, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, false, r, err, 1)) return *bad;
    warnAboutForm(r.files[0], r.from, err);
    std::vector<LineProblem> problems;
    const ExitCode read = run(err, [&] {
        RxMem table;
        loadDeclaration(r.files[0], r.from, table);
        problems = LineChecker().checkAll(table);
    });
    if (read != ExitCode::Ok) return read;
    std::set<int> lines;
    for (const LineProblem& p : problems) {
        out << LineChecker::describe(p) << '\n';
        lines.insert(p.line);
    }
    if (problems.empty())
        out << "Sin problemas.\n";
    else
        out << QStringLiteral("%1 %2 en %3 %4.\n")
                   .arg(problems.size())
                   .arg(problems.size() == 1 ? QStringLiteral("problema")
                                             : QStringLiteral("problemas"))
                   .arg(lines.size())
                   .arg(lines.size() == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"));
    out.flush();
    return problems.empty() ? ExitCode::Ok : ExitCode::Failed;
}

ExitCode dispatch(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty()) return usageError(err, QStringLiteral("falta la orden."));
    const QString& cmd = args.first();
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h")) {
        if (args.size() != 1) return usageError(err, QStringLiteral("--help no lleva argumentos."));
        out << kUsage;
        out.flush();
        return ExitCode::Ok;
    }
    if (cmd == QLatin1String("--version")) {
        if (args.size() != 1)
            return usageError(err, QStringLiteral("--version no lleva argumentos."));
        out << "solvanta-editor " << SOLVANTA_VERSION << '\n';
        out.flush();
        return ExitCode::Ok;
    }
    if (cmd == QLatin1String("convert")) return convert(args.mid(1), err);
    if (cmd == QLatin1String("export")) return exportSheet(args.mid(1), err);
    if (cmd == QLatin1String("check")) return check(args.mid(1), out, err);
    return usageError(err, QStringLiteral("orden desconocida «%1».").arg(excerpt(cmd)));
}

} // namespace

// Memory can run out outside the work itself too (the form's warning, the
// list of problems): that ends in the same message, never in an abort.
ExitCode runCommandLine(const QStringList& args, QTextStream& out, QTextStream& err) {
    try {
        return dispatch(args, out, err);
    } catch (const std::bad_alloc&) {
        err << kNoMemory;
        err.flush();
        return ExitCode::Failed;
    }
}
