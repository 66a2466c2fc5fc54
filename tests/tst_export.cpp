// The spreadsheet export: what the workbook holds, its worksheets, a cancel
// or a failure leaving no file, and the listing's "Excel" button.

#include "Generator.h"
#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "XlsxReader.h"
#include "engine/codes/CodeNames.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/files/Summary.h"
#include "engine/model/FieldTable.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "ui/listing/UnitDespSolvanta.h"

#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;

namespace {

// n lines whose rut is the line's number (1..n), with a few other fields.
void fill(RxMem& t, int n) {
    for (int i = 1; i <= n; ++i) {
        t.append();
        t.setNumber(field("rut"), i);
        t.setText(field("dv"), u"K");
        t.setText(field("ape_pat"), u"MUÑOZ                    ");
        t.setText(field("tipo_pago"), u"01");
        t.setNumber(field("impo_afp"), 1234.5);
        t.setText(field("nacion"), u"1");
        t.post();
    }
}

// Says stop after a number of reports.
class StopAfter : public Progress {
public:
    explicit StopAfter(int reports) : left_(reports) {}
    bool update(qint64, qint64) override { return left_-- > 0; }

private:
    int left_;
};

// Says stop once the rows are all written, while the workbook is packed
// into its file: the rows end at half the work, so any report after that one
// comes from the packing.
class StopWhilePacking : public Progress {
public:
    bool update(qint64 done, qint64 total) override {
        if (rowsWritten) {
            stopped = true;
            return false;
        }
        rowsWritten = done * 2 == total;
        return true;
    }
    bool rowsWritten = false;
    bool stopped = false;
};

} // namespace

class TestExport : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QTemporaryDir home_; // the user's home, where "Excel" leaves its workbooks
    DialogScript d;

    QString out(const char* name) { return tmp_.filePath(QLatin1String(name)); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", QFile::encodeName(home_.path()));
        numtext::setDecimalSeparator(',');
    }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    void rowsAndTitles_data() {
        QTest::addColumn<int>("lines");
        QTest::newRow("empty table: the titles only") << 0;
        QTest::newRow("45 lines") << 45;
        QTest::newRow("3000 lines") << 3000;
    }

    void rowsAndTitles() {
        QFETCH(int, lines);
        RxMem t;
        t.open();
        fill(t, lines);
        if (lines > 0) t.moveTo(lines / 2);
        const QString path = out("filas.xlsx");
        const WorkbookSummary s = exportWorkbook(path, t);
        QCOMPARE(s.lines, qint64(lines));
        QCOMPARE(s.sheets, 1);
        QCOMPARE(t.row(), lines > 0 ? lines / 2 : -1); // the current line stays
        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 2); // the lines', then the summary's
        const XlsxSheet& sheet = book.sheets[0];
        QCOMPARE(sheet.rowCount(), lines + 1);
        QCOMPARE(sheet.columnCount(), kFieldCount);
        for (int f = 0; f < kFieldCount; ++f) {
            const XlsxCell& title = sheet.cell(0, f);
            QCOMPARE(title.text, kFields[std::size_t(f)].labelText().toString());
            QCOMPARE(title.fontName, QStringLiteral("Segoe UI"));
            QVERIFY(title.vCenter);
        }
        for (int r = 1; r <= lines; r += std::max(1, lines / 7))
            QCOMPARE(sheet.cell(r, field("rut")).number, double(r)); // table order
    }

    // Text as text formatted "@", numbers as numbers, empty as empty.
    void cellKinds() {
        RxMem t;
        t.open();
        fill(t, 1);
        t.edit();
        t.clear(field("cot_obli_afp"));
        t.setText(field("centro_costo"), u"");
        t.setText(field("ape_mat"), u"  ");
        t.post();
        const QString path = out("celdas.xlsx");
        exportWorkbook(path, t);
        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        const auto cell = [&](const char* name) { return book.sheets[0].cell(1, field(name)); };
        QCOMPARE(cell("tipo_pago").type, XlsxCell::String);
        QCOMPARE(cell("tipo_pago").text, QStringLiteral("01"));
        QCOMPARE(cell("tipo_pago").numFmt, QStringLiteral("@"));
        QCOMPARE(cell("ape_pat").text, QStringLiteral("MUÑOZ")); // as the separator form has it
        QCOMPARE(cell("dv").text, QStringLiteral("K"));
        QCOMPARE(cell("rut").type, XlsxCell::Number);
        QCOMPARE(cell("rut").number, 1.0);
        QCOMPARE(cell("impo_afp").number, 1234.5);
        QVERIFY(cell("impo_afp").numFmt.isEmpty() || cell("impo_afp").numFmt == u"General");
        QCOMPARE(cell("nacion").type, XlsxCell::Number);
        QCOMPARE(cell("cot_obli_afp").type, XlsxCell::Empty);
        QCOMPARE(cell("centro_costo").type, XlsxCell::Empty);
        QCOMPARE(cell("ape_mat").type, XlsxCell::Empty);
    }

    // Every number cell holds the line's value, decimals included, whatever
    // locale the program runs in (the tests run in the users' es_CL, where
    // the C library writes a decimal comma). With a progress to report to,
    // the workbook is packed on a thread of its own: the same holds there.
    void everyNumberAsTheLine_data() {
        QTest::addColumn<bool>("withProgress");
        QTest::newRow("without progress") << false;
        QTest::newRow("with progress, packed on its own thread") << true;
    }

    void everyNumberAsTheLine() {
        QFETCH(bool, withProgress);
        static constexpr double kValues[] = {8.300000000000001, 21.84, 1234.5, 0.1 + 0.2, -2.25, 4,
                                             123456789012345.0};
        RxMem t;
        t.open();
        fill(t, 12);
        int k = 0;
        for (int r = 0; r < t.recordCount(); ++r) {
            t.moveTo(r);
            t.edit();
            for (int f = 0; f < kFieldCount; ++f)
                if (kFields[std::size_t(f)].kind == Kind::Number)
                    t.setNumber(f, kValues[k++ % std::size(kValues)] * (r + 1));
            t.post();
        }
        struct Always : Progress {
            bool update(qint64, qint64) override { return true; }
        } progress;
        const QString path = out("numeros.xlsx");
        exportWorkbook(path, t, withProgress ? &progress : nullptr);
        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        int compared = 0;
        for (int r = 0; r < t.recordCount(); ++r)
            for (int f = 0; f < kFieldCount; ++f) {
                const Kind kind = kFields[std::size_t(f)].kind;
                if (kind == Kind::Text) continue;
                const XlsxCell& cell = book.sheets[0].cell(r + 1, f);
                QCOMPARE(cell.type, XlsxCell::Number);
                const RecordView line = t.recordAt(r);
                QCOMPARE(cell.number, kind == Kind::Number ? line.number(f) : line.integer(f));
                ++compared;
            }
        QVERIFY(compared > 12 * 50); // every number field of every line
    }

    // More lines than a worksheet holds go on in further worksheets, each
    // with its titles; nothing is dropped.
    void furtherWorksheets() {
        RxMem t;
        t.open();
        fill(t, 25);
        const QString path = out("hojas.xlsx");
        const WorkbookSummary s = exportWorkbook(path, t, nullptr, 10);
        QCOMPARE(s.sheets, 3);
        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 4); // and the summary's
        QCOMPARE(book.sheets.back().name, QStringLiteral("Resumen"));
        QList<int> ruts;
        for (const XlsxSheet& sheet : book.sheets.mid(0, 3)) {
            QCOMPARE(sheet.cell(0, 0).text, QStringLiteral("[1]Rut"));
            for (int r = 1; r < sheet.rowCount(); ++r)
                ruts << int(sheet.cell(r, 0).number);
        }
        QCOMPARE(book.sheets[2].rowCount(), 6);
        QList<int> expected;
        for (int i = 1; i <= 25; ++i)
            expected << i;
        QCOMPARE(ruts, expected);
    }

    // After the lines, the sheet "Resumen": each group's title, then a row
    // per institution with its code and name as text and its totals as
    // numbers, the same as the summary window's.
    void summarySheet() {
        RxMem t;
        generateDeclaration(t, 300, 4);
        const QString path = out("resumen.xlsx");
        exportWorkbook(path, t);
        const XlsxBook book = readXlsx(path);
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.size(), 2);
        const XlsxSheet& sheet = book.sheets[1];
        QCOMPARE(sheet.name, QStringLiteral("Resumen"));
        const Summary s = summarize(t, CodeNames());
        int found = 0;
        for (const SummaryGroup& g : s.groups) {
            int title = -1;
            for (int r = 0; r < sheet.rowCount() && title < 0; ++r)
                if (sheet.cell(r, 0).text == QString::fromUtf16(g.def->title)) title = r;
            QVERIFY2(title >= 0, qPrintable(QString::fromUtf16(g.def->title)));
            if (!g.def->by || g.def->thenBy) continue;
            const std::vector<std::size_t> shown = g.shownSums();
            const int first = g.def->workers ? 3 : 2;
            for (std::size_t i = 0; i < g.rows.size(); ++i) {
                const int row = title + 2 + int(i);
                const SummaryRow& r = g.rows[i];
                QCOMPARE(sheet.cell(row, 0).text, (r.code + u' ' + r.name).trimmed());
                QCOMPARE(sheet.cell(row, 1).number, double(r.lines));
                for (std::size_t c = 0; c < shown.size(); ++c)
                    QCOMPARE(sheet.cell(row, first + int(c)).number, r.totals[shown[c]]);
                ++found;
            }
        }
        QVERIFY(found > 10);
    }

    void cancelOrFailureLeavesNoFile() {
        RxMem t;
        t.open();
        fill(t, 5000);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("cancelada.xlsx"));
        StopAfter stop(2);
        QVERIFY_THROWS_EXCEPTION(Cancelled, exportWorkbook(path, t, &stop));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        StopWhilePacking late;
        QVERIFY_THROWS_EXCEPTION(Cancelled, exportWorkbook(path, t, &late));
        QVERIFY(late.stopped);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        const QString nowhere = folder.filePath(QStringLiteral("no/existe/planilla.xlsx"));
        try {
            exportWorkbook(nowhere, t);
            QFAIL("exported into a missing folder");
        } catch (const IoError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("planilla.xlsx")),
                     qPrintable(e.message()));
        }
    }

#ifdef Q_OS_UNIX
    // A workbook is never renamed over a pipe or a socket: the target is
    // refused before anything is written, and stays what it was.
    void specialTargetRefused_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("pipe") << int(SpecialFile::Pipe);
        QTest::newRow("socket") << int(SpecialFile::Socket);
    }

    void specialTargetRefused() {
        QFETCH(int, kind);
        RxMem t;
        t.open();
        fill(t, 3);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("planilla.xlsx"));
        SpecialFile special(SpecialFile::Kind(kind), path);
        QVERIFY(special.ok());
        try {
            exportWorkbook(path, t);
            QFAIL("the export did not fail");
        } catch (const IoError& e) {
            QCOMPARE(e.message(), QStringLiteral("No se pudo crear la planilla «%1»: no es un "
                                                 "archivo común, sino un dispositivo o un canal "
                                                 "entre programas.")
                                      .arg(QDir::toNativeSeparators(path)));
        }
        QVERIFY(!QFileInfo(path).isFile());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("planilla.xlsx")});
    }
#endif

#ifdef Q_OS_UNIX
    // A workbook being written has a name that says which process writes it:
    // an export killed midway leaves it behind, and the next export in that
    // folder removes it once its process is gone, or after a day in any
    // case. Files of other names, and of a live process, stay.
    void partialWorkbooksOfEarlierRunsRemoved() {
        RxMem t;
        t.open();
        fill(t, 3);
        QTemporaryDir folder;
        // No process has the highest number the system could give.
        bool read = false;
        const qint64 gone =
            readAll(QStringLiteral("/proc/sys/kernel/pid_max")).trimmed().toLongLong(&read);
        const qint64 alive = QCoreApplication::applicationPid();
        auto partial = [&](qint64 pid, const char* tag) {
            const QString name =
                QStringLiteral(".solvanta-%1-%2.tmp").arg(pid).arg(QLatin1String(tag));
            return name;
        };
        const QString ofGoneProcess = partial(read ? gone : 4194304, "a1B2c3");
        const QString ofLiveProcess = partial(alive, "d4E5f6");
        const QString dayOld = partial(alive, "g7H8i9");
        const QStringList others{QStringLiteral(".notas"), QStringLiteral(".solvanta-x-a1B2c3.tmp"),
                                 QStringLiteral("solvanta-1-a1B2c3.tmp")};
        for (const QString& name : QStringList{ofGoneProcess, ofLiveProcess, dayOld} + others)
            QVERIFY(writeAll(folder.filePath(name), "PK"));
        QFile old(folder.filePath(dayOld));
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTime().addSecs(-25 * 3600),
                                QFileDevice::FileModificationTime));
        old.close();

        exportWorkbook(folder.filePath(QStringLiteral("planilla.xlsx")), t);
        QStringList expected = others + QStringList{ofLiveProcess, QStringLiteral("planilla.xlsx")};
        expected.sort();
        QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left, expected);
    }
#endif

    // ---- the listing's button -----------------------------------------------------

    void excelButtonMakesANewWorkbookEachTime() {
        auto l = listingOf(tmp_, 30);
        showGrid(*l);
        QDir(TFrmSolvanta::workbookFolder()).removeRecursively();
        d().expectUrl(true);
        d().expectUrl(true);
        RxMem& t = l->table();
        t.moveTo(4);
        t.edit();
        t.setNumber(field("cot_pactada"), 3.75);
        t.post();
        clickCell(*l, 7, 2);
        auto* excel = l->findChild<QToolButton*>(QStringLiteral("SpeedButton5"));
        QVERIFY(excel->isEnabled());
        excel->click();
        excel->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const QStringList files =
            QDir(TFrmSolvanta::workbookFolder()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files.size(), 2);
        const QRegularExpression name(QStringLiteral("^Solvanta-\\d{8}-\\d{6}(-\\d+)?\\.xlsx$"));
        for (const QString& f : files)
            QVERIFY2(name.match(f).hasMatch(), qPrintable(f));
        const QUrl opened(d().shown().last().text);
        QVERIFY(opened.isLocalFile());
        QVERIFY(files.contains(QFileInfo(opened.toLocalFile()).fileName()));
        const XlsxBook book = readXlsx(opened.toLocalFile());
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.value(0).rowCount(), 31);
        for (int r = 1; r <= 30; ++r)
            QCOMPARE(book.sheets[0].cell(r, field("cot_pactada")).number,
                     t.recordAt(r - 1).number(field("cot_pactada")));
        QCOMPARE(book.sheets[0].cell(5, field("cot_pactada")).number, 3.75);
        QCOMPARE(l->table().row(), 7);
        QCOMPARE(l->grid()->currentIndex().row(), 7);
    }

    // Under a filter and a sort, the workbook holds the lines shown, in the
    // order shown, after a question that says so.
    void excelSendsTheLinesShown() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        QDir(TFrmSolvanta::workbookFolder()).removeRecursively();
        l->filterBy(field("rut"), {QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("5")});
        l->sortByColumn(columnOf("rut"));
        l->sortByColumn(columnOf("rut")); // descending
        d().expectAsk(QStringLiteral("Hay un filtro: la planilla tendrá solo las 3 líneas "
                                     "mostradas (de 6), en el orden mostrado. ¿Continuar?"),
                      ui::Button::Ok);
        d().expectUrl(true);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton5"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const XlsxBook book = readXlsx(QUrl(d().shown().last().text).toLocalFile());
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        QCOMPARE(book.sheets.value(0).rowCount(), 4);
        for (int r = 1; r <= 3; ++r)
            QCOMPARE(book.sheets[0].cell(r, field("rut")).number,
                     double(QList<int>{5, 4, 2}[r - 1]));
        QCOMPARE(l->table().recordCount(), 6);
    }

    // "Excel" leaves its workbooks where the user finds them again, in
    // "Solvanta" among the user's documents, and the status bar says where;
    // the folder is the user's: nothing in it is removed, however many or
    // old the workbooks are.
    void excelWorkbooksGoToTheUsersDocuments() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        QDir folder(TFrmSolvanta::workbookFolder());
        QCOMPARE(QFileInfo(folder.path()).fileName(), QStringLiteral("Solvanta"));
        QVERIFY(folder.path().startsWith(home_.path() + u'/'));
        QVERIFY2(!folder.path().mid(home_.path().size()).contains(u"/."), // not hidden
                 qPrintable(folder.path()));
        folder.removeRecursively();
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        QStringList before;
        for (int i = 0; i < 25; ++i) {
            before
                << QStringLiteral("Solvanta-20240102-1200%1.xlsx").arg(i, 2, 10, QLatin1Char('0'));
            const QString p = folder.filePath(before.last());
            QVERIFY(writeAll(p, "PK"));
            QFile f(p);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addDays(-400),
                                  QFileDevice::FileModificationTime));
        }
        before << QStringLiteral("notas.txt");
        QVERIFY(writeAll(folder.filePath(before.last()), "notas"));

        d().expectUrl(true);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton5"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const QString made = QUrl(d().shown().last().text).toLocalFile();
        QCOMPARE(QFileInfo(made).absolutePath(), QFileInfo(folder.path()).absoluteFilePath());
        QStringList expected = before + QStringList{QFileInfo(made).fileName()};
        expected.sort();
        QStringList left = folder.entryList(QDir::Files | QDir::Hidden);
        left.sort();
        QCOMPARE(left, expected);
        auto* notice = l->findChild<QLabel*>(QStringLiteral("LabelAviso"));
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(),
                 QStringLiteral("Planilla guardada en «%1»").arg(QDir::toNativeSeparators(made)));
    }

    void withoutASpreadsheetProgramTheFileIsNamed() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        d().expectUrl(false);
        d().expectInform(QDir::toNativeSeparators(TFrmSolvanta::workbookFolder()));
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton5"))->click();
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
