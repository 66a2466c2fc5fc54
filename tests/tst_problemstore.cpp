// The compact store of the line checks' problems: it holds what the checks
// find (a line's first 32 problems listed, the rest counted, every cell
// known), spells the same texts, and stays right when some rows are checked
// again or lines are deleted.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/LineChecks.h"
#include "engine/files/ProblemStore.h"
#include "engine/model/RxMem.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QTemporaryDir>
#include <QtTest>
#include <map>

using namespace solvanta;
using namespace testutil;

namespace {

QString cfgPath() {
    return QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
}

// Everything the store shows: its entries with their rows, its counts and
// every cell it tints.
QStringList dump(const ProblemStore& s, const RxMem& t) {
    QStringList out;
    for (int i = 0; i < s.entryCount(); ++i) {
        const ProblemStore::Entry e = s.entry(i);
        out << QStringLiteral("row %1 field %2 what %3 more %4")
                   .arg(t.rowOf(e.line))
                   .arg(e.field)
                   .arg(int(e.finding.what))
                   .arg(e.more);
    }
    out << QStringLiteral("%1 problems in %2 lines").arg(s.problemCount()).arg(s.lineCount());
    for (int r = 0; r < t.recordCount(); ++r)
        for (int f = 0; f < kFieldCount; ++f)
            if (s.hasProblem(t.bookmarkAt(r).slot, f))
                out << QStringLiteral("cell %1 %2").arg(r).arg(f);
    return out;
}

QString text(const LineProblem& p) {
    return QStringLiteral("%1|%2|%3|%4")
        .arg(LineChecker::describe(p))
        .arg(p.breaks)
        .arg(p.field)
        .arg(p.line);
}

} // namespace

class TestProblemStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        numtext::setDecimalSeparator(',');
        datetext::setFormat(QStringLiteral("dd-MM-yyyy"));
    }

    // The generator's spoiled lines: each spoiled field is one problem, and
    // the position form keeps them all (nothing breaks a form).
    void generatedProblems_data() {
        QTest::addColumn<int>("perLine");
        QTest::newRow("one") << 1;
        QTest::newRow("21, as the largest files seen") << 21;
        QTest::newRow("all") << kMostProblemsPerLine;
    }
    void generatedProblems() {
        QFETCH(int, perLine);
        RxMem t;
        generateDeclaration(t, 30, 17);
        addProblems(t, perLine);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.txt"));
        writeDeclaration(path, FileForm::Position, t);
        RxMem back;
        loadDeclaration(path, FileForm::Position, back);
        QCOMPARE(back.recordCount(), 30);
        const LineChecker checker{CodeTableFile(cfgPath())};
        std::map<int, int> perRow;
        for (const LineProblem& p : checker.checkAll(back)) {
            ++perRow[p.line];
            QVERIFY2(p.breaks == LineProblem::None && !p.problem.isEmpty(), qPrintable(text(p)));
        }
        QCOMPARE(int(perRow.size()), 30);
        for (const auto& [line, n] : perRow)
            QCOMPARE(n, perLine);
    }

    // The store against the checks with texts: the same problems in the same
    // order and with the same texts, the first 32 of a line listed and the
    // rest counted in one entry that names the first cell not listed, and
    // the cells of all of them known.
    void holdsWhatTheChecksFind_data() {
        QTest::addColumn<int>("perLine");
        QTest::addColumn<int>("every");
        QTest::newRow("no problem") << 0 << 1;
        QTest::newRow("a few, every third line") << 5 << 3;
        QTest::newRow("just all listed") << ProblemStore::kKeptPerLine << 2;
        QTest::newRow("one counted") << ProblemStore::kKeptPerLine + 1 << 2;
        QTest::newRow("several counted, every line") << kMostProblemsPerLine << 1;
    }
    void holdsWhatTheChecksFind() {
        QFETCH(int, perLine);
        QFETCH(int, every);
        RxMem t;
        generateDeclaration(t, 20, 5);
        addProblems(t, perLine, every);
        // A value the loader could not read is a note on its cell, listed
        // in place of what the checks say of that field.
        t.noteCell(t.bookmarkAt(1), field("sexo"), QStringLiteral("«ZZ» no es un sexo."));
        const LineChecker checker{CodeTableFile(cfgPath())};
        const std::vector<LineProblem> all = checker.checkAll(t);
        ProblemStore s(t);
        s.replace(s.check(checker, 0, t.recordCount() - 1));

        QCOMPARE(s.problemCount(), std::int64_t(all.size()));
        std::map<int, std::vector<const LineProblem*>> byLine;
        for (const LineProblem& p : all)
            byLine[p.line].push_back(&p);
        QCOMPARE(s.lineCount(), int(byLine.size()));
        int entry = 0;
        for (const auto& [line, problems] : byLine) {
            const int listed = std::min(int(problems.size()), ProblemStore::kKeptPerLine);
            for (int i = 0; i < listed; ++i, ++entry) {
                QVERIFY(entry < s.entryCount());
                QCOMPARE(s.entry(entry).more, 0);
                QCOMPARE(text(s.spell(entry)), text(*problems[std::size_t(i)]));
            }
            if (int(problems.size()) > listed) {
                const ProblemStore::Entry e = s.entry(entry);
                QCOMPARE(t.rowOf(e.line), line - 1);
                QCOMPARE(e.more, int(problems.size()) - listed);
                QCOMPARE(e.field, problems[std::size_t(listed)]->field);
                QVERIFY(s.spell(entry).problem.isEmpty());
                ++entry;
            }
            for (int f = 0; f < kFieldCount; ++f) {
                const bool has = std::any_of(problems.begin(), problems.end(),
                                             [f](const LineProblem* p) { return p->field == f; });
                QCOMPARE(s.hasProblem(t.bookmarkAt(line - 1).slot, f), has);
            }
        }
        QCOMPARE(s.entryCount(), entry);
        for (int r = 0; r < t.recordCount(); ++r)
            if (!byLine.count(r + 1))
                for (int f = 0; f < kFieldCount; ++f)
                    QVERIFY(!s.hasProblem(t.bookmarkAt(r).slot, f));
    }

    // Rows changed and checked again, alone: the store is then what a
    // check of the whole table gives.
    void recheckSomeRows_data() {
        QTest::addColumn<QList<int>>("changed"); // rows made correct or given problems
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("changes");
        QTest::newRow("first line corrected") << QList<int>{0} << 0 << 0 << true;
        QTest::newRow("last line spoiled") << QList<int>{29} << 29 << 29 << true;
        QTest::newRow("middle lines, both ways") << QList<int>{9, 10, 11, 12} << 8 << 14 << true;
        QTest::newRow("correct lines stay correct") << QList<int>{} << 1 << 2 << false;
        QTest::newRow("every line") << QList<int>{0, 3, 5, 29} << 0 << 29 << true;
        QTest::newRow("beyond the table") << QList<int>{27, 28} << 25 << 40 << true;
    }
    void recheckSomeRows() {
        QFETCH(QList<int>, changed);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(bool, changes);
        RxMem t, clean, spoiled;
        generateDeclaration(t, 30, 9);
        addProblems(t, kMostProblemsPerLine, 3); // rows 0, 3, 6, ...
        generateDeclaration(clean, 30, 9);
        generateDeclaration(spoiled, 30, 9);
        addProblems(spoiled, 7);
        const LineChecker checker{CodeTableFile(cfgPath())};
        ProblemStore s(t);
        s.replace(s.check(checker, 0, t.recordCount() - 1));
        // A row with problems becomes correct; a correct one gets others.
        for (int r : changed) {
            const RxMem& from = r % 3 == 0 ? clean : spoiled;
            t.moveTo(r);
            t.edit();
            for (int f = 0; f < kFieldCount; ++f)
                t.setText(f, from.textAt(r, f));
            t.post();
        }
        ProblemStore::Checked checked = s.check(checker, first, last);
        QCOMPARE(s.changes(checked), changes);
        s.replace(std::move(checked));
        ProblemStore fresh(t);
        fresh.replace(fresh.check(checker, 0, t.recordCount() - 1));
        QCOMPARE(dump(s, t), dump(fresh, t));
    }

    // Deleted lines take their problems with them; the others keep theirs,
    // at their new rows.
    void deletedLines_data() {
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("none") << QList<int>{};
        QTest::newRow("a line with problems") << QList<int>{3};
        QTest::newRow("a correct line") << QList<int>{4};
        QTest::newRow("first and last") << QList<int>{0, 19};
        QTest::newRow("several") << QList<int>{1, 2, 6, 7, 8, 15};
    }
    void deletedLines() {
        QFETCH(QList<int>, rows);
        RxMem t;
        generateDeclaration(t, 20, 3);
        addProblems(t, ProblemStore::kKeptPerLine + 4, 3);
        addProblems(t, 2, 5);
        const LineChecker checker{CodeTableFile(cfgPath())};
        ProblemStore s(t);
        s.replace(s.check(checker, 0, t.recordCount() - 1));
        std::vector<RxMem::Bookmark> gone;
        for (int r : rows)
            gone.push_back(t.bookmarkAt(r));
        t.deleteRecords(gone);
        // Rows 0, 3, 6, ... and 0, 5, 10, ... had problems.
        QCOMPARE(s.hasDeletedLines(), std::any_of(rows.begin(), rows.end(),
                                                  [](int r) { return r % 3 == 0 || r % 5 == 0; }));
        s.dropDeletedLines();
        ProblemStore fresh(t);
        fresh.replace(fresh.check(checker, 0, t.recordCount() - 1));
        QCOMPARE(dump(s, t), dump(fresh, t));
    }

    // A check stopped half-way changes nothing.
    void stoppedCheck() {
        RxMem t;
        generateDeclaration(t, 3000, 4);
        addProblems(t, 3, 7);
        const LineChecker checker{CodeTableFile(cfgPath())};
        ProblemStore s(t);
        s.replace(s.check(checker, 0, t.recordCount() - 1));
        const QStringList before = dump(s, t);
        const LineChecker withoutLists{CodeTableFile(QStringLiteral("/nonexistent/no.cfg"))};
        struct StopHalfWay : Progress {
            bool update(qint64 done, qint64 total) override { return done < total / 2; }
        } stop;
        QVERIFY_THROWS_EXCEPTION(Cancelled, s.check(withoutLists, 0, t.recordCount() - 1, &stop));
        QCOMPARE(dump(s, t), before);
    }
};

QTEST_GUILESS_MAIN(TestProblemStore)
#include "tst_problemstore.moc"
