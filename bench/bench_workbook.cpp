// Reading back a workbook the export wrote: the rows of its first sheet.
//
//   solvanta-bench-workbook [--lines N] [--runs R] [--dir FOLDER] [--file PATH]
//
// Generates N lines (100000 by default), exports them to an .xlsx workbook
// (105 columns, the titles and one row per line), then reads every row of it
// R times (3 by default) and prints the best time, the sheet part's
// unpacked size, the cells read and the rise of the peak memory over the
// reading. With --file, an existing workbook there is read instead (any
// workbook, not only an export), and a missing one is exported there and
// kept. Figures go to standard output.

#include "Generator.h"
#include "engine/files/SheetRows.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/model/RxMem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace solvanta;

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int lines = 100000;
    int runs = 3;
    QString folder;
    QString file;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--lines")
            lines = args[i + 1].toInt();
        else if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--dir")
            folder = args[i + 1];
        else if (args[i] == u"--file")
            file = args[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", qPrintable(args[i]));
            return 2;
        }
    }
    QTemporaryDir scratch(folder.isEmpty() ? QDir::tempPath() + QStringLiteral("/wb-XXXXXX")
                                           : folder + QStringLiteral("/wb-XXXXXX"));
    const QString path = file.isEmpty() ? scratch.filePath(QStringLiteral("lineas.xlsx")) : file;
    if (!QFileInfo::exists(path)) {
        RxMem table;
        table.open();
        generateDeclaration(table, lines);
        QElapsedTimer t;
        t.start();
        exportWorkbook(path, table);
        std::printf("export of %d lines: %.2f s, %.1f MiB file\n", lines, t.nsecsElapsed() / 1e9,
                    QFileInfo(path).size() / 1048576.0);
    }
    const double before = peakMiB();
    double best = 1e9;
    qint64 cells = 0, rowsRead = 0, partBytes = 0;
    std::vector<SheetCell> row;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        auto rows = openWorkbook(path);
        cells = rowsRead = 0;
        while (rows->next(row)) {
            ++rowsRead;
            for (const SheetCell& c : row)
                cells += c.type != SheetCell::Type::Empty;
        }
        partBytes = rows->bytesRead();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    std::printf("read: best of %d %.2f s, %lld rows, %lld cells, sheet part %.1f MiB "
                "(%.0f MiB/s), peak memory +%.1f MiB\n",
                runs, best, (long long)rowsRead, (long long)cells, partBytes / 1048576.0,
                partBytes / 1048576.0 / best, peakMiB() - before);
    return 0;
}
