// Reading, writing and converting generated declaration files.
//
//   solvanta-bench [--lines N] [--dir FOLDER] [--runs R] [--reference-xlsx PROGRAM]
//                  [--reference-convert PROGRAM] [--export no]
//   solvanta-bench --problems P [--lines N] [--runs R]
//
// Generates N lines (100000 by default) in both forms, then measures, best
// of R runs (3 by default): loading each form into the table and writing
// each form inside one process, and the command-line conversion in both
// directions and the spreadsheet export, each run as a separate process
// whose peak memory (maximum resident set size) the kernel reports. With
// --reference-xlsx (a built limit_xlsx), the export and that program writing
// the same cells from the separator form run in turn, and the ratio of their
// best times is reported. With --reference-convert (a built limit_convert),
// each conversion and that program doing the same conversion run in turn,
// R times, and the medians, the best times and their ratios are reported.
// "--export no" leaves the export out. With --problems, only the memory of
// the line checks is measured, on lines with P problems each (at most 38):
// R times in turn, a process loads the position file and checks every line
// into the listing's compact store, and another keeps every problem with its
// texts; each prints the rise of its peak memory over the load against the
// table's own. Figures go to standard output.

#include "Generator.h"
#include "engine/codes/CodeNames.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/files/Compare.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Document.h"
#include "engine/files/FindReplace.h"
#include "engine/files/Journal.h"
#include "engine/files/LineChecks.h"
#include "engine/files/LineView.h"
#include "engine/files/ProblemStore.h"
#include "engine/files/SheetImport.h"
#include "engine/files/Summary.h"
#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"
#include "engine/util/NumberText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace solvanta;

namespace {

double best(int runs, const std::function<void()>& work) {
    double min = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        min = std::min(min, t.nsecsElapsed() / 1e9);
    }
    return min;
}

struct ChildRun {
    double seconds = 0;
    double peakMiB = 0;
    int status = -1;
};

// Runs the editor's command line as its own process and reads its peak
// memory from the kernel's accounting of that one child. A quiet child's
// output goes nowhere (the reference programs count their lines).
ChildRun runChild(const std::vector<std::string>& args, bool quiet = false) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    ChildRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return run;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = t.nsecsElapsed() / 1e9;
    run.peakMiB = usage.ru_maxrss / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ChildRun bestChild(int runs, const std::vector<std::string>& args) {
    // The converting process prints nothing on success.
    ChildRun best;
    best.seconds = 1e9;
    for (int i = 0; i < runs; ++i) {
        const ChildRun r = runChild(args);
        if (r.seconds < best.seconds) best = r;
    }
    return best;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The editor's conversion and the reference program's, taken in turn so
// that both meet the same load of a shared machine.
struct SideBySide {
    std::vector<double> ours, reference;
    double oursPeakMiB = 0, referencePeakMiB = 0;
    int status = 0;
};

SideBySide sideBySide(int runs, const std::vector<std::string>& ours,
                      const std::vector<std::string>& reference) {
    SideBySide s;
    for (int i = 0; i < runs; ++i) {
        const ChildRun o = runChild(ours);
        const ChildRun r = runChild(reference, true);
        s.ours.push_back(o.seconds);
        s.reference.push_back(r.seconds);
        s.oursPeakMiB = std::max(s.oursPeakMiB, o.peakMiB);
        s.referencePeakMiB = std::max(s.referencePeakMiB, r.peakMiB);
        if (o.status != 0) s.status = o.status;
    }
    return s;
}

void printSideBySide(const char* what, const SideBySide& s, double fileMiB) {
    const double o = median(s.ours), r = median(s.reference);
    const double ob = *std::min_element(s.ours.begin(), s.ours.end());
    const double rb = *std::min_element(s.reference.begin(), s.reference.end());
    std::printf("  %s  editor %.3f s, reference %.3f s: %.2f x (median of %zu); best %.3f s "
                "and %.3f s: %.2f x\n",
                what, o, r, o / r, s.ours.size(), ob, rb, ob / rb);
    std::printf("      peak editor %.1f MiB = %.2f x position file, reference %.1f MiB (exit %d)\n",
                s.oursPeakMiB, s.oursPeakMiB / fileMiB, s.referencePeakMiB, s.status);
}

double mib(qint64 bytes) {
    return bytes / (1024.0 * 1024.0);
}

int generate(const QString& dir, int lines, int problems) {
    RxMem table;
    QElapsedTimer t;
    t.start();
    generateDeclaration(table, lines, 20261210);
    if (problems > 0) addProblems(table, problems);
    std::printf("generated %d lines in %.2f s\n", lines, t.nsecsElapsed() / 1e9);
    writeDeclaration(dir + QLatin1String("/posicion.txt"), FileForm::Position, table);
    writeDeclaration(dir + QLatin1String("/separador.csv"), FileForm::Separator, table);
    // Last month's file, as the comparison meets it: one line in a hundred
    // with another amount, one in two hundred not there yet, and as many
    // lines that are gone since.
    const int amount = RxMem::fieldByName(QStringLiteral("impo_afp"));
    for (int r = 0; r < table.recordCount(); r += 100) {
        table.moveTo(r);
        table.edit();
        table.setNumber(amount, table.asNumber(amount) + 1000);
        table.post();
    }
    std::vector<RxMem::Bookmark> later;
    for (int r = 50; r < table.recordCount(); r += 200)
        later.push_back(table.bookmarkAt(r));
    table.deleteRecords(later);
    RxMem gone;
    generateDeclaration(gone, int(later.size()), 20261111);
    for (int r = 0; r < gone.recordCount(); ++r) {
        table.append();
        for (int f = 0; f < kFieldCount; ++f)
            table.setTextOrClear(f, gone.textAt(r, f));
        table.post();
    }
    writeDeclaration(dir + QLatin1String("/anterior.txt"), FileForm::Position, table);
    return 0;
}

// Reading and writing inside this process, best of several runs.
int engine(const QString& dir, int runs) {
    const QString pos = dir + QLatin1String("/posicion.txt");
    const QString sep = dir + QLatin1String("/separador.csv");
    const QString out = dir + QLatin1String("/salida.tmp");
    RxMem table;
    std::printf("in one process, best of %d runs:\n", runs);
    std::printf("  load position        %.3f s\n",
                best(runs, [&] { loadDeclaration(pos, FileForm::Position, table); }));
    std::printf("  write separator      %.3f s\n",
                best(runs, [&] { writeDeclaration(out, FileForm::Separator, table); }));
    std::printf("  load separator       %.3f s\n",
                best(runs, [&] { loadDeclaration(sep, FileForm::Separator, table); }));
    std::printf("  write position       %.3f s\n",
                best(runs, [&] { writeDeclaration(out, FileForm::Position, table); }));
    // The same lines read back from a spreadsheet: a .csv of the separator
    // lines under the listing's titles, against loading the separator form.
    {
        const QString csv = dir + QLatin1String("/planilla-titulos.csv");
        QFile in(sep), titled(csv);
        QStringList titles;
        for (int f = 0; f < kFieldCount; ++f)
            titles << fieldTitle(f);
        if (in.open(QIODevice::ReadOnly) && titled.open(QIODevice::WriteOnly)) {
            titled.write(cp1252::encode(titles.join(u';')).c_str());
            titled.write("\r\n");
            while (!in.atEnd())
                titled.write(in.read(1 << 20));
        }
        titled.close();
        const double separator =
            best(runs, [&] { loadDeclaration(sep, FileForm::Separator, table); });
        const double fromCsv = best(runs, [&] { SheetImport(csv).load(table); });
        std::printf("  import a .csv        %.3f s = %.1f x loading the separator form\n", fromCsv,
                    fromCsv / separator);
        QFile::remove(csv);
    }
    QFile::remove(out);
    // The line checks, over every line and over one line, with the code
    // lists of the shipped code-table file.
    loadDeclaration(pos, FileForm::Position, table);
    const LineChecker checker{CodeTableFile(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"))};
    std::size_t found = 0;
    const double all = best(runs, [&] { found = checker.checkAll(table).size(); });
    std::printf("  check every line     %.3f s (%zu problems)\n", all, found);
    std::vector<LineProblem> one;
    const double thousand = best(runs, [&] {
        for (int r = 0; r < 1000; ++r) {
            one.clear();
            checker.check(table.recordAt(r * 97 % table.recordCount()), r + 1, one);
        }
    });
    std::printf("  check one line       %.4f ms\n", thousand);

    // Many cells given each its value in one step, as a replacement over a
    // column or a pasted block does, and the undo of that step: one text
    // column of every line, then a block of 10,000 rows by 5 number columns.
    const int lines = table.recordCount();
    const int name = RxMem::fieldByName(QStringLiteral("nombres"));
    int round = 0;
    std::vector<RxMem::CellValue> column;
    const double set = best(runs, [&] {
        column.clear();
        column.reserve(std::size_t(lines));
        const QString value = QStringLiteral("NOMBRE %1").arg(++round);
        for (int r = 0; r < lines; ++r)
            column.push_back({table.bookmarkAt(r), name, value});
        table.setCells(column);
    });
    const double undone = best(runs, [&] {
        table.undo();
        table.redo();
    });
    std::printf("  set a column         %.3f s (%d cells); its undo and redo %.3f s\n", set, lines,
                undone);
    std::vector<int> amounts;
    for (const char* f : {"impo_afp", "cot_obli_afp", "aporte_sis", "ahorro_afp", "sust_afp"})
        amounts.push_back(RxMem::fieldByName(QString::fromLatin1(f)));
    std::vector<RxMem::CellValue> block;
    const double pasted = best(runs, [&] {
        block.clear();
        ++round;
        for (int r = 0; r < std::min(lines, 10000); ++r)
            for (const int f : amounts)
                block.push_back({table.bookmarkAt(r), f, QString::number(1000 + r + round)});
        table.setCells(block);
    });
    std::printf("  set a block          %.3f s (%zu cells)\n", pasted, block.size());

    const int surname = RxMem::fieldByName(QStringLiteral("ape_pat"));
    // Find next over every cell of every line, for a text that is nowhere
    // (the longest search), and in one column.
    FindOptions nowhere;
    nowhere.text = QStringLiteral("ZZZZQ");
    const double everywhere = best(runs, [&] { findCell(table, nowhere, {0, 0}, false); });
    nowhere.field = surname;
    const double oneColumn = best(runs, [&] { findCell(table, nowhere, {0, surname}, false); });
    FindOptions digits;
    digits.text = QStringLiteral("987654321");
    const double numbers = best(runs, [&] { findCell(table, digits, {0, 0}, false); });
    std::printf("  find, every column   %.3f s; one column %.3f s; digits, every column %.3f s\n",
                everywhere, oneColumn, numbers);

    // The view a listing shows: filtered and sorted without touching the
    // table, back to every line.
    LineView view(table);
    const int afp = RxMem::fieldByName(QStringLiteral("nom_AFP"));
    const int amount = RxMem::fieldByName(QStringLiteral("impo_afp"));
    const int from = RxMem::fieldByName(QStringLiteral("remu_desde"));
    const std::string code(table.recordAt(0).textBytes(afp));
    const double filtered = best(runs, [&] {
        view.clear();
        view.filter([&](int row) { return table.recordAt(row).textBytes(afp) == code; });
    });
    std::printf("  filter by a value    %.3f s (%d of %d lines)\n", filtered, view.count(), lines);
    const double back = best(runs, [&] { view.clear(); });
    std::printf("  back to every line   %.6f s\n", back);
    for (const auto& [name, f] : {std::pair{"an amount", amount}, std::pair{"a surname", surname},
                                  std::pair{"a period", from}}) {
        const double sorted = best(runs, [&] {
            view.clear();
            view.sortBy(f, false);
        });
        std::printf("  sort by %-12s %.3f s\n", name, sorted);
    }
    std::printf("  the view holds       %zu bytes for %d lines\n", view.bytes(), lines);
    const double distinct = best(runs, [&] { view.distinctValues(afp); });
    std::printf("  distinct values      %.3f s (%zu values)\n", distinct,
                view.distinctValues(afp).size());

    // What the file will pay, by institution, and what changed from last
    // month's file.
    const CodeNames names(CodeTableFile(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg")));
    loadDeclaration(pos, FileForm::Position, table);
    Summary summary;
    const double summed = best(runs, [&] { summary = summarize(table, names); });
    std::printf("  summary              %.3f s (%zu groups)\n", summed, summary.groups.size());
    RxMem prior;
    loadDeclaration(dir + QLatin1String("/anterior.txt"), FileForm::Position, prior);
    Comparison comparison;
    const double compared = best(runs, [&] { comparison = compareTables(prior, table, names); });
    std::printf("  compare two tables   %.3f s (%zu lines differ); the tables take %.1f MiB "
                "each\n",
                compared, comparison.lines.size(), mib(qint64(table.storageBytes())));

    // The journal of changes: what it adds to a stored line and to a change
    // of every line, its size against the history's, and the recovery of a
    // thousand changes.
    {
        QTemporaryDir journals;
        const int surnameField = RxMem::fieldByName(QStringLiteral("ape_pat"));
        const int costField = RxMem::fieldByName(QStringLiteral("centro_costo"));
        const auto storeLines = [&](RxMem& t, int count) {
            QElapsedTimer timer;
            timer.start();
            for (int i = 0; i < count; ++i) {
                t.moveTo(i * 97 % t.recordCount());
                t.edit();
                t.setText(surnameField, QStringLiteral("APELLIDO %1").arg(i));
                t.post();
            }
            return timer.nsecsElapsed() / 1e6 / count;
        };
        RxMem plain;
        loadDeclaration(pos, FileForm::Position, plain);
        Document kept;
        kept.setJournalFolder(journals.path());
        kept.load(pos, FileForm::Position);
        storeLines(kept.table(), 10); // the journal begins
        const double without = storeLines(plain, 1000);
        const double with = storeLines(kept.table(), 1000);
        std::printf("  store a line         %.4f ms; with its journal %.4f ms\n", without, with);
        int round = 0;
        const double massWithout = best(
            runs, [&] { plain.assignAll(costField, QStringLiteral("SUCURSAL %1").arg(++round)); });
        const std::size_t historyBefore = kept.table().historyBytes();
        const qint64 journalBefore = QFileInfo(kept.journalPath()).size();
        const double massWith = best(runs, [&] {
            kept.table().assignAll(costField, QStringLiteral("SUCURSAL %1").arg(++round));
        });
        const double stepBytes = double(kept.table().historyBytes() - historyBefore) / runs;
        const double journalBytes =
            double(QFileInfo(kept.journalPath()).size() - journalBefore) / runs;
        std::printf("  change every line    %.3f s; with its journal %.3f s = %.2f x; journal "
                    "%.1f MiB = %.2f x the history's step\n",
                    massWithout, massWith, massWith / massWithout, journalBytes / 1048576,
                    journalBytes / stepBytes);
        // A thousand changes, the journal read back and replayed after a load.
        Document crashed;
        crashed.setJournalFolder(journals.path());
        crashed.load(pos, FileForm::Position);
        storeLines(crashed.table(), 1000);
        const QString copy = journals.filePath(QStringLiteral("choque.jrn"));
        QFile::copy(crashed.journalPath(), copy);
        const double recovery = best(runs, [&] {
            Document again;
            again.setJournalFolder(journals.path());
            again.load(pos, FileForm::Position);
            QElapsedTimer timer;
            timer.start();
            const QString use = journals.filePath(QStringLiteral("uso.jrn"));
            QFile::remove(use);
            QFile::copy(copy, use);
            again.recover(readJournal(use), use);
            std::printf("    (recovery of 1000 changes beyond the load: %.3f s)\n",
                        timer.nsecsElapsed() / 1e9);
        });
        std::printf("  load and recover 1000 changes %.3f s\n", recovery);
    }
    return 0;
}

// The process's peak resident memory so far (VmHWM), in KiB.
long peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// The memory of the table alone (the rise of the peak over the load), then
// what a check of every line adds to it, kept as the listing keeps it
// (`store`: compact findings) or as every problem with its texts (`texts`,
// what checkAll gives and the listing kept before).
int problemsMemory(const QString& dir, const QString& keep) {
    const QString pos = dir + QLatin1String("/posicion.txt");
    const LineChecker checker{CodeTableFile(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"))};
    RxMem table;
    const long start = peakKiB();
    loadDeclaration(pos, FileForm::Position, table);
    const long loaded = peakKiB();
    QElapsedTimer t;
    t.start();
    std::int64_t problems = 0;
    int lines = 0;
    std::size_t bytes = 0;
    ProblemStore store(table);
    std::vector<LineProblem> texts;
    if (keep == QLatin1String("texts")) {
        texts = checker.checkAll(table);
        problems = std::int64_t(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i)
            lines += i == 0 || texts[i].line != texts[i - 1].line;
    } else {
        store.replace(store.check(checker, 0, table.recordCount() - 1));
        problems = store.problemCount();
        lines = store.lineCount();
        bytes = store.bytesUsed();
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    const long checked = peakKiB();
    const double tableMiB = (loaded - start) / 1024.0, addedMiB = (checked - loaded) / 1024.0;
    std::printf("  %-6s %d lines: table %.1f MiB; check of every line %.2f s, %lld problems in %d "
                "lines, adds %.1f MiB = %.2f x the table",
                qPrintable(keep), table.recordCount(), tableMiB, seconds,
                static_cast<long long>(problems), lines, addedMiB, addedMiB / tableMiB);
    if (bytes) std::printf(" (the store itself %.1f MiB)", mib(qint64(bytes)));
    std::printf("\n");
    return 0;
}

} // namespace

// The first process only starts others: a process's peak memory counts the
// memory of the process that started it, so the one that starts the
// measured conversions must stay small.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int lines = 100000;
    int runs = 3;
    int problems = 0;
    QString keep = QStringLiteral("store");
    QString dirArg, phase, referenceXlsx, referenceConvert;
    bool exportToo = true;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--lines"))
            lines = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--dir"))
            dirArg = args[i + 1];
        else if (args[i] == QLatin1String("--phase"))
            phase = args[i + 1];
        else if (args[i] == QLatin1String("--problems"))
            problems = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args[i + 1];
        else if (args[i] == QLatin1String("--reference-xlsx"))
            referenceXlsx = args[i + 1];
        else if (args[i] == QLatin1String("--reference-convert"))
            referenceConvert = args[i + 1];
        else if (args[i] == QLatin1String("--export"))
            exportToo = args[i + 1] != QLatin1String("no");
    }
    QTemporaryDir temp;
    const QString dir = dirArg.isEmpty() ? temp.path() : dirArg;
    if (phase == QLatin1String("generate")) return generate(dir, lines, problems);
    if (phase == QLatin1String("engine")) return engine(dir, runs);
    if (phase == QLatin1String("problems")) return problemsMemory(dir, keep);

    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string editor = SOLVANTA_EDITOR_EXE;
    const std::string d = dir.toStdString();
    const QString pos = dir + QLatin1String("/posicion.txt");
    const QString sep = dir + QLatin1String("/separador.csv");
    const QString back = dir + QLatin1String("/vuelta.csv");
    const QString backPos = dir + QLatin1String("/vuelta-posicion.txt");

    std::printf("decimal separator: '%c'\n", numtext::decimalSeparator());
    std::fflush(stdout);
    if (problems > 0) {
        // Memory of the line checks' problems only, each way in its own process.
        if (runChild({self, "--phase", "generate", "--lines", std::to_string(lines), "--problems",
                      std::to_string(problems), "--dir", d})
                .status != 0)
            return 1;
        std::printf("position file of %d lines with %d problems each: %.1f MiB\n", lines, problems,
                    mib(QFileInfo(pos).size()));
        std::printf("peak memory (VmHWM) of each process, as it rises:\n");
        std::fflush(stdout);
        int status = 0;
        for (int i = 0; i < runs; ++i)
            for (const char* way : {"store", "texts"})
                status |= runChild({self, "--phase", "problems", "--keep", way, "--dir", d}).status;
        return status;
    }
    if (runChild({self, "--phase", "generate", "--lines", std::to_string(lines), "--dir", d})
            .status != 0)
        return 1;
    const qint64 posSize = QFileInfo(pos).size();
    std::printf("position file:  %.1f MiB (%lld bytes)\n", mib(posSize),
                static_cast<long long>(posSize));
    std::printf("separator file: %.1f MiB (%lld bytes)\n", mib(QFileInfo(sep).size()),
                static_cast<long long>(QFileInfo(sep).size()));
    std::fflush(stdout);
    const ChildRun inProcess =
        runChild({self, "--phase", "engine", "--runs", std::to_string(runs), "--dir", d});

    const ChildRun idle = runChild({editor, "--version"}, true);
    const ChildRun toSep = bestChild(runs, {editor, "convert", "--from", "position", "--to",
                                            "separator", pos.toStdString(), back.toStdString()});
    const ChildRun toPos = bestChild(runs, {editor, "convert", "--from", "separator", "--to",
                                            "position", back.toStdString(), backPos.toStdString()});
    std::printf("  peak memory of that process: %.1f MiB\n", inProcess.peakMiB);
    std::printf("command line, each a separate process (wall time, best of %d; peak memory):\n",
                runs);
    std::printf("  --version                     %.3f s, peak %.1f MiB\n", idle.seconds,
                idle.peakMiB);
    std::printf("  convert position->separator   %.3f s, peak %.1f MiB = %.2f x input (exit %d)\n",
                toSep.seconds, toSep.peakMiB, toSep.peakMiB / mib(posSize), toSep.status);
    std::printf(
        "  convert separator->position   %.3f s, peak %.1f MiB = %.2f x position file (exit %d)\n",
        toPos.seconds, toPos.peakMiB, toPos.peakMiB / mib(posSize), toPos.status);

    const QString refSep = dir + QLatin1String("/referencia.csv");
    const QString refPos = dir + QLatin1String("/referencia.txt");
    bool sameAsReference = true;
    if (!referenceConvert.isEmpty()) {
        const std::string ref = referenceConvert.toStdString();
        std::printf("side by side with the reference, in turn, %d runs each (wall time):\n", runs);
        const SideBySide a = sideBySide(runs,
                                        {editor, "convert", "--from", "position", "--to",
                                         "separator", pos.toStdString(), back.toStdString()},
                                        {ref, pos.toStdString(), refSep.toStdString()});
        printSideBySide("position->separator", a, mib(posSize));
        const SideBySide b =
            sideBySide(runs,
                       {editor, "convert", "--from", "separator", "--to", "position",
                        back.toStdString(), backPos.toStdString()},
                       {ref, "--to-position", back.toStdString(), refPos.toStdString()});
        printSideBySide("separator->position", b, mib(posSize));
        // The check reads and judges every line of the same file; the
        // reference converting it is the floor of reading it.
        const SideBySide c =
            sideBySide(runs, {editor, "check", "--from", "position", pos.toStdString()},
                       {ref, pos.toStdString(), refSep.toStdString()});
        printSideBySide("check position     ", c, mib(posSize));
        QFile ea(back), ra(refSep), eb(backPos), rb(refPos);
        sameAsReference = ea.open(QIODevice::ReadOnly) && ra.open(QIODevice::ReadOnly) &&
                          eb.open(QIODevice::ReadOnly) && rb.open(QIODevice::ReadOnly) &&
                          ea.readAll() == ra.readAll() && eb.readAll() == rb.readAll();
        std::printf("the editor's files are the reference's, byte for byte: %s\n",
                    sameAsReference ? "yes" : "NO");
        QFile::remove(refSep);
        QFile::remove(refPos);
    }

    // The export and, when given, the reference writing the same cells, in
    // turn, so that both meet the same load of the machine.
    const std::string book = (dir + QLatin1String("/libro.xlsx")).toStdString();
    const std::string refBook = (dir + QLatin1String("/referencia.xlsx")).toStdString();
    ChildRun ours, ref;
    ours.seconds = ref.seconds = 1e9;
    for (int i = 0; exportToo && i < runs; ++i) {
        const ChildRun o =
            runChild({editor, "export", "--from", "position", pos.toStdString(), book});
        if (o.seconds < ours.seconds) ours = o;
        if (referenceXlsx.isEmpty()) continue;
        const ChildRun r =
            runChild({referenceXlsx.toStdString(), sep.toStdString(), refBook}, true);
        if (r.seconds < ref.seconds) ref = r;
    }
    if (exportToo)
        std::printf("  export position->xlsx         %.3f s, peak %.1f MiB = %.2f x the "
                    "conversion's peak (exit %d)\n",
                    ours.seconds, ours.peakMiB, ours.peakMiB / toSep.peakMiB, ours.status);
    if (exportToo && !referenceXlsx.isEmpty())
        std::printf(
            "  reference separator->xlsx     %.3f s, peak %.1f MiB; export / reference = %.2f\n",
            ref.seconds, ref.peakMiB, ours.seconds / ref.seconds);

    // The way back: the export's workbook read as lines again, against the
    // export itself (both hold the table: their peaks compare); and a .csv of
    // the separator lines under the fields' titles, against the separator
    // form read as such.
    bool importsAgree = true;
    if (exportToo && ours.status == 0) {
        const std::string fromBook = (dir + QLatin1String("/de-planilla.txt")).toStdString();
        const ChildRun in = bestChild(
            runs, {editor, "convert", "--from", "xlsx", "--to", "position", book, fromBook});
        std::printf("  import xlsx->position         %.3f s, peak %.1f MiB; import / export = "
                    "%.2f (time), %.2f (peak) (exit %d)\n",
                    in.seconds, in.peakMiB, in.seconds / ours.seconds, in.peakMiB / ours.peakMiB,
                    in.status);
        QFile p(pos), f(QString::fromStdString(fromBook));
        importsAgree = in.status == 0 && p.open(QIODevice::ReadOnly) &&
                       f.open(QIODevice::ReadOnly) && p.readAll() == f.readAll();
        std::printf("  the workbook read back gives the position file, byte for byte: %s\n",
                    importsAgree ? "yes" : "NO");
    }
    {
        // The summary as a command, against the check of the same file; the
        // comparison of last month's file with this one.
        const ChildRun check =
            bestChild(runs, {editor, "check", "--from", "position", pos.toStdString()});
        const ChildRun summary =
            bestChild(runs, {editor, "summary", "--from", "position", pos.toStdString()});
        std::printf("  summary position              %.3f s, peak %.1f MiB; / check = %.2f "
                    "(exit %d)\n",
                    summary.seconds, summary.peakMiB, summary.seconds / check.seconds,
                    summary.status);
        const ChildRun compare = bestChild(
            runs, {editor, "compare", "--from", "position",
                   (dir + QLatin1String("/anterior.txt")).toStdString(), pos.toStdString()});
        std::printf("  compare two files             %.3f s, peak %.1f MiB; above an idle "
                    "process %.1f MiB (exit %d: they differ)\n",
                    compare.seconds, compare.peakMiB, compare.peakMiB - idle.peakMiB,
                    compare.status);
    }
    {
        const QString csv = dir + QLatin1String("/planilla.csv");
        QFile in(sep), out(csv);
        QStringList titles;
        for (int f = 0; f < kFieldCount; ++f)
            titles << fieldTitle(f);
        if (in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly)) {
            out.write(titles.join(u';').toUtf8() + "\r\n");
            while (!in.atEnd())
                out.write(in.read(1 << 20));
        }
        out.close();
        const std::string fromCsv = (dir + QLatin1String("/de-csv.txt")).toStdString();
        const ChildRun c = bestChild(runs, {editor, "convert", "--from", "csv", "--to", "position",
                                            csv.toStdString(), fromCsv});
        std::printf("  import csv->position          %.3f s, peak %.1f MiB; / separator->position "
                    "= %.2f (exit %d)\n",
                    c.seconds, c.peakMiB, c.seconds / toPos.seconds, c.status);
        importsAgree = importsAgree && c.status == 0;
        QFile::remove(csv);
    }

    QFile a(pos), b(backPos);
    const bool same =
        a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.readAll() == b.readAll();
    std::printf("position -> separator -> position gives the same bytes: %s\n",
                same ? "yes" : "NO");
    return same && sameAsReference && importsAgree && toSep.status == 0 && toPos.status == 0 ? 0
                                                                                             : 1;
}
