// Find and replace over the listing's cells: the search itself over the
// table (what matches, where the next match is), and the listing's find box
// with its keys, replacing one cell or all of them.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/files/FindReplace.h"
#include "engine/model/FieldTable.h"
#include "engine/util/Errors.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/listing/UnitDespSolvanta.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

void put(TFrmSolvanta& l, int row, const char* name, const QString& text) {
    l.table().moveTo(row);
    l.table().edit();
    l.table().setText(field(name), text);
    l.table().post();
}

QStringList column(TFrmSolvanta& l, const char* name) {
    QStringList out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        out << l.table().textAt(r, field(name));
    return out;
}

// Every cell of every line, to see that nothing else changed.
QStringList allCells(TFrmSolvanta& l) {
    QStringList out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        for (int f = 0; f < kFieldCount; ++f)
            out << l.table().textAt(r, f);
    return out;
}

// The grid's current cell as (row, field).
CellPos gridCell(TFrmSolvanta& l) {
    const QModelIndex at = l.grid()->currentIndex();
    return {at.row(), DeclarationModel::fieldOfColumn(at.column())};
}

const QStringList kSurnames{u"MUÑOZ"_s, u"PEREZ"_s, u"Muñoz Soto"_s, u"MUNOZ"_s};

} // namespace

Q_DECLARE_METATYPE(solvanta::CellPos)

class TestFindReplace : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // Four lines whose paternal surnames are kSurnames; the rest of each
    // line is the same (maternal surname "PEÑA IBÁÑEZ", names "JOSÉ MARÍA",
    // payment type "02"). Line 2 has 1234,5 as AFP contribution, line 3
    // 9876543 as AFP taxable pay.
    OpenListing surnames() {
        auto l = listingOf(tmp_, int(kSurnames.size()));
        for (int r = 0; r < kSurnames.size(); ++r)
            put(*l, r, "ape_pat", kSurnames[r]);
        l->table().moveTo(1);
        l->table().edit();
        l->table().setNumber(field("cot_obli_afp"), 1234.5);
        l->table().post();
        l->table().moveTo(2);
        l->table().edit();
        l->table().setNumber(field("impo_afp"), 9876543);
        l->table().post();
        l->table().first();
        return l;
    }

    // Opens the find box with its key over the grid, lets `inBox` work in
    // it, and closes it with "Cerrar".
    void withBox(TFrmSolvanta& l, QKeyCombination key, std::function<void(QWidget*)> inBox) {
        const ModalAction modal = whenModal([&](QWidget* w) {
            inBox(w);
            if (w->isVisible()) click(w, "BtnCerrar");
        });
        QTest::keyClick(l.grid(), key.key(), key.keyboardModifiers());
        QVERIFY(modal.ran());
        // The keys that follow go to the listing again, active again as a
        // window manager makes it when a dialog closes (the offscreen
        // platform does not).
        l.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&l));
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // ---- the search over the table ----------------------------------------------

    void nextMatch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("only"); // one field's name; empty: every field
        QTest::addColumn<bool>("wholeCell");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<CellPos>("from");
        QTest::addColumn<bool>("backward");
        QTest::addColumn<CellPos>("found"); // invalid: not found
        const int pat = field("ape_pat"), mat = field("ape_mat"), nom = field("nombres");
        const CellPos none;
        QTest::newRow("part, case and accents ignored")
            << u"muñoz"_s << QString() << false << false << CellPos{0, pat} << false
            << CellPos{2, pat};
        QTest::newRow("unaccented finds accented") << u"munoz soto"_s << QString() << false << false
                                                   << CellPos{0, pat} << false << CellPos{2, pat};
        QTest::newRow("whole cell skips a longer one")
            << u"munoz"_s << QString() << true << false << CellPos{0, pat} << false
            << CellPos{3, pat};
        QTest::newRow("whole cell, blanks at the ends aside")
            << u" perez "_s << QString() << true << false << CellPos{0, pat} << false
            << CellPos{1, pat};
        QTest::newRow("case regarded") << u"Muñoz"_s << QString() << false << true
                                       << CellPos{3, pat} << false << CellPos{2, pat};
        QTest::newRow("case regarded, accents too") << u"MUNOZ"_s << QString() << false << true
                                                    << CellPos{0, pat} << false << CellPos{3, pat};
        QTest::newRow("past the last line, from the first")
            << u"muñoz"_s << QString() << false << false << CellPos{3, pat} << false
            << CellPos{0, pat};
        QTest::newRow("the starting cell itself, last")
            << u"perez"_s << QString() << false << false << CellPos{1, pat} << false
            << CellPos{1, pat};
        QTest::newRow("later field of the same line")
            << u"ibáñez"_s << QString() << false << false << CellPos{0, pat} << false
            << CellPos{0, mat};
        QTest::newRow("backward") << u"muñoz"_s << QString() << false << false << CellPos{2, pat}
                                  << true << CellPos{0, pat};
        QTest::newRow("backward, before the first line, from the last")
            << u"muñoz"_s << QString() << false << false << CellPos{0, pat} << true
            << CellPos{3, pat};
        QTest::newRow("from nowhere: the first cell")
            << u"josé"_s << QString() << false << false << none << false << CellPos{0, nom};
        QTest::newRow("from nowhere, backward: the last")
            << u"josé"_s << QString() << false << false << none << true << CellPos{3, nom};
        QTest::newRow("one field: the next line") << u"ibañez"_s << u"ape_mat"_s << false << false
                                                  << CellPos{0, mat} << false << CellPos{1, mat};
        QTest::newRow("one field, from a field left of it: the same line")
            << u"ibañez"_s << u"ape_mat"_s << false << false << CellPos{1, pat} << false
            << CellPos{1, mat};
        QTest::newRow("one field, backward from a field right of it: the same line")
            << u"ibañez"_s << u"ape_mat"_s << false << false << CellPos{1, nom} << true
            << CellPos{1, mat};
        QTest::newRow("one field, backward from a field left of it: the line before")
            << u"ibañez"_s << u"ape_mat"_s << false << false << CellPos{1, pat} << true
            << CellPos{0, mat};
        QTest::newRow("one field: others are not looked at")
            << u"muñoz"_s << u"nombres"_s << false << false << CellPos{0, nom} << false << none;
        QTest::newRow("a number as shown, decimal comma")
            << u"1234,5"_s << QString() << true << false << CellPos{0, pat} << false
            << CellPos{1, field("cot_obli_afp")};
        QTest::newRow("digits: a whole number") << u"9876543"_s << QString() << true << false
                                                << CellPos{0, pat} << false
                                                << CellPos{2, field("impo_afp")};
        QTest::newRow("digits: part of a whole number")
            << u"87654"_s << QString() << false << false << CellPos{0, pat} << false
            << CellPos{2, field("impo_afp")};
        QTest::newRow("digits: part of a number with decimals")
            << u"234"_s << u"cot_obli_afp"_s << false << false << CellPos{0, pat} << false
            << CellPos{1, field("cot_obli_afp")};
        QTest::newRow("digits: more than a number has")
            << u"98765432"_s << QString() << false << false << CellPos{0, pat} << false << none;
        QTest::newRow("a number with a point is not how it shows")
            << u"1234.5"_s << QString() << false << false << CellPos{0, pat} << false << none;
        QTest::newRow("not there")
            << u"zzz"_s << QString() << false << false << CellPos{0, pat} << false << none;
        QTest::newRow("empty finds nothing")
            << QString() << QString() << false << false << CellPos{0, pat} << false << none;
    }

    void nextMatch() {
        QFETCH(QString, text);
        QFETCH(QString, only);
        QFETCH(bool, wholeCell);
        QFETCH(bool, matchCase);
        QFETCH(CellPos, from);
        QFETCH(bool, backward);
        QFETCH(CellPos, found);
        auto l = surnames();
        const FindOptions options{text, only.isEmpty() ? -1 : field(qPrintable(only)), wholeCell,
                                  matchCase};
        const CellPos at = findCell(l->table(), options, from, backward);
        QCOMPARE(at.row, found.row);
        QCOMPARE(at.field, found.field);
    }

    void replacedText_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wholeCell");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("expected");
        QTest::newRow("part, keeping the rest")
            << u"Muñoz Soto"_s << u"MUNOZ"_s << false << false << u"Rojas"_s << u"Rojas Soto"_s;
        QTest::newRow("every occurrence")
            << u"ANA Y ANA"_s << u"ana"_s << false << false << u"EVA"_s << u"EVA Y EVA"_s;
        QTest::newRow("case regarded: only the same letters")
            << u"ANA y ana"_s << u"ana"_s << false << true << u"eva"_s << u"ANA y eva"_s;
        QTest::newRow("removed") << u"PEÑA IBÁÑEZ"_s << u" ibañez"_s << false << false << QString()
                                 << u"PEÑA"_s;
        QTest::newRow("whole cell")
            << u"PEREZ"_s << u"perez"_s << true << false << u"SOTO"_s << u"SOTO"_s;
        QTest::newRow("no match: as it was")
            << u"PEREZ"_s << u"soto"_s << false << false << u"X"_s << u"PEREZ"_s;
    }

    void replacedText() {
        QFETCH(QString, cell);
        QFETCH(QString, text);
        QFETCH(bool, wholeCell);
        QFETCH(bool, matchCase);
        QFETCH(QString, with);
        QFETCH(QString, expected);
        const CellMatcher matcher(FindOptions{text, -1, wholeCell, matchCase});
        QCOMPARE(matcher.replaced(cell, with), expected);
    }

    // The plan counts cells and lines, reads each value as typed and refuses
    // what a field cannot take, naming the line, before anything is written.
    void planRefusesNamingTheLine_data() {
        QTest::addColumn<QString>("only");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("message");
        QTest::newRow("too long for the field (line 2 only)")
            << u"ape_pat"_s << u"e"_s << u"EEEEEEEEEEEEEEE"_s << u"Línea 2: [3] Apellido Paterno"_s;
        QTest::newRow("not a number")
            << u"cot_obli_afp"_s << u"1234"_s << u"x"_s << u"Línea 2: [28] Cot. AFP"_s;
        QTest::newRow("not a RUT") << u"rut"_s << u"3"_s << u"3-9-9"_s << u"Línea 3: "_s;
    }

    void planRefusesNamingTheLine() {
        QFETCH(QString, only);
        QFETCH(QString, text);
        QFETCH(QString, with);
        QFETCH(QString, message);
        auto l = surnames();
        const QStringList before = allCells(*l);
        const FindOptions options{text, field(qPrintable(only)), false, false};
        try {
            planReplace(l->table(), options, with);
            QFAIL("the replacement was not refused");
        } catch (const ConversionError& e) {
            QVERIFY2(e.message().startsWith(message), qPrintable(e.message()));
        }
        QCOMPARE(allCells(*l), before);
    }

    void planCountsCellsAndLines() {
        auto l = surnames();
        // Case regarded: "PEÑA IBÁÑEZ" on every line (one cell, two matches).
        const ReplacePlan plan =
            planReplace(l->table(), FindOptions{u"Ñ"_s, field("ape_mat"), false, true}, u"N"_s);
        QCOMPARE(plan.cellCount, 4);
        QCOMPARE(plan.lineCount, 4);
        QCOMPARE(plan.cells[0].text.trimmed(), u"PENA IBÁNEZ"_s);
        // The blanks that fill a field read from a file give way to a longer
        // text.
        const ReplacePlan longer = planReplace(
            l->table(), FindOptions{u"PEÑA"_s, field("ape_mat"), false, true}, u"PEÑALOZA"_s);
        QCOMPARE(longer.cellCount, 4);
        QCOMPARE(longer.cells[0].text.size(), 30);
        QCOMPARE(longer.cells[0].text.trimmed(), u"PEÑALOZA IBÁÑEZ"_s);
        // Small ñ: only "Muñoz Soto", wherever it is.
        const ReplacePlan small =
            planReplace(l->table(), FindOptions{u"ñ"_s, -1, false, true}, u"n"_s);
        QCOMPARE(small.cellCount, 1);
        QCOMPARE(small.lineCount, 1);
        QCOMPARE(small.cells[0].text, u"Munoz Soto"_s);
        // A RUT with its check character fills the check field too.
        const ReplacePlan rut = planReplace(
            l->table(), FindOptions{u"1"_s, field("rut"), true, false}, u"12.345.678-5"_s);
        QCOMPARE(rut.cellCount, 1);
        QCOMPARE(int(rut.cells.size()), 2);
        QCOMPARE(rut.cells[1].field, field("dv"));
        QCOMPARE(rut.cells[1].text, u"5"_s);
    }

    // Each new value is read as the user would type it into the cell.
    void planReadsValuesAsTyped_data() {
        QTest::addColumn<QString>("with");
        QTest::addColumn<QString>("stored"); // the table's own text form
        QTest::newRow("thousands grouped") << u"2.000"_s << u"2000"_s;
        QTest::newRow("emptied") << QString() << QString();
    }

    void planReadsValuesAsTyped() {
        QFETCH(QString, with);
        QFETCH(QString, stored);
        auto l = surnames();
        const int afp = field("cot_obli_afp");
        const ReplacePlan plan =
            planReplace(l->table(), FindOptions{u"1234,5"_s, afp, true, false}, with);
        QCOMPARE(plan.cellCount, 1);
        QCOMPARE(int(plan.cells.size()), 1);
        QCOMPARE(plan.cells[0].field, afp);
        QCOMPARE(plan.cells[0].text, stored);
        QCOMPARE(applyReplace(l->table(), plan), 1);
        QCOMPARE(l->table().recordAt(1).hasValue(afp), !stored.isEmpty());
    }

    // ---- the find box --------------------------------------------------------------

    // Ctrl+F opens the box for finding alone; each "Buscar siguiente" makes the
    // next match the grid's current cell, past the last line on to the first,
    // and "Buscar anterior" goes back.
    void findBoxWalksTheMatches() {
        auto l = surnames();
        showGrid(*l);
        clickCell(*l, 0, DeclarationModel::columnOf(field("ape_pat")));
        const int pat = field("ape_pat");
        QList<CellPos> visited;
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_F), [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), u"Buscar"_s);
            QVERIFY(!ctl(w, "EdReemplazar")->isVisibleTo(w));
            QVERIFY(!ctl(w, "BtnReemplazarTodo")->isVisibleTo(w));
            QVERIFY(!ctl(w, "BtnSiguiente")->isEnabled());
            typeText(ctl(w, "EdBuscar"), u"muñoz"_s);
            for (int i = 0; i < 3; ++i) {
                click(w, "BtnSiguiente");
                visited << gridCell(*l);
            }
            click(w, "BtnAnterior");
            visited << gridCell(*l);
        });
        QCOMPARE(visited, (QList<CellPos>{{2, pat}, {3, pat}, {0, pat}, {3, pat}}));
        QCOMPARE(l->table().row(), 3);
    }

    // F3 and Shift+F3 repeat the last search with the box closed.
    void f3RepeatsTheLastSearch() {
        auto l = surnames();
        showGrid(*l);
        const int mat = field("ape_mat");
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_F), [&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"IBANEZ"_s);
            auto* columns = ctl<QComboBox>(w, "CbColumna");
            QCOMPARE(columns->count(), 1 + kFieldCount);
            QCOMPARE(columns->itemText(0), u"Todas las columnas"_s);
            columns->setCurrentIndex(columns->findText(u"[4] Apellido Materno"_s));
            QVERIFY(columns->currentIndex() > 0);
            click(w, "BtnSiguiente");
        });
        QCOMPARE(gridCell(*l), (CellPos{0, mat}));
        QTest::keyClick(l->grid(), Qt::Key_F3);
        QCOMPARE(gridCell(*l), (CellPos{1, mat}));
        QTest::keyClick(l->grid(), Qt::Key_F3);
        QCOMPARE(gridCell(*l), (CellPos{2, mat}));
        QTest::keyClick(l->grid(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(gridCell(*l), (CellPos{1, mat}));
        // The box opens again with the last search in it.
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_F), [&](QWidget* w) {
            QCOMPARE(ctl<QLineEdit>(w, "EdBuscar")->text(), u"IBANEZ"_s);
            QCOMPARE(ctl<QComboBox>(w, "CbColumna")->currentText(), u"[4] Apellido Materno"_s);
        });
    }

    void notFoundIsTold() {
        auto l = surnames();
        showGrid(*l);
        clickCell(*l, 1, 3);
        d().expectInform(u"No se encontró «PEREZ»."_s);
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_F), [&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"PEREZ"_s);
            ctl<QCheckBox>(w, "ChkMayusculas")->setChecked(true);
            ctl<QCheckBox>(w, "ChkCeldaCompleta")->setChecked(true);
            ctl<QComboBox>(w, "CbColumna")->setCurrentIndex(1 + field("nombres"));
            click(w, "BtnSiguiente");
        });
        QCOMPARE(l->table().row(), 1);
        // F3 with the same search tells it again.
        d().expectInform(u"No se encontró «PEREZ»."_s);
        QTest::keyClick(l->grid(), Qt::Key_F3);
    }

    // ---- replacing -------------------------------------------------------------------

    // "Reemplazar todo" counts the cells and lines and asks; Cancel changes
    // nothing, OK changes exactly those cells, and one Ctrl+Z takes them all
    // back.
    void replaceAllAsksFirst_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("Cancel") << false;
        QTest::newRow("OK") << true;
    }

    void replaceAllAsksFirst() {
        QFETCH(bool, ok);
        auto l = surnames();
        showGrid(*l);
        const QStringList before = allCells(*l);
        d().expectAsk(u"Se reemplazarán 3 celdas en 3 líneas. ¿Continuar?"_s,
                      ok ? ui::Button::Ok : ui::Button::Cancel);
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_H), [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), u"Reemplazar"_s);
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"munoz"_s);
            ctl<QLineEdit>(w, "EdReemplazar")->setText(u"ROJAS"_s);
            click(w, "BtnReemplazarTodo");
        });
        if (!ok) {
            QCOMPARE(allCells(*l), before);
            return;
        }
        QCOMPARE(column(*l, "ape_pat"),
                 (QStringList{u"ROJAS"_s, u"PEREZ"_s, u"ROJAS Soto"_s, u"ROJAS"_s}));
        // Nothing else changed.
        QStringList expected = before;
        for (int r : {0, 2, 3})
            expected[r * kFieldCount + field("ape_pat")] = l->table().textAt(r, field("ape_pat"));
        QCOMPARE(allCells(*l), expected);

        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(allCells(*l), before);
    }

    // A value one line refuses changes no line, and the message names it.
    void refusedReplacementChangesNothing() {
        auto l = surnames();
        showGrid(*l);
        const QStringList before = allCells(*l);
        const std::uint64_t changes = l->table().changeCount();
        d().expectError(u"Línea 2: [3] Apellido Paterno"_s);
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_H), [&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"E"_s);
            ctl<QLineEdit>(w, "EdReemplazar")->setText(u"EEEEEEEEEEEEEEE"_s);
            ctl<QComboBox>(w, "CbColumna")->setCurrentIndex(1 + field("ape_pat"));
            click(w, "BtnReemplazarTodo");
            QVERIFY(w->isVisible()); // the box stays, for another try
        });
        QCOMPARE(allCells(*l), before);
        QCOMPARE(l->table().changeCount(), changes);
    }

    // The lines replaced are checked again: a code the list does not have
    // shows in the problems panel at once.
    void replacementBreakingACodeIsAProblem() {
        auto l = surnames();
        showGrid(*l);
        const int tipo = field("tipo_pago");
        // The lines with a problem of that field in the panel.
        const auto linesWithProblem = [&] {
            QList<int> lines;
            ProblemsModel* p = l->problems();
            for (int r = 0; r < p->rowCount(); ++r)
                if (p->index(r, 1).data().toString() == u"[8] Tipo Pago"_s)
                    lines << p->index(r, 0).data().toInt();
            return lines;
        };
        QCOMPARE(linesWithProblem(), QList<int>());
        d().expectAsk(u"Se reemplazarán 4 celdas en 4 líneas."_s, ui::Button::Ok);
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_H), [&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"02"_s);
            ctl<QLineEdit>(w, "EdReemplazar")->setText(u"09"_s);
            ctl<QCheckBox>(w, "ChkCeldaCompleta")->setChecked(true);
            ctl<QComboBox>(w, "CbColumna")->setCurrentIndex(1 + tipo);
            click(w, "BtnReemplazarTodo");
        });
        QCOMPARE(column(*l, "tipo_pago"), QStringList(4, u"09"_s));
        QCOMPARE(linesWithProblem(), (QList<int>{1, 2, 3, 4}));
        // Undone, the problems go with it.
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(column(*l, "tipo_pago"), QStringList(4, u"02"_s));
        QCOMPARE(linesWithProblem(), QList<int>());
    }

    // "Reemplazar" changes the current cell when it matches and goes on to the
    // next match; on a cell that does not match it only finds.
    void replaceOneAtATime() {
        auto l = surnames();
        showGrid(*l);
        const int pat = field("ape_pat");
        clickCell(*l, 1, DeclarationModel::columnOf(pat));
        withBox(*l, QKeyCombination(Qt::ControlModifier, Qt::Key_H), [&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"muñoz"_s);
            ctl<QLineEdit>(w, "EdReemplazar")->setText(u"ROJAS"_s);
            click(w, "BtnReemplazar"); // PEREZ: no match, on to line 3
            QCOMPARE(gridCell(*l), (CellPos{2, pat}));
            QCOMPARE(column(*l, "ape_pat"), kSurnames);
            click(w, "BtnReemplazar");
            QCOMPARE(gridCell(*l), (CellPos{3, pat}));
        });
        QCOMPARE(column(*l, "ape_pat"),
                 (QStringList{u"MUÑOZ"_s, u"PEREZ"_s, u"ROJAS Soto"_s, u"MUNOZ"_s}));
    }
};

QTEST_MAIN(TestFindReplace)
#include "tst_findreplace.moc"
