#include "CommandLine.h"

#include "files/DeclarationFile.h"
#include "model/RxMem.h"
#include "util/Errors.h"

using namespace solvanta;

namespace {

const char* const kUsage =
    "Uso:\n"
    "  solvanta-editor\n"
    "      Abre el editor.\n"
    "  solvanta-editor convert --from position|separator --to position|separator ENTRADA SALIDA\n"
    "      Carga ENTRADA en el formato indicado por --from y escribe SALIDA en el\n"
    "      formato indicado por --to, igual que el editor. position = 105 campos por\n"
    "      posición; separator = 105 campos por separador (;).\n"
    "  solvanta-editor --help\n"
    "      Muestra esta ayuda.\n"
    "  solvanta-editor --version\n"
    "      Muestra la versión.\n"
    "\n"
    "Los números se escriben con el separador decimal de la configuración regional\n"
    "(LC_ALL, LC_NUMERIC, LANG). Estado de salida: 0 si todo salió bien, 1 si falló\n"
    "la carga o la escritura, 2 si los argumentos no son válidos.\n";

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

ExitCode convert(const QStringList& args, QTextStream& err) {
    FileForm from{}, to{};
    bool haveFrom = false, haveTo = false;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--from") || a == QLatin1String("--to")) {
            if (i + 1 >= args.size()) return usageError(err, QStringLiteral("falta el formato después de %1.").arg(a));
            FileForm& target = a == QLatin1String("--from") ? from : to;
            if (!parseForm(args[++i], target))
                return usageError(err, QStringLiteral("formato desconocido «%1»: use position o separator.").arg(args[i]));
            (a == QLatin1String("--from") ? haveFrom : haveTo) = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(err, QStringLiteral("opción desconocida «%1».").arg(a));
        } else {
            files << a;
        }
    }
    if (!haveFrom || !haveTo) return usageError(err, QStringLiteral("indique --from y --to."));
    if (files.size() != 2) return usageError(err, QStringLiteral("indique un archivo de entrada y uno de salida."));

    try {
        RxMem table;
        loadDeclaration(files[0], from, table);
        writeDeclaration(files[1], to, table);
    } catch (const Error& e) {
        err << e.message() << '\n';
        err.flush();
        return ExitCode::Failed;
    }
    return ExitCode::Ok;
}

} // namespace

ExitCode runCommandLine(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty()) return usageError(err, QStringLiteral("falta la orden."));
    const QString& cmd = args.first();
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h")) {
        if (args.size() != 1) return usageError(err, QStringLiteral("--help no lleva argumentos."));
        out << kUsage;
        out.flush();
        return ExitCode::Ok;
    }
    if (cmd == QLatin1String("--version")) {
        if (args.size() != 1) return usageError(err, QStringLiteral("--version no lleva argumentos."));
        out << "solvanta-editor " << SOLVANTA_VERSION << '\n';
        out.flush();
        return ExitCode::Ok;
    }
    if (cmd == QLatin1String("convert")) return convert(args.mid(1), err);
    return usageError(err, QStringLiteral("orden desconocida «%1».").arg(cmd));
}
