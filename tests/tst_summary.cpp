// The summary window of the listing: what it shows is what the engine counts,
// a row chosen filters the listing to that row's lines, it counts again when
// the lines change, and its pages, printed or in a PDF file, hold every
// total, numbered, with nothing outside the paper.

#include "Generator.h"
#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/codes/CodeNames.h"
#include "engine/files/Summary.h"
#include "ui/listing/ListingStatusBar.h"
#include "ui/listing/SummaryPages.h"
#include "ui/listing/SummaryWindow.h"

#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>

#include <cmath>
#include <set>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// The place of a group in the summary, by its title.
int groupNamed(const Summary& s, const QString& title) {
    for (std::size_t i = 0; i < s.groups.size(); ++i)
        if (QString::fromUtf16(s.groups[i].def->title) == title) return int(i);
    return -1;
}

QString cellCode(const QString& text) {
    return text.section(u' ', 0, 0);
}

// The code of a line's field as a number; -1 when it is none.
long long codeNumber(const RxMem& t, int line, const char* name) {
    bool ok = false;
    const long long v = t.textAt(line, field(name)).trimmed().toLongLong(&ok);
    return ok ? v : -1;
}

// The file's line numbers of the rows the listing shows.
std::set<int> shownLines(TFrmSolvanta& l) {
    std::set<int> out;
    for (int r = 0; r < l.model()->rowCount(); ++r)
        out.insert(l.model()->index(r, 0).data(DeclarationModel::LineNumberRole).toInt());
    return out;
}

QString filterText(TFrmSolvanta& l) {
    auto* label = ctl<QLabel>(&l, "LabelFiltro");
    return label && label->isVisible() ? label->text() : QString();
}

SummaryWindow* summaryOf(TFrmSolvanta& l) {
    return l.findChild<SummaryWindow*>();
}

// Runs a poppler tool on a file; its standard output.
QByteArray poppler(const QString& tool, const QStringList& arguments) {
    const QString exe = QStandardPaths::findExecutable(tool);
    if (exe.isEmpty()) {
        qWarning("%s is not installed (Debian package poppler-utils)", qPrintable(tool));
        return {};
    }
    QProcess p;
    p.start(exe, arguments);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(tool), p.readAllStandardError().constData());
        return {};
    }
    return p.readAllStandardOutput();
}

int pageCountOf(const QString& pdf) {
    const QString info = QString::fromUtf8(poppler(u"pdfinfo"_s, {pdf}));
    const QRegularExpressionMatch m =
        QRegularExpression(uR"(^Pages:\s+(\d+))"_s, QRegularExpression::MultilineOption)
            .match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& pdf) {
    return QString::fromUtf8(poppler(u"pdftotext"_s, {u"-layout"_s, pdf, u"-"_s}));
}

// Every word of every page lies on its page: nothing was cut off. Says
// which word does not.
QString wordOffPage(const QString& pdf) {
    const QString html = QString::fromUtf8(poppler(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s}));
    if (html.isEmpty()) return u"no pdftotext -bbox output"_s;
    static const QRegularExpression page(
        QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"));
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.-]+)\" yMin=\"([\\d.-]+)\" xMax=\"([\\d.-]+)\" "
                       "yMax=\"([\\d.-]+)\">([^<]*)</word>"));
    double width = 0, height = 0;
    int words = 0;
    for (const QString& part : html.split(u"</page>"_s)) {
        if (const auto p = page.match(part); p.hasMatch()) {
            width = p.captured(1).toDouble();
            height = p.captured(2).toDouble();
        }
        for (auto it = word.globalMatch(part); it.hasNext();) {
            const auto w = it.next();
            ++words;
            if (w.captured(1).toDouble() < 0 || w.captured(2).toDouble() < 0 ||
                w.captured(3).toDouble() > width || w.captured(4).toDouble() > height)
                return w.captured(5);
        }
    }
    return words > 0 ? QString() : u"no words in the file"_s;
}

} // namespace

class TestSummary : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // Generated lines, with codes spread so that every group has several
    // rows: pension funds and compensation funds, one of each missing from
    // the code table, and voluntary savings at `apviCodes` institutions.
    QString declaration(const QString& name, int lines, int apviCodes) {
        RxMem t;
        generateDeclaration(t, lines, 7);
        const int afp[] = {3, 5, 8, 29, 33, 34, 35, 77};
        const int ccaf[] = {1, 2, 3, 4, 9};
        for (int r = 0; r < t.recordCount(); ++r) {
            t.moveTo(r);
            t.edit();
            t.setText(field("nom_AFP"), QString::number(afp[r % 8]).rightJustified(2, u'0'));
            t.setNumber(field("impo_afp"), 500000 + 1000 * r);
            t.setText(field("cod_CCAF"), QString::number(ccaf[r % 5]));
            t.setNumber(field("impo_ccaf"), 400000 + 10 * r);
            if (apviCodes > 0) {
                t.setText(field("inst_apvi"), QString::number(r % apviCodes + 100));
                t.setNumber(field("cotiza_apvi"), 25000 + r);
            }
            t.post();
        }
        const QString path = tmp_.filePath(name);
        writeDeclaration(path, FileForm::Position, t);
        return path;
    }

    OpenListing listingOf(const QString& path) {
        OpenListing l;
        l->load(path, FileForm::Position);
        showGrid(*l);
        return l;
    }

    static Summary counted(TFrmSolvanta& l) {
        return summarize(l.table(), CodeNames(l.document().codes()));
    }

    // The summary, opened with Ctrl+T on the listing's grid.
    static SummaryWindow* openSummary(TFrmSolvanta& l) {
        QTest::keyClick(l.grid(), Qt::Key_T, Qt::ControlModifier);
        SummaryWindow* s = summaryOf(l);
        // It opens as the active window, with the keyboard.
        if (!s || !QTest::qWaitForWindowExposed(s) ||
            !QTest::qWaitFor([s] { return QApplication::activeWindow() == s; }))
            return nullptr;
        return s;
    }

    static void activate(QWidget* w) {
        w->activateWindow();
        QVERIFY(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }));
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // Ctrl+T, the toolbar's button and the grid's menu entry each open the
    // summary of the file; it names the file and counts its lines.
    void opens_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Ctrl+T") << 0;
        QTest::newRow("botón Resumen") << 1;
        QTest::newRow("menú de la grilla") << 2;
    }
    void opens() {
        QFETCH(int, how);
        OpenListing l = listingOf(declaration(u"abre.txt"_s, 40, 0));
        if (how == 0) QTest::keyClick(l->grid(), Qt::Key_T, Qt::ControlModifier);
        if (how == 1) click(l.get(), "SpeedButtonResumen");
        if (how == 2) {
            auto* menu = ctl<QMenu>(l.get(), "PopupMenu1");
            QVERIFY(menu);
            QAction* entry = nullptr;
            for (QAction* a : menu->actions())
                if (a->objectName() == u"Resumen1"_s) entry = a;
            QVERIFY(entry);
            entry->trigger();
        }
        SummaryWindow* s = summaryOf(*l);
        QVERIFY(s);
        QVERIFY(QTest::qWaitForWindowExposed(s));
        const QString heading = ctl<QLabel>(s, "LabelResumen")->text();
        QVERIFY2(heading.contains(u"abre.txt"_s), qPrintable(heading));
        QVERIFY2(heading.contains(summaryCount(40)), qPrintable(heading));
        QCOMPARE(s->summary().lines, 40);
        // Again: the same window comes forward, not a second one.
        QTest::keyClick(l->grid(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(l->findChildren<SummaryWindow*>().size(), 1);
    }

    // Each group's table shows the engine's rows, cell by cell, a total
    // row where amounts of several institutions add up, and the amounts of
    // the pension funds are those of the lines, summed here.
    void tablesShowTheEngineTotals_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("totalRow");
        QTest::newRow("AFP") << u"Fondos de pensiones (AFP)"_s << true;
        QTest::newRow("CCAF") << u"Cajas de compensación (CCAF)"_s << true;
        QTest::newRow("pactada, por moneda")
            << u"Salud: cotización pactada, por moneda del plan"_s << false;
        QTest::newRow("seguro de cesantía") << u"Seguro de cesantía"_s << false;
    }
    void tablesShowTheEngineTotals() {
        QFETCH(QString, group);
        QFETCH(bool, totalRow);
        OpenListing l = listingOf(declaration(u"tablas.txt"_s, 60, 0));
        SummaryWindow* s = openSummary(*l);
        QVERIFY(s);
        const Summary engine = counted(*l);
        const int gi = groupNamed(engine, group);
        QVERIFY(gi >= 0);
        const SummaryGroup& g = engine.groups[std::size_t(gi)];
        QVERIFY(!g.rows.empty());
        QTableWidget* table = s->tableOf(gi);
        QVERIFY(table);
        QCOMPARE(table->rowCount(), int(g.rows.size()) + (totalRow ? 1 : 0));
        const int left = (g.def->by ? 1 : 0) + (g.def->thenBy ? 1 : 0);
        const int counts = g.def->workers ? 2 : 1;
        // Amounts that only some files hold show where a line holds them.
        const std::vector<std::size_t> shown = g.shownSums();
        QCOMPARE(table->columnCount(), left + counts + int(shown.size()));
        for (std::size_t r = 0; r <= g.rows.size(); ++r) {
            if (r == g.rows.size() && !totalRow) break;
            const SummaryRow& row = r < g.rows.size() ? g.rows[r] : g.total;
            const auto cell = [&](int c) { return table->item(int(r), c)->text(); };
            if (g.def->by)
                QCOMPARE(cell(0), r < g.rows.size() ? row.code + u' ' + row.name : u"Total"_s);
            QCOMPARE(cell(left), summaryCount(row.lines));
            if (g.def->workers) QCOMPARE(cell(left + 1), summaryCount(row.workers));
            for (std::size_t c = 0; c < shown.size(); ++c)
                QCOMPARE(cell(left + counts + int(c)),
                         summaryAmount(row.totals[shown[c]],
                                       takesDecimals(kFields[std::size_t(g.fields[shown[c]])])));
            // Amounts stand to the right, as numbers do.
            QVERIFY(table->item(int(r), table->columnCount() - 1)->textAlignment() &
                    Qt::AlignRight);
        }
        if (group != u"Fondos de pensiones (AFP)"_s) return;
        // The pension funds, summed here from the lines: every code its row.
        const RxMem& t = l->table();
        std::map<long long, double> impo;
        std::map<long long, int> lines;
        for (int r = 0; r < t.recordCount(); ++r) {
            impo[codeNumber(t, r, "nom_AFP")] += t.recordAt(r).number(field("impo_afp"));
            ++lines[codeNumber(t, r, "nom_AFP")];
        }
        QCOMPARE(int(g.rows.size()), int(impo.size()));
        for (int r = 0; r < int(g.rows.size()); ++r) {
            const long long code = cellCode(table->item(r, 0)->text()).toLongLong();
            QCOMPARE(table->item(r, 1)->text(), summaryCount(lines[code]));
            QCOMPARE(table->item(r, 3)->text(), summaryAmount(impo[code]));
        }
        // 77 is no pension fund: its row says so, and stands out.
        const auto missing =
            table->findItems(u"77 (no está en la tabla de códigos)"_s, Qt::MatchExactly);
        QCOMPARE(missing.size(), 1);
        QVERIFY(missing.front()->foreground().color() != table->palette().text().color());
    }

    // A click, or Enter, on a row shows in the listing exactly the lines of
    // the row, whose code is the row's, and the status bar names it; another
    // row then takes its place.
    void aRowFiltersTheListing_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("codeField");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("AFP, clic") << u"Fondos de pensiones (AFP)"_s << u"nom_AFP"_s << 1 << false;
        QTest::newRow("AFP, Intro") << u"Fondos de pensiones (AFP)"_s << u"nom_AFP"_s << 3 << true;
        QTest::newRow("CCAF sin nombre, clic")
            << u"Cajas de compensación (CCAF)"_s << u"cod_CCAF"_s << 4 << false;
        QTest::newRow("CCAF, Intro")
            << u"Cajas de compensación (CCAF)"_s << u"cod_CCAF"_s << 0 << true;
    }
    void aRowFiltersTheListing() {
        QFETCH(QString, group);
        QFETCH(QString, codeField);
        QFETCH(int, row);
        QFETCH(bool, byKeyboard);
        OpenListing l = listingOf(declaration(u"filtro.txt"_s, 50, 0));
        SummaryWindow* s = openSummary(*l);
        QVERIFY(s);
        activate(s);
        const int gi = groupNamed(s->summary(), group);
        QTableWidget* table = s->tableOf(gi);
        QVERIFY(table);
        QVERIFY(row < table->rowCount());
        const QString shown = table->item(row, 0)->text();
        const auto choose = [&](int r) {
            if (byKeyboard) {
                table->setFocus();
                table->setCurrentCell(0, 0);
                for (int k = 0; k < r; ++k)
                    QTest::keyClick(table, Qt::Key_Down);
                QTest::keyClick(table, Qt::Key_Return);
            } else {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                                  table->visualItemRect(table->item(r, 0)).center());
            }
        };
        choose(row);
        QApplication::processEvents();
        const RxMem& t = l->table();
        const QByteArray name = codeField.toLatin1();
        std::set<int> expected;
        for (int r = 0; r < t.recordCount(); ++r)
            if (codeNumber(t, r, name.constData()) == cellCode(shown).toLongLong())
                expected.insert(r + 1);
        QVERIFY(!expected.empty());
        QVERIFY(expected.size() < std::size_t(t.recordCount()));
        QCOMPARE(shownLines(*l), expected);
        QVERIFY2(filterText(*l).contains(u"Resumen: "_s + group + u' ' + shown),
                 qPrintable(filterText(*l)));
        // The window stays, for another row, which replaces the first.
        QVERIFY(s->isVisible());
        const int other = row == 0 ? 1 : 0;
        const QString otherShown = table->item(other, 0)->text();
        choose(other);
        QApplication::processEvents();
        std::set<int> second;
        for (int r = 0; r < t.recordCount(); ++r)
            if (codeNumber(t, r, name.constData()) == cellCode(otherShown).toLongLong())
                second.insert(r + 1);
        QCOMPARE(shownLines(*l), second);
        QVERIFY(!filterText(*l).contains(shown));
    }

    // A line changed in the listing while the summary is open: the summary
    // says its totals are old, and counts again when the user goes back.
    void changedLinesAreCountedAgain() {
        OpenListing l = listingOf(declaration(u"cambios.txt"_s, 30, 0));
        SummaryWindow* s = openSummary(*l);
        QVERIFY(s);
        const int gi = groupNamed(s->summary(), u"Fondos de pensiones (AFP)"_s);
        const double before = s->summary().groups[std::size_t(gi)].total.totals[0];
        activate(l.get());
        clickCell(*l, 0, columnOf("impo_afp"));
        typeInGrid(l->grid(), u"9999999"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(l->grid(), Qt::Key_Down);
        QApplication::processEvents();
        QVERIFY(!s->isCurrent());
        QVERIFY(ctl<QLabel>(s, "LabelDesactualizado")->isVisible());
        const double was = counted(*l).groups[std::size_t(gi)].total.totals[0];
        QVERIFY(was != before);
        activate(s);
        QVERIFY(s->isCurrent());
        QVERIFY(!ctl<QLabel>(s, "LabelDesactualizado")->isVisible());
        QTableWidget* table = s->tableOf(gi);
        QCOMPARE(table->item(table->rowCount() - 1, 3)->text(), summaryAmount(was));
    }

    // The pages of a summary longer than a page: as many as the layout says,
    // each with its header and number, every total there, no word off the
    // paper (the compensation funds' nine amounts included).
    void pdfPages() {
        OpenListing l = listingOf(declaration(u"paginas.txt"_s, 120, 45));
        const Summary s = counted(*l);
        const QString pdf = tmp_.filePath(u"resumen.pdf"_s);
        SummaryPages pages(s, u"paginas.txt"_s, QDate::currentDate());
        int painted = 0;
        {
            QPdfWriter writer(pdf);
            SummaryPages::setUpPaper(writer);
            painted = pages.paint(writer);
        }
        QCOMPARE(painted, pages.pageCount());
        QVERIFY2(painted > 1, "the summary should not fit one page");
        QCOMPARE(pageCountOf(pdf), painted);
        const QString text = pdfText(pdf);
        QCOMPARE(int(text.count(u'\f')), painted);
        const QStringList pageTexts = text.split(u'\f', Qt::SkipEmptyParts);
        const QString today = QLocale(QLocale::Spanish, QLocale::Chile)
                                  .toString(QDate::currentDate(), u"d 'de' MMMM 'de' yyyy"_s);
        for (int p = 0; p < painted; ++p) {
            const QString& page = pageTexts.value(p);
            QVERIFY2(page.contains(u"Página %1 de %2"_s.arg(p + 1).arg(painted)), qPrintable(page));
            QVERIFY(page.contains(u"paginas.txt"_s));
            QVERIFY(page.contains(u"Período: "_s + s.period));
            QVERIFY(page.contains(today));
        }
        // Every amount of every row and total, as the summary writes it.
        for (const SummaryGroup& g : s.groups)
            for (const SummaryRow& r : g.rows)
                for (const double v : r.totals)
                    QVERIFY2(text.contains(summaryAmount(v)), qPrintable(summaryAmount(v)));
        const SummaryGroup& ccaf =
            s.groups[std::size_t(groupNamed(s, u"Cajas de compensación (CCAF)"_s))];
        QCOMPARE(int(ccaf.fields.size()), 9);
        for (const double v : ccaf.total.totals)
            QVERIFY2(text.contains(summaryAmount(v)), qPrintable(summaryAmount(v)));
        const QString off = wordOffPage(pdf);
        QVERIFY2(off.isEmpty(), qPrintable(u"off the page: "_s + off));
        // A table that goes on to the next page repeats its title.
        QVERIFY(text.contains(u"(continuación)"_s));
    }

    // "Guardar PDF…" writes the pages to the file chosen; "Imprimir…" prints
    // them (here, the print dialog's printer writes a PDF file). Cancelling
    // either writes nothing.
    void printAndPdfButtons_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("accept");
        QTest::newRow("Guardar PDF") << u"BtnPdf"_s << true;
        QTest::newRow("Guardar PDF, cancelado") << u"BtnPdf"_s << false;
        QTest::newRow("Imprimir") << u"BtnImprimir"_s << true;
        QTest::newRow("Imprimir, cancelado") << u"BtnImprimir"_s << false;
    }
    void printAndPdfButtons() {
        QFETCH(QString, button);
        QFETCH(bool, accept);
        OpenListing l = listingOf(declaration(u"botones.txt"_s, 60, 30));
        SummaryWindow* s = openSummary(*l);
        QVERIFY(s);
        const QString pdf = tmp_.filePath(u"%1-%2.pdf"_s.arg(button).arg(accept));
        QFile::remove(pdf);
        if (button == u"BtnPdf"_s)
            d().expectSave(accept ? pdf : QString());
        else
            d().expectPrint(accept ? pdf : QString());
        click(s, button.toLatin1().constData());
        QCOMPARE(QFileInfo::exists(pdf), accept);
        if (!accept) return;
        if (button == u"BtnPdf"_s) {
            QCOMPARE(d().last().request.defaultSuffix, u"pdf"_s);
            QVERIFY(d().last().request.fileName.startsWith(u"botones"_s));
        }
        const int pages = pageCountOf(pdf);
        QVERIFY(pages > 1);
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(u"Página 1 de %1"_s.arg(pages)));
        QVERIFY(text.contains(u"Página %1 de %1"_s.arg(pages)));
        const Summary& shown = s->summary();
        const SummaryGroup& afp =
            shown.groups[std::size_t(groupNamed(shown, u"Fondos de pensiones (AFP)"_s))];
        for (const double v : afp.total.totals)
            QVERIFY2(text.contains(summaryAmount(v)), qPrintable(summaryAmount(v)));
        QVERIFY(ctl<QLabel>(s, "LabelNota")->text().contains(QString::number(pages)));
    }
};

QTEST_MAIN(TestSummary)
#include "tst_summary.moc"
