// Opening the listing window on a large table and repainting its grid.
//
//   QT_QPA_PLATFORM=offscreen solvanta-bench-grid [--lines N] [--runs R] [--only load]
//
// Writes N generated lines (100000 by default) to a position file, loads it
// into the listing window as the load dialog does (noting the longest time
// the event loop went unserved meanwhile, during which the window and its
// progress box could not repaint nor take the "Cancelar" click), shows the
// window at 1600 x 900, and measures, best and median of R runs (50 by default):
// repainting a screen of rows, scrolling a page down, scrolling sideways and
// jumping between the first and the last line, each with a full repaint of
// the grid; opening the record editor on a line ("Modificar", with the
// shipped code lists) up to its first paint, and storing a changed line with
// its "Aceptar"; searching the last line's RUT, a mass modification of
// every line and a cost centre given to every line, selected, each up to the
// repainted grid; undo and redo of a mass modification and the memory its
// step keeps; the grid as a spreadsheet (filtering by a value and by
// "con problemas", back to every line, sorting by a text, an amount and a
// period, find next over every column, replace all in one column and its
// undo, pasting 10,000 rows by 5 columns, each up to the repainted grid, and
// the view's bytes a line); a repaint with changed cells washed against one
// without; then,
// best of 3 fresh loads, deleting half of the lines
// (every other one, selected) with Ctrl+Delete, up to the repainted grid.
// "--only load" stops after the load and the first paint.

#include "Generator.h"
#include "engine/files/DeclarationFile.h"
#include "engine/model/RxMem.h"
#include "ui/editor/UnitDatosSolvanta.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/listing/UnitAsigCentroCosto.h"
#include "ui/listing/UnitBuscar.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitModMasiva.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace solvanta;

namespace {

struct Figures {
    double best, median;
};

// Each run returns its own time in milliseconds (so that it can leave its
// preparation out).
Figures timed(int runs, const std::function<double(int)>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i)
        ms.push_back(work(i));
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

Figures measure(int runs, const std::function<void(int)>& work) {
    return timed(runs, [&](int i) {
        QElapsedTimer t;
        t.start();
        work(i);
        return t.nsecsElapsed() / 1e6;
    });
}

void report(const char* what, Figures f) {
    std::printf("  %-42s best %6.2f ms, median %6.2f ms\n", what, f.best, f.median);
}

// Answers every question with OK, as a user confirming.
class Confirming : public ui::Dialogs {
public:
    ui::Button ask(QWidget*, const ui::Question&) override { return ui::Button::Ok; }
    void inform(QWidget*, const QString&, const QString&) override {}
    void error(QWidget*, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    QString openFileName(QWidget*, const ui::FileRequest&) override { return {}; }
    QString saveFileName(QWidget*, const ui::FileRequest&) override { return {}; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    bool openUrl(const QUrl&) override { return false; }
    void beep() override {}
};

// Notes a paint of one widget.
class PaintSeen : public QObject {
public:
    explicit PaintSeen(QWidget* w) { w->installEventFilter(this); }
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Notes the first paint of a record editor's window.
class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!painted && event->type() == QEvent::Paint)
            if (auto* w = qobject_cast<QWidget*>(watched);
                w && qobject_cast<TFrmDatosSolvanta*>(w->window()))
                painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    // The journals of the edits measured here go to a folder of the run's
    // own, never among the user's work to recover.
    QTemporaryDir journals;
    qputenv("XDG_DATA_HOME", journals.path().toUtf8());
    QApplication app(argc, argv);
    int lines = 100000, runs = 50;
    bool onlyLoad = false;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--lines"))
            lines = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--only"))
            onlyLoad = args[i + 1] == QLatin1String("load");
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("posicion.txt"));
    {
        RxMem table;
        generateDeclaration(table, lines, 20261210);
        writeDeclaration(path, FileForm::Position, table);
    }

    // What the load dialog does: create the window, load, show. A timer
    // that fires whenever the event loop is served notes the longest wait
    // between two services, up to the end of the load.
    QElapsedTimer open;
    open.start();
    qint64 lastServed = 0, longestWait = 0;
    QTimer beat;
    beat.setInterval(0);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = open.nsecsElapsed();
        longestWait = std::max(longestWait, now - lastServed);
        lastServed = now;
    });
    beat.start();
    Document document;
    TFrmSolvanta listing(document);
    listing.load(path, FileForm::Position);
    const double loadMs = open.nsecsElapsed() / 1e6;
    longestWait = std::max(longestWait, open.nsecsElapsed() - lastServed);
    beat.stop();
    listing.resize(1600, 900);
    listing.show();
    QPixmap screen = listing.grab();
    const double openMs = open.nsecsElapsed() / 1e6;

    DeclarationGrid* grid = listing.grid();
    QScrollBar* v = grid->verticalScrollBar();
    QScrollBar* h = grid->horizontalScrollBar();
    const int visibleRows =
        grid->viewport()->height() / grid->verticalHeader()->defaultSectionSize();

    std::printf("%d lines, grid %dx%d, %d rows visible, platform %s\n", lines,
                grid->viewport()->width(), grid->viewport()->height(), visibleRows,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  %-42s %8.2f ms\n", "load the file into the window", loadMs);
    std::printf("  %-42s %8.2f ms\n", "... the longest the window went unserved",
                longestWait / 1e6);
    std::printf("  %-42s %8.2f ms\n", "... then show it and paint the first screen", openMs);
    if (onlyLoad) return 0;
    // grab() paints the whole grid (headers, frozen column, cells) into a
    // pixmap, as a repaint of the window would.
    report("repaint a screen of rows", measure(runs, [&](int) { screen = grid->grab(); }));
    report("page down and repaint", measure(runs, [&](int i) {
               v->setValue((i * visibleRows) % std::max(1, v->maximum()));
               screen = grid->grab();
           }));
    report("scroll sideways and repaint", measure(runs, [&](int i) {
               h->setValue((i * 400) % std::max(1, h->maximum()));
               screen = grid->grab();
           }));
    report("jump between first and last line, repaint", measure(runs, [&](int i) {
               listing.table().moveTo(i % 2 ? 0 : lines - 1);
               grid->showTableCursor();
               screen = grid->grab();
           }));

    // The record editor reads the shipped code lists beside the program.
    const QString codes = QCoreApplication::applicationDirPath() + QStringLiteral("/Solvanta.cfg");
    QFile::remove(codes);
    QFile::copy(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"), codes);
    auto* modify = listing.findChild<QToolButton*>(QStringLiteral("SpeedButton6"));
    FirstPaint firstPaint;
    app.installEventFilter(&firstPaint);
    report("open the editor on a line, first paint", timed(std::max(5, runs / 5), [&](int i) {
               listing.table().moveTo((i * 7919) % lines);
               grid->showTableCursor();
               firstPaint.painted = false;
               double ms = 0;
               QElapsedTimer t;
               // Polls until the editor painted, then closes it.
               QTimer poll;
               poll.setInterval(0);
               QObject::connect(&poll, &QTimer::timeout, [&] {
                   if (!firstPaint.painted) return;
                   ms = t.nsecsElapsed() / 1e6;
                   poll.stop();
                   QApplication::activeModalWidget()->close();
               });
               poll.start();
               t.start();
               modify->click();
               return ms;
           }));
    app.removeEventFilter(&firstPaint);
    // From the press of "Aceptar" until the listing has painted the stored
    // line, as the user sees it.
    PaintSeen gridPaint(grid->viewport());
    report("store a changed line with Aceptar, listing repainted",
           timed(std::max(5, runs / 5), [&](int i) {
               listing.table().moveTo((i * 7919) % lines);
               grid->showTableCursor();
               QElapsedTimer t;
               QTimer::singleShot(0, [&] {
                   QWidget* editor = QApplication::activeModalWidget();
                   editor->findChild<QLineEdit*>(QStringLiteral("EdApeMat"))
                       ->setText(QStringLiteral("CAMBIADO"));
                   gridPaint.painted = false;
                   t.start();
                   editor->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
               });
               modify->click();
               QElapsedTimer bound;
               bound.start();
               while (!gridPaint.painted && bound.elapsed() < 5000)
                   QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
               const double ms = t.nsecsElapsed() / 1e6;
               if (listing.table().textAt((i * 7919) % lines, 3).trimmed() !=
                   QLatin1String("CAMBIADO"))
                   std::printf("  the line was not stored\n");
               return ms;
           }));

    const int tools = std::max(3, runs / 10);
    report("search the last line's RUT, repaint", measure(tools, [&](int) {
               listing.table().first();
               TFrmBuscar find(listing.table(), &listing);
               find.findChild<QLineEdit*>(QStringLiteral("OvcERut"))
                   ->setText(listing.table().textAt(lines - 1, 0));
               find.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
               grid->showTableCursor();
               screen = grid->grab();
           }));
    report("mass modification of every line, repaint", measure(tools, [&](int i) {
               TFrmModMasiva mass(listing.table(), &listing);
               mass.findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->button(0)->click();
               mass.findChild<CodeList*>(QStringLiteral("CBox1"))
                   ->setText(i % 2 ? QStringLiteral("02") : QStringLiteral("01"));
               mass.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
               grid->showTableCursor();
               screen = grid->grab();
           }));
    report("cost centre to every line, selected", timed(tools, [&](int i) {
               listing.model()->selectRange(0, lines - 1);
               QElapsedTimer t;
               t.start();
               TFrmAsigCentroCosto assign(*listing.model(), &listing);
               assign.findChild<QLineEdit*>(QStringLiteral("Edit1"))
                   ->setText(QStringLiteral("CENTRO %1").arg(i));
               assign.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
               grid->showTableCursor();
               screen = grid->grab();
               return t.nsecsElapsed() / 1e6;
           }));

    // Undo and redo of a mass modification of every line, as the user
    // presses them (Ctrl+Z, Ctrl+Y), each up to the repainted grid; and what
    // the step keeps, against the table's own memory.
    {
        const std::size_t before = listing.table().historyBytes();
        TFrmModMasiva mass(listing.table(), &listing);
        mass.findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->button(0)->click();
        mass.findChild<CodeList*>(QStringLiteral("CBox1"))->setText(QStringLiteral("03"));
        mass.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        const double step = double(listing.table().historyBytes() - before);
        const double table = double(listing.table().storageBytes());
        std::printf("  %-42s %8.2f MiB = %.2f %% of the table's %.1f MiB\n",
                    "undo history of that mass modification", step / 1048576, 100 * step / table,
                    table / 1048576);
        // The values the changed cells had at the load, for the wash: by
        // now every line changed in three fields.
        std::printf("  %-42s %8.2f MiB\n", "kept for the wash of changed cells",
                    double(listing.table().changeMarkBytes()) / 1048576);
        std::vector<double> undo, redo;
        for (int i = 0; i < tools; ++i) {
            QElapsedTimer t;
            t.start();
            listing.undo();
            screen = grid->grab();
            undo.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            listing.redo();
            screen = grid->grab();
            redo.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(undo.begin(), undo.end());
        std::sort(redo.begin(), redo.end());
        report("undo a mass modification, repaint", {undo.front(), undo[undo.size() / 2]});
        report("redo a mass modification, repaint", {redo.front(), redo[redo.size() / 2]});
        if (listing.table().textAt(lines / 2, RxMem::fieldByName(u"tipo_pago")) != u"03")
            std::printf("  the redo did not give the value back\n");
    }

    // The grid as a spreadsheet, each up to the repainted grid: filtering
    // by a value and by "con problemas", back to every line, sorting; find
    // next over every column for a text only the last line holds, from the
    // first; replace all in one column of every line and its undo; pasting
    // a block of 10,000 rows by 5 columns.
    {
        Confirming confirming;
        ui::setDialogs(&confirming);
        RxMem& t = listing.table();
        DeclarationModel& model = *listing.model();
        const int afp = RxMem::fieldByName(u"nom_AFP");
        const QString value = model.valuesOf(afp).front().text;
        report("filter by a value, repaint", measure(tools, [&](int) {
                   listing.filterBy(afp, {value});
                   screen = grid->grab();
                   listing.showAllLines();
               }));
        std::printf(
            "  %-42s %d of %d lines\n", "... shown",
            [&] {
                listing.filterBy(afp, {value});
                const int shown = model.rowCount();
                listing.showAllLines();
                return shown;
            }(),
            lines);
        report("filter: only lines with problems, repaint", measure(tools, [&](int) {
                   listing.onlyProblemLines();
                   screen = grid->grab();
                   listing.showAllLines();
               }));
        report("back to every line, repaint", timed(tools, [&](int) {
                   listing.filterBy(afp, {value});
                   QElapsedTimer e;
                   e.start();
                   listing.showAllLines();
                   screen = grid->grab();
                   return e.nsecsElapsed() / 1e6;
               }));
        for (const char* name : {"ape_pat", "impo_afp", "remu_desde"}) {
            const int column =
                DeclarationModel::columnOf(RxMem::fieldByName(QString::fromLatin1(name)));
            char what[64];
            std::snprintf(what, sizeof what, "sort by %s, repaint", name);
            report(what, measure(tools, [&](int) {
                       listing.sortByColumn(column);
                       screen = grid->grab();
                       listing.showAllLines();
                   }));
        }
        std::printf("  %-42s %zu bytes a line\n", "view memory, filtered and sorted", [&] {
            listing.filterBy(afp, {value});
            listing.sortByColumn(1);
            const std::size_t bytes = model.view().bytes() / std::size_t(lines);
            listing.showAllLines();
            return bytes;
        }());

        // In the find box as the user fills it; `work` presses its buttons.
        const auto inFindBox = [&](bool replacing, const std::function<void(QWidget*)>& work) {
            QTimer::singleShot(0, [&] {
                QWidget* box = QApplication::activeModalWidget();
                work(box);
                box->close();
            });
            replacing ? listing.openReplace() : listing.openFind();
        };
        t.moveTo(lines - 1);
        t.edit();
        t.setText(RxMem::fieldByName(u"ape_mat"), u"QWERTY");
        t.post();
        report("find next over every column, repaint", timed(tools, [&](int) {
                   t.first();
                   grid->showTableCursor();
                   double ms = 0;
                   inFindBox(false, [&](QWidget* box) {
                       box->findChild<QLineEdit*>(QStringLiteral("EdBuscar"))
                           ->setText(QStringLiteral("qwerty"));
                       QElapsedTimer e;
                       e.start();
                       box->findChild<QPushButton*>(QStringLiteral("BtnSiguiente"))->click();
                       screen = grid->grab();
                       ms = e.nsecsElapsed() / 1e6;
                   });
                   if (t.row() != lines - 1) std::printf("  the line was not found\n");
                   return ms;
               }));
        const int payment = RxMem::fieldByName(u"tipo_pago");
        std::vector<double> undoMs;
        report("replace all in one column of every line", timed(tools, [&](int i) {
                   double ms = 0;
                   inFindBox(true, [&](QWidget* box) {
                       box->findChild<QLineEdit*>(QStringLiteral("EdBuscar"))
                           ->setText(t.textAt(0, payment));
                       box->findChild<QLineEdit*>(QStringLiteral("EdReemplazar"))
                           ->setText(i % 2 ? QStringLiteral("01") : QStringLiteral("02"));
                       box->findChild<QComboBox*>(QStringLiteral("CbColumna"))
                           ->setCurrentIndex(1 + payment);
                       box->findChild<QCheckBox*>(QStringLiteral("ChkCeldaCompleta"))
                           ->setChecked(true);
                       QElapsedTimer e;
                       e.start();
                       box->findChild<QPushButton*>(QStringLiteral("BtnReemplazarTodo"))->click();
                       screen = grid->grab();
                       ms = e.nsecsElapsed() / 1e6;
                   });
                   QElapsedTimer e;
                   e.start();
                   listing.undo();
                   screen = grid->grab();
                   undoMs.push_back(e.nsecsElapsed() / 1e6);
                   listing.redo();
                   return ms;
               }));
        std::sort(undoMs.begin(), undoMs.end());
        report("... its undo, repaint", {undoMs.front(), undoMs[undoMs.size() / 2]});

        QString block;
        const int rows = std::min(lines, 10000);
        for (int r = 0; r < rows; ++r)
            block += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                         .arg(1000 + r)
                         .arg(100 + r)
                         .arg(10 + r)
                         .arg(r)
                         .arg(5);
        char what[64];
        std::snprintf(what, sizeof what, "paste %d rows x 5 columns, repaint", rows);
        report(what, measure(tools, [&](int i) {
                   QGuiApplication::clipboard()->setText(block);
                   t.moveTo(i % 2);
                   grid->showCell(i % 2,
                                  DeclarationModel::columnOf(RxMem::fieldByName(u"impo_afp")));
                   grid->pasteCells();
                   screen = grid->grab();
               }));
        ui::setDialogs(nullptr);
    }

    // Every line with a problem (a code missing from its list): the panel
    // fills and every row has a tinted cell.
    {
        QElapsedTimer t;
        t.start();
        listing.table().assignAll(RxMem::fieldByName(u"nom_AFP"), u"6");
        std::printf("  %-42s %8.2f ms (%d problems)\n", "every line wrong, checked again",
                    t.nsecsElapsed() / 1e6, listing.problems()->problemCount());
        listing.table().first();
        grid->showTableCursor();
        h->setValue(0);
    }
    report("repaint a screen of tinted rows", measure(runs, [&](int) { screen = grid->grab(); }));
    report("filter: only lines with problems, all of them", measure(tools, [&](int) {
               listing.onlyProblemLines();
               screen = grid->grab();
               listing.showAllLines();
           }));

    // The wash of changed cells: the same screen of rows in two windows with
    // the same text, where every cell of the first columns changed, washed in
    // one and saved in the other, repainted in turn so that both meet the
    // same load of the machine.
    {
        Document plainDocument;
        TFrmSolvanta plain(plainDocument);
        plain.load(path, FileForm::Position);
        plain.resize(1600, 900);
        plain.show();
        listing.load(path, FileForm::Position);
        for (TFrmSolvanta* w : {&plain, &listing})
            for (const char* name : {"dv", "ape_pat", "ape_mat", "nombres", "sexo", "tipo_pago",
                                     "remu_desde", "remu_hasta", "reg_previ", "tipo_trab"})
                w->table().assignAll(RxMem::fieldByName(QString::fromLatin1(name)), u"9");
        plain.table().markSaved(); // the same text, nothing washed
        plain.model()->showSaved();
        for (TFrmSolvanta* w : {&plain, &listing}) {
            w->table().first();
            w->grid()->showTableCursor();
            w->grid()->horizontalScrollBar()->setValue(0);
            w->model()->clearSelection();
        }
        std::vector<double> without, with;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            screen = plain.grid()->grab();
            without.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            screen = grid->grab();
            with.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(without.begin(), without.end());
        std::sort(with.begin(), with.end());
        const Figures a{without.front(), without[without.size() / 2]};
        const Figures b{with.front(), with[with.size() / 2]};
        report("repaint a screen, nothing changed", a);
        report("repaint a screen, changed cells washed", b);
        std::printf("  %-42s %8.2f ms (medians), %.2f ms (best)\n",
                    "what the wash adds to a repaint", b.median - a.median, b.best - a.best);
    }

    Confirming confirming;
    ui::setDialogs(&confirming);
    const Figures removal = timed(3, [&](int) {
        listing.load(path, FileForm::Position);
        for (int r = 0; r < lines; r += 2)
            listing.model()->setSelected(r, true);
        QElapsedTimer t;
        t.start();
        grid->deleteSelected();
        screen = grid->grab();
        const double ms = t.nsecsElapsed() / 1e6;
        if (listing.table().recordCount() != lines / 2)
            std::printf("  wrong number of lines left\n");
        return ms;
    });
    char what[64];
    std::snprintf(what, sizeof what, "delete %d selected lines, repaint", (lines + 1) / 2);
    report(what, removal);
    ui::setDialogs(nullptr);
    return 0;
}
