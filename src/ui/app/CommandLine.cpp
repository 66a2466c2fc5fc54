#include "CommandLine.h"

#include "engine/codes/CodeNames.h"
#include "engine/files/Compare.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/LineChecks.h"
#include "engine/files/OutputTarget.h"
#include "engine/files/SheetImport.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/files/Summary.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <optional>

using namespace solvanta;

namespace {

const char* const kUsage =
    "Uso:\n"
    "  solvanta-editor [ARCHIVO]\n"
    "      Abre el editor; con ARCHIVO, lo carga de inmediato en el formato que\n"
    "      muestran sus primeras líneas (si no se reconoce, pregunta cuál es).\n"
    "  solvanta-editor convert --from position|separator --to position|separator\n"
    "                          [--force] [--utf8] ENTRADA SALIDA\n"
    "      Carga ENTRADA en el formato indicado por --from y escribe SALIDA en el\n"
    "      formato indicado por --to, igual que el editor. position = 105 campos por\n"
    "      posición; separator = 105 campos por separador (;).\n"
    "  solvanta-editor export --from position|separator [--force] [--utf8] ENTRADA SALIDA.xlsx\n"
    "      Carga ENTRADA y escribe todas sus líneas en la planilla SALIDA.xlsx, igual\n"
    "      que el botón «Excel» del editor: la fila 1 con los títulos de los 105\n"
    "      campos y una fila por línea (más de 1.048.575 líneas siguen en otra hoja).\n"
    "  solvanta-editor convert --from xlsx|csv --to position|separator [--force]\n"
    "                          PLANILLA SALIDA\n"
    "      Lee la primera hoja de PLANILLA (.xlsx de Excel, LibreOffice Calc o del botón\n"
    "      «Excel»; o .csv separado por coma, punto y coma o tabulador) y escribe sus\n"
    "      filas como líneas de SALIDA. La fila 1 nombra los campos de cada columna\n"
    "      («[27] Impo. afp» o «impo_afp», en cualquier orden); sin títulos, la hoja\n"
    "      debe tener las 105 columnas en el orden de los campos. Cada celda se lee\n"
    "      como si se escribiera en el listado.\n"
    "  solvanta-editor check --from position|separator|xlsx|csv [--utf8] ARCHIVO\n"
    "      Revisa cada línea de ARCHIVO y muestra lo que Solvanta rechazaría: RUT y\n"
    "      dígito verificador, códigos que no están en las tablas, períodos y fechas\n"
    "      imposibles, valores que romperían el formato, y lo que no se pudo leer tal\n"
    "      como está. Estado de salida 0 si no hay problemas, 1 si los hay o si el\n"
    "      archivo no se pudo leer.\n"
    "  solvanta-editor summary --from position|separator|xlsx|csv [--csv] [--utf8] ARCHIVO\n"
    "      Muestra el resumen de ARCHIVO, como la ventana «Resumen»: líneas y\n"
    "      trabajadores, y los montos por institución (AFP, ahorro voluntario, salud,\n"
    "      cajas de compensación, mutuales, seguro de cesantía, ex cajas,\n"
    "      asignación familiar), con la cantidad de líneas de cada total. Las tasas\n"
    "      no se suman. Con --csv, en CSV separado por «;».\n"
    "  solvanta-editor compare --from position|separator|xlsx|csv [--csv] [--utf8]\n"
    "                          ANTERIOR NUEVO\n"
    "      Compara NUEVO con ANTERIOR (el del mes pasado): las líneas se reconocen por\n"
    "      el RUT y el tipo de línea, estén donde estén. Muestra las líneas nuevas, las\n"
    "      que ya no están y los montos que cambiaron (anterior, nuevo, diferencia y\n"
    "      porcentaje), la mayor diferencia primero, y los totales por institución\n"
    "      lado a lado. Estado de salida 0 si no hay diferencias, 1 si las hay.\n"
    "\n"
    "  summary y compare terminan con estado 1 si algún valor no se pudo leer tal\n"
    "  como está (sus totales no lo incluyen), y lo dicen.\n"
    "  convert y export no escriben nada (estado de salida 1) si algún dato no\n"
    "  llegaría tal como está en ENTRADA: un valor que no se pudo leer y se tomó\n"
    "  como 0, texto que sobra o campos que faltan en una línea, lo que sigue a un\n"
    "  Ctrl+Z, o un valor que el formato de SALIDA no puede llevar; de una planilla,\n"
    "  una celda que no se pudo leer o una columna que ningún campo toma. Muestran hasta\n"
    "  20 de ellos. Con --force escriben de todos modos, como el editor después de\n"
    "  preguntar, y los muestran igual. --utf8 lee ENTRADA como UTF-8 y pasa sus\n"
    "  letras a Windows-1252, la codificación de los archivos de declaración.\n"
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

// A spreadsheet read as a declaration: --from xlsx or csv.
enum class Sheet { None, Xlsx, Csv };

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

// The options and files of convert, export and check: --from always, --to
// when `withTo`, --force when `withForce`, --utf8, and the files.
struct Request {
    FileForm from{}, to{};
    Sheet sheet = Sheet::None; // --from xlsx|csv
    bool force = false;
    FileEncoding encoding = FileEncoding::Windows1252;
    QStringList files;
};

std::optional<ExitCode> parseRequest(const QStringList& args, bool withTo, Request& r,
                                     QTextStream& err, qsizetype files = 2, bool withForce = true,
                                     bool withSheet = false) {
    bool haveFrom = false, haveTo = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--from") || (withTo && a == QLatin1String("--to"))) {
            const bool from = a == QLatin1String("--from");
            if (from ? haveFrom : haveTo)
                return usageError(err, QStringLiteral("%1 se indicó dos veces.").arg(a));
            if (i + 1 >= args.size())
                return usageError(err, QStringLiteral("falta el formato después de %1.").arg(a));
            FileForm& target = from ? r.from : r.to;
            const QString& form = args[++i];
            if (from && withSheet &&
                (form == QLatin1String("xlsx") || form == QLatin1String("csv")))
                r.sheet = form == QLatin1String("xlsx") ? Sheet::Xlsx : Sheet::Csv;
            else if (!parseForm(form, target))
                return usageError(
                    err, from && withSheet
                             ? QStringLiteral("formato desconocido «%1»: use position, separator, "
                                              "xlsx o csv.")
                                   .arg(excerpt(form))
                             : QStringLiteral("formato desconocido «%1»: use position o separator.")
                                   .arg(excerpt(form)));
            (from ? haveFrom : haveTo) = true;
        } else if (withForce && a == QLatin1String("--force")) {
            r.force = true;
        } else if (a == QLatin1String("--utf8") && r.sheet == Sheet::None) {
            r.encoding = FileEncoding::Utf8;
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

// The notes of a load that went on (with --force, or notices only), on
// standard error.
void printNotes(const LoadReport& report, const QString& path, QTextStream& err) {
    if (report.noteCount == 0) return;
    if (report.losesData())
        err << QStringLiteral("Aviso: «%1» se escribió con --force, aunque sus datos no llegan "
                              "tal como estaban:\n")
                   .arg(path);
    err << describeNotes(report) << '\n';
    err.flush();
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

// The first sheet of a workbook or a .csv into the table. Columns no field
// takes lose their values: like any data that would not arrive, they stop
// the command unless `force`; fields no column holds, or a sheet taken in
// field order, are told on standard error.
LoadReport loadSheet(const Request& r, bool force, RxMem& table, QTextStream& err) {
    SheetImport sheet(r.sheet == Sheet::Xlsx ? openWorkbook(r.files[0]) : openCsv(r.files[0]));
    const SheetColumns& c = sheet.columns();
    if (!c.refusal.isEmpty())
        throw IoError(QStringLiteral("No se pudo leer «%1»: %2").arg(r.files[0], c.refusal));
    if (!c.unused.isEmpty() && !force)
        throw DataLossError(QStringLiteral("No se leyó «%1»: %2\nQuite esas columnas de la "
                                           "planilla, o léala de todos modos con --force.")
                                .arg(r.files[0], c.question()));
    if (const QString q = c.question(); !q.isEmpty()) {
        err << QStringLiteral("Aviso: ") << q << '\n';
        err.flush();
    }
    return sheet.load(table);
}

ExitCode convertSheet(const Request& r, QTextStream& err) {
    return run(err, [&] {
        RxMem table;
        const LoadReport report = loadSheet(r, r.force, table, err);
        if (report.losesData() && !r.force)
            throw DataLossError(
                QStringLiteral("No se creó «%1»: los datos de «%2» no llegarían tal como están.\n"
                               "%3\nCorrija la planilla, o cree el archivo de todos modos con "
                               "--force.")
                    .arg(r.files[1], r.files[0], describeNotes(report)));
        writeDeclaration(r.files[1], r.to, table);
        printNotes(report, r.files[1], err);
    });
}

ExitCode convert(const QStringList& args, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, true, r, err, 2, true, true)) return *bad;
    if (r.sheet != Sheet::None) return convertSheet(r, err);
    warnAboutForm(r.files[0], r.from, err);
    return run(err, [&] {
        ConvertOptions options;
        options.encoding = r.encoding;
        options.force = r.force;
        printNotes(convertDeclaration(r.files[0], r.from, r.files[1], r.to, options), r.files[1],
                   err);
    });
}

ExitCode exportSheet(const QStringList& args, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, false, r, err)) return *bad;
    warnAboutForm(r.files[0], r.from, err);
    return run(err, [&] {
        // Refused before the file is read: the workbook would take its place.
        const OutputTarget target(r.files[1], OutputKind::Workbook, r.files[0]);
        RxMem table;
        LoadOptions options;
        options.encoding = r.encoding;
        options.keptNotes = 20;
        const LoadReport report = loadDeclaration(r.files[0], r.from, table, nullptr, options);
        if (report.losesData() && !r.force)
            throw DataLossError(
                QStringLiteral("No se creó la planilla «%1»: los datos de «%2» no llegarían tal "
                               "como están.\n%3\nCorrija el archivo de entrada, o cree la "
                               "planilla de todos modos con --force.")
                    .arg(r.files[1], r.files[0], describeNotes(report)));
        const WorkbookSummary s = exportWorkbook(r.files[1], table);
        printNotes(report, r.files[1], err);
        if (s.sheets > 1)
            err << QStringLiteral("%1 líneas repartidas en %2 hojas.\n").arg(s.lines).arg(s.sheets);
    });
}

// The code-table file the checks read their lists from: the user's copy is
// named when it is used; a table that cannot be used is an error, told
// before any problem. False when the codes could not all be checked.
bool reportCodeTable(const LineChecker& checker, QTextStream& err) {
    if (checker.codeTableIsUserCopy())
        err << QStringLiteral("Tabla de códigos: copia del usuario «%1».\n")
                   .arg(QDir::toNativeSeparators(checker.codeTablePath()));
    if (!checker.codeTableProblem().isEmpty())
        err << QStringLiteral("Error: %1 %2\n")
                   .arg(checker.codeTableProblem(),
                        checker.codesUnchecked()
                            ? QStringLiteral("No se revisaron los códigos.")
                            : QStringLiteral("No se revisaron los códigos de esas listas."));
    err.flush();
    return checker.codeTableProblem().isEmpty();
}

// One line per problem on standard output, line by line as the file is
// read, then how many; 1 when there is any. What the loader could not take
// as it stood is a problem too, in place of what the checks say of that
// field; notices go to standard error. 1 also when the code-table file could
// not be used.
ExitCode check(const QStringList& args, QTextStream& out, QTextStream& err) {
    Request r;
    if (const auto bad = parseRequest(args, false, r, err, 1, false, true)) return *bad;
    if (r.sheet == Sheet::None) warnAboutForm(r.files[0], r.from, err);
    qint64 problems = 0, lines = 0;
    bool codesChecked = true;
    LoadReport report;
    const ExitCode read = run(err, [&] {
        const LineChecker checker;
        codesChecked = reportCodeTable(checker, err);
        LoadOptions options;
        options.encoding = r.encoding;
        options.keptNotes = 0; // the lines' notes are printed as they come
        std::vector<LineProblem> found;
        const auto checkLine = [&](qint64 lineNo, const RecordView& record,
                                   const std::vector<LoadNote>& notes) {
            found.clear();
            checker.check(record, int(lineNo), found);
            for (const LoadNote& n : notes) {
                found.erase(
                    std::remove_if(found.begin(), found.end(),
                                   [&](const LineProblem& p) { return p.field == n.field; }),
                    found.end());
                found.push_back({int(lineNo), n.field, n.text, excerpt(record.text(n.field)),
                                 LineProblem::None});
            }
            if (found.empty()) return;
            std::stable_sort(
                found.begin(), found.end(),
                [](const LineProblem& a, const LineProblem& b) { return a.field < b.field; });
            for (const LineProblem& p : found)
                out << LineChecker::describe(p) << '\n';
            problems += qint64(found.size());
            ++lines;
        };
        if (r.sheet == Sheet::None) {
            readDeclaration(r.files[0], r.from, options, checkLine, report);
            return;
        }
        // A sheet is read whole first; each line's notes are on its cells.
        RxMem table;
        report = loadSheet(r, true, table, err);
        report.notes.erase(std::remove_if(report.notes.begin(), report.notes.end(),
                                          [](const LoadNote& n) { return n.line != 0; }),
                           report.notes.end());
        std::vector<LoadNote> notes;
        for (int row = 0; row < table.recordCount(); ++row) {
            notes.clear();
            for (const RxMem::CellNote& n : table.notesOf(table.bookmarkAt(row)))
                notes.push_back({row + 1, n.field, LoadNote::Replaced, n.problem});
            checkLine(row + 1, table.recordAt(row), notes);
        }
    });
    if (read != ExitCode::Ok) return read;
    // What concerns the file as a whole comes last.
    for (const LoadNote& n : report.notes) {
        if (n.kind == LoadNote::Notice) {
            err << LoadReport::describe(n) << '\n';
            continue;
        }
        out << LoadReport::describe(n) << '\n';
        ++problems;
    }
    if (problems == 0)
        out << (codesChecked ? QStringLiteral("Sin problemas.\n")
                             : QStringLiteral("Sin otros problemas.\n"));
    else
        out << QStringLiteral("%1 %2 en %3 %4.\n")
                   .arg(problems)
                   .arg(problems == 1 ? QStringLiteral("problema") : QStringLiteral("problemas"))
                   .arg(lines)
                   .arg(lines == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"));
    out.flush();
    err.flush();
    return problems == 0 && codesChecked ? ExitCode::Ok : ExitCode::Failed;
}

// One file whole into the table, in the form the request names; what could
// not be read as it stood goes to standard error. True when all of it was.
bool loadWhole(const Request& r, const QString& path, RxMem& table, QTextStream& err) {
    LoadReport report;
    if (r.sheet != Sheet::None) {
        Request one = r;
        one.files = QStringList{path};
        report = loadSheet(one, true, table, err);
    } else {
        warnAboutForm(path, r.from, err);
        LoadOptions options;
        options.encoding = r.encoding;
        options.keptNotes = 20;
        report = loadDeclaration(path, r.from, table, nullptr, options);
    }
    if (report.noteCount == 0) return true;
    if (report.losesData())
        err << QStringLiteral("Aviso: en «%1» hay valores que no se pudieron leer tal como están; "
                              "los totales no los incluyen:\n")
                   .arg(path);
    err << describeNotes(report) << '\n';
    err.flush();
    return !report.losesData();
}

// --csv, taken out of the arguments.
bool takeCsv(QStringList& args) {
    return args.removeAll(QStringLiteral("--csv")) > 0;
}

ExitCode summary(QStringList args, QTextStream& out, QTextStream& err) {
    const bool csv = takeCsv(args);
    Request r;
    if (const auto bad = parseRequest(args, false, r, err, 1, false, true)) return *bad;
    bool whole = true;
    const ExitCode read = run(err, [&] {
        RxMem table;
        whole = loadWhole(r, r.files[0], table, err);
        const CodeNames names;
        if (!names.problem().isEmpty())
            err << QStringLiteral("Aviso: %1 Los códigos se muestran sin nombre.\n")
                       .arg(names.problem());
        const Summary s = summarize(table, names);
        out << (csv ? summaryCsv(s) : summaryText(s, QFileInfo(r.files[0]).fileName()));
        out.flush();
        err.flush();
    });
    if (read != ExitCode::Ok) return read;
    return whole ? ExitCode::Ok : ExitCode::Failed;
}

ExitCode compare(QStringList args, QTextStream& out, QTextStream& err) {
    const bool csv = takeCsv(args);
    Request r;
    if (const auto bad = parseRequest(args, false, r, err, 2, false, true)) return *bad;
    bool whole = true, same = true;
    const ExitCode read = run(err, [&] {
        RxMem before, after;
        whole = loadWhole(r, r.files[0], before, err);
        whole = loadWhole(r, r.files[1], after, err) && whole;
        const CodeNames names;
        const Comparison c = compareTables(before, after, names);
        same = c.lines.empty();
        out << (csv ? comparisonCsv(c, before, after)
                    : comparisonText(c, before, after, QFileInfo(r.files[0]).fileName(),
                                     QFileInfo(r.files[1]).fileName()));
        out.flush();
        err.flush();
    });
    if (read != ExitCode::Ok) return read;
    return whole && same ? ExitCode::Ok : ExitCode::Failed;
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
    if (cmd == QLatin1String("summary")) return summary(args.mid(1), out, err);
    if (cmd == QLatin1String("compare")) return compare(args.mid(1), out, err);
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
