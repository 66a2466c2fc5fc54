// Reading a generated .csv file, as a spreadsheet saves a payroll listing.
//
//   solvanta-bench-csv [--lines N] [--columns C] [--runs R]
//
// Writes N lines (100000 by default) of C fields (105 by default), once in
// UTF-8 with ";" and once in Windows-1252 with "," and quoted fields, then
// reads every row of each, best of R runs (3 by default), and prints the time
// (of decoded cells, and of the bytes an import reads),
// the speed and the process's peak memory (maximum resident set size) after
// all the reading. Figures go to standard output.

#include "engine/files/SheetRows.h"
#include "engine/util/CodePage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace solvanta;

namespace {

// Fields of the kinds a payroll listing has: RUTs, names with accents,
// amounts, dates, codes and empty cells.
// Lines first .. first + count - 1.
QByteArray generate(int first, int count, int columns, bool utf8) {
    QByteArray out;
    const char sep = utf8 ? ';' : ',';
    out.reserve(qsizetype(count) * columns * 9);
    for (int l = first; l < first + count; ++l) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0) out += sep;
            switch ((l + c) % 7) {
            case 0:
                out += QByteArray::number(10000000 + l) + "-" + QByteArray::number(l % 10);
                break;
            case 1:
                out += utf8 ? QStringLiteral("MUÑOZ").toUtf8()
                            : QByteArray(cp1252::encode(QStringLiteral("MUÑOZ")).c_str());
                break;
            case 2:
                out += QByteArray::number((l * 7919 + c) % 3000000);
                break;
            case 3:
                out += "01/03/2024";
                break;
            case 4:
                out += utf8 ? QByteArray("1.234") : QByteArray("\"1.234,5\"");
                break;
            case 5:
                break;
            default:
                out += QByteArray::number(c);
            }
        }
        out += "\r\n";
    }
    return out;
}

// Every row as cells (decoded), or as the file's bytes, the way an import
// reads it.
double readAll(const QString& path, qint64& cells, bool bytes) {
    QElapsedTimer t;
    t.start();
    const auto rows = openCsv(path);
    cells = 0;
    if (bytes) {
        std::vector<std::string_view> row;
        while (rows->nextBytes(row))
            cells += qint64(row.size());
    } else {
        std::vector<SheetCell> row;
        while (rows->next(row))
            cells += qint64(row.size());
    }
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int lines = 100000, columns = 105, runs = 3;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--lines")) lines = args[i + 1].toInt();
        if (args[i] == QLatin1String("--columns")) columns = args[i + 1].toInt();
        if (args[i] == QLatin1String("--runs")) runs = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    for (const bool utf8 : {true, false}) {
        const QString path =
            dir.filePath(utf8 ? QStringLiteral("utf8.csv") : QStringLiteral("cp1252.csv"));
        {
            // Written a thousand lines at a time, so that the peak memory
            // printed at the end is the reading's.
            QFile f(path);
            bool ok = f.open(QIODevice::WriteOnly);
            for (int done = 0; ok && done < lines; done += 1000) {
                const QByteArray bytes =
                    generate(done, std::min(1000, lines - done), columns, utf8);
                ok = f.write(bytes) == bytes.size();
            }
            if (!ok) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
        const double mib = QFileInfo(path).size() / 1048576.0;
        double best = 1e9, bestBytes = 1e9;
        qint64 cells = 0;
        for (int r = 0; r < runs; ++r) {
            best = std::min(best, readAll(path, cells, false));
            bestBytes = std::min(bestBytes, readAll(path, cells, true));
        }
        std::printf("%s: %d lines x %d columns, %.1f MiB, %lld cells: best of %d %.3f s "
                    "(%.0f MiB/s); as bytes %.3f s (%.0f MiB/s)\n",
                    utf8 ? "UTF-8 ';'" : "Windows-1252 ','", lines, columns, mib,
                    static_cast<long long>(cells), runs, best, mib / best, bestBytes,
                    mib / bestBytes);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (maximum resident set size): %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
