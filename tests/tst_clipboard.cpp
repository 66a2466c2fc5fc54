// Copy and paste between the listing's grid and a spreadsheet: what Ctrl+C
// puts on the clipboard, and how Ctrl+V reads a block of cells into the
// lines, each value as if typed, all or none.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "ui/listing/ProblemsModel.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace solvanta;
using namespace testutil;

namespace {

// Every cell of every line, to tell whether anything changed.
QList<QStringList> contents(TFrmSolvanta& l) {
    QList<QStringList> lines;
    for (int r = 0; r < l.table().recordCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < kFieldCount; ++f)
            cells << l.table().textAt(r, f);
        lines << cells;
    }
    return lines;
}

void copy(TFrmSolvanta& l) {
    QTest::keyClick(l.grid(), Qt::Key_C, Qt::ControlModifier);
}

void paste(TFrmSolvanta& l, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(l.grid(), Qt::Key_V, Qt::ControlModifier);
}

// A click on the line's number: the line alone is chosen, whole.
void clickLineNumber(TFrmSolvanta& l, int row, Qt::KeyboardModifiers mods = {}) {
    QAbstractItemView* numbers = l.grid()->frozenView();
    QTest::mouseClick(numbers->viewport(), Qt::LeftButton, mods,
                      numbers->visualRect(l.model()->index(row, 0)).center());
}

} // namespace

class TestClipboard : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // Three lines; the third holds a name with quotes and a decimal amount,
    // which a spreadsheet must get as one cell each.
    OpenListing threeLines() {
        OpenListing l = listingOf(tmp_, 3);
        RxMem& t = l->table();
        {
            const RxMem::Fill asLoaded(t); // no undo step, nothing unsaved
            t.moveTo(2);
            t.edit();
            t.setText(field("nombres"), u"ANA \"LA\" MARÍA");
            t.setText(field("cot_pactada"), u"1234,5");
            t.post();
        }
        t.first();
        return l;
    }

private slots:
    void init() { d.start(); }
    void cleanup() {
        QGuiApplication::clipboard()->clear();
        d.finish();
    }

    // Lines chosen as lines go whole, in line order, whatever order they
    // were picked in; a plain click on a cell (which selects its line too)
    // copies that cell alone.
    void copyGivesWhatASpreadsheetPastes_data() {
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("expected"); // a file of tests/data, or the text itself
        QTest::newRow("two lines, picked last first") << "ctrl"
                                                      << "copia-dos-lineas.tsv";
        QTest::newRow("one line by its number") << "number"
                                                << "first line of the file";
        QTest::newRow("a cell with quotes") << "cell"
                                            << "\"ANA \"\"LA\"\" MARÍA\"\n";
        QTest::newRow("a decimal cell") << "decimal"
                                        << "1234,5\n";
        QTest::newRow("a block of cells, Shift+arrows") << "block"
                                                        << "three columns of two lines";
    }

    void copyGivesWhatASpreadsheetPastes() {
        QFETCH(QString, choose);
        QFETCH(QString, expected);
        auto l = threeLines();
        showGrid(*l);
        const QByteArray file = readAll(dataFile("copia-dos-lineas.tsv"));
        QVERIFY(!file.isEmpty());
        if (choose == u"ctrl") {
            clickCell(*l, 2, columnOf("nombres"));
            clickCell(*l, 0, columnOf("nombres"), Qt::ControlModifier);
            expected = QString::fromUtf8(file);
        } else if (choose == u"number") {
            clickLineNumber(*l, 0);
            expected = QString::fromUtf8(file.left(file.indexOf('\n') + 1));
        } else if (choose == u"block") {
            clickCell(*l, 1, columnOf("ape_pat"));
            QTest::keyClick(l->grid(), Qt::Key_Right, Qt::ShiftModifier);
            QTest::keyClick(l->grid(), Qt::Key_Right, Qt::ShiftModifier);
            QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
            const RxMem& t = l->table();
            expected = t.textAt(1, field("ape_pat")) + u'\t' + t.textAt(1, field("ape_mat")) +
                       u'\t' + t.textAt(1, field("nombres")) + u'\n' +
                       t.textAt(2, field("ape_pat")) + u'\t' + t.textAt(2, field("ape_mat")) +
                       QStringLiteral("\t\"ANA \"\"LA\"\" MARÍA\"\n");
            // Only the block shows as chosen.
            QVERIFY(l->model()->index(2, columnOf("nombres")).data(Qt::BackgroundRole).isValid());
            QVERIFY(!l->model()->index(2, columnOf("dv")).data(Qt::BackgroundRole).isValid());
        } else {
            clickCell(*l, 2, columnOf(choose == u"cell" ? "nombres" : "cot_pactada"));
            QCOMPARE(selectedRows(*l), QList<int>{2});
        }
        copy(*l);
        QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    }

    // The fixture's text is what it claims: 105 cells a line, split on the
    // tabs that are not inside quotes.
    void copiedLinesHoldEveryField() {
        const QString text = QString::fromUtf8(readAll(dataFile("copia-dos-lineas.tsv")));
        QVERIFY(text.endsWith(u'\n') && !text.contains(u'\r'));
        const QStringList rows = text.chopped(1).split(u'\n');
        QCOMPARE(rows.size(), 2);
        for (const QString& row : rows)
            QCOMPARE(row.count(u'\t'), kFieldCount - 1);
        QVERIFY(rows[1].contains(QStringLiteral("\t\"ANA \"\"LA\"\" MARÍA\"\t")));
    }

    // What was copied, pasted back where it came from, is no change: no
    // unsaved change, nothing to undo.
    void pastingBackWhereItCameFromChangesNothing_data() {
        QTest::addColumn<bool>("lines");
        QTest::newRow("whole lines") << true;
        QTest::newRow("one cell") << false;
    }

    void pastingBackWhereItCameFromChangesNothing() {
        QFETCH(bool, lines);
        auto l = threeLines();
        showGrid(*l);
        const QList<QStringList> before = contents(*l);
        if (lines) {
            clickLineNumber(*l, 0);
            QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
            QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
            QCOMPARE(selectedRows(*l), (QList<int>{0, 1, 2}));
            copy(*l);
            QCOMPARE(QGuiApplication::clipboard()->text().count(u'\n'), 3);
            clickCell(*l, 0, 1); // a cell: the lines go over the lines there
            QCOMPARE(selectedRows(*l), QList<int>{0});
        } else {
            clickCell(*l, 2, columnOf("nombres"));
            copy(*l);
        }
        QTest::keyClick(l->grid(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(contents(*l), before);
        // A block of cells, pasted at its top left cell.
        clickCell(*l, 0, columnOf("ape_mat"));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(l->grid(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        copy(*l);
        QCOMPARE(QGuiApplication::clipboard()->text().count(u'\t'), 9);
        clickCell(*l, 0, columnOf("ape_mat"));
        QTest::keyClick(l->grid(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(contents(*l), before);
        QVERIFY(!l->table().hasUnsavedChanges());
        QVERIFY(!l->table().canUndo());
    }

    // Whole lines, under the listing's titles or pasted onto a line chosen
    // by its number, become new lines after the current one, selected; one
    // Ctrl+Z takes them all back.
    void wholeLinesBecomeNewLines_data() {
        QTest::addColumn<bool>("titles");
        QTest::newRow("under the titles, from a cell") << true;
        QTest::newRow("onto a line chosen by its number") << false;
    }

    void wholeLinesBecomeNewLines() {
        QFETCH(bool, titles);
        auto l = threeLines();
        showGrid(*l);
        const QList<QStringList> before = contents(*l);
        QString block = QString::fromUtf8(readAll(dataFile("copia-dos-lineas.tsv")));
        if (titles) {
            QStringList names;
            for (int f = 0; f < kFieldCount; ++f)
                names << fieldTitle(f);
            block.prepend(names.join(u'\t') + u'\n');
            clickCell(*l, 0, columnOf("nombres"));
        } else {
            clickLineNumber(*l, 0);
        }
        paste(*l, block);
        RxMem& t = l->table();
        QCOMPARE(t.recordCount(), 5);
        const QList<QStringList> after = contents(*l);
        QCOMPARE(after[0], before[0]);
        QCOMPARE(after[1], before[0]); // the lines of the file: lines 1 and 3
        QCOMPARE(after[2], before[2]);
        QCOMPARE(after[3], before[1]);
        QCOMPARE(after[4], before[2]);
        QCOMPARE(selectedRows(*l), (QList<int>{1, 2}));
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(1, 1));
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(contents(*l), before);
        QVERIFY(!t.hasUnsavedChanges());
    }

    // A block read as typed: thousands grouped with ".", a RUT with dots and
    // check (which goes to the check column beside it), an empty cell that
    // empties its amount. One undo step takes it all back.
    void pastedBlockIsReadAsTypedInOneUndoStep() {
        auto l = threeLines();
        showGrid(*l);
        const QList<QStringList> before = contents(*l);
        clickCell(*l, 1, columnOf("cotiza_apvc"));
        paste(*l, QStringLiteral("1.234\t2.000\t12.345.678-5\r\n500\t\t7.654.321-6\r\n"));
        RxMem& t = l->table();
        QCOMPARE(t.textAt(1, field("cotiza_apvc")), QStringLiteral("1234"));
        QCOMPARE(t.textAt(1, field("cot_emp_apvc")), QStringLiteral("2000"));
        QCOMPARE(t.textAt(1, field("rut_afi_volun")), QStringLiteral("12345678"));
        QCOMPARE(t.textAt(1, field("dv_afi_volun")), QStringLiteral("5"));
        QCOMPARE(t.textAt(2, field("cotiza_apvc")), QStringLiteral("500"));
        QCOMPARE(t.textAt(2, field("cot_emp_apvc")), QString());
        QCOMPARE(t.textAt(2, field("rut_afi_volun")), QStringLiteral("7654321"));
        QCOMPARE(t.textAt(2, field("dv_afi_volun")), QStringLiteral("6"));
        QCOMPARE(contents(*l).first(), before.first()); // the line above is untouched
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(1, columnOf("cotiza_apvc")));
        QVERIFY(t.hasUnsavedChanges());

        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(contents(*l), before);
        QVERIFY(!t.hasUnsavedChanges());
        QVERIFY(!t.canUndo());
    }

    // A RUT with its check gives the check column beside it, unless the
    // block has a check of its own there.
    void checkColumnOfAPastedRut_data() {
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("check");
        QTest::newRow("check with the RUT, its column empty") << "12.345.678-5\t\n"
                                                              << "5";
        QTest::newRow("check in its own column") << "12345678\t5\n"
                                                 << "5";
        QTest::newRow("the column's check wins") << "12.345.678-5\tk\n"
                                                 << "K";
        QTest::newRow("RUT alone: the check stays") << "12.345.678\n"
                                                    << "7";
    }

    void checkColumnOfAPastedRut() {
        QFETCH(QString, block);
        QFETCH(QString, check);
        auto l = threeLines();
        RxMem& t = l->table();
        t.moveTo(1);
        t.edit();
        t.setText(field("dv_afi_volun"), u"7");
        t.post();
        showGrid(*l);
        clickCell(*l, 1, columnOf("rut_afi_volun"));
        paste(*l, block);
        QCOMPARE(t.textAt(1, field("rut_afi_volun")), QStringLiteral("12345678"));
        QCOMPARE(t.textAt(1, field("dv_afi_volun")), check);
    }

    // Pasted lines are checked again, as lines stored by typing are: the
    // problems panel follows.
    void pastedLinesAreCheckedAgain() {
        auto l = threeLines();
        showGrid(*l);
        ProblemsModel* p = l->problems();
        const auto problem = [&](int row) {
            return p->hasProblem(l->table().bookmarkAt(row).slot, field("sexo"));
        };
        QVERIFY(!problem(1));
        clickCell(*l, 1, columnOf("sexo"));
        paste(*l, QStringLiteral("X\n"));
        QCOMPARE(l->table().textAt(1, field("sexo")), QStringLiteral("X"));
        QTRY_VERIFY(problem(1));
        QVERIFY(!problem(0) && !problem(2));
        paste(*l, QStringLiteral("m\n")); // letters become capitals, as typed
        QCOMPARE(l->table().textAt(1, field("sexo")), QStringLiteral("M"));
        QTRY_VERIFY(!problem(1));
    }

    // A value a field cannot take stops the whole paste, before anything
    // changes, and the report names the line the user sees; so does a block
    // wider than the columns left.
    void refusedBlockChangesNothing_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("block");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("decimals in whole pesos")
            << 0 << "impo_afp"
            << "1.000\t15\n1234,5\t16\n"
            << "Línea 2: [27] Impo. afp: «1234,5» tiene decimales, y este campo lleva un número "
               "entero.";
        QTest::newRow("a RUT that is no RUT") << 1 << "rut"
                                              << "1.23.45-6\n"
                                              << "Línea 2: [1] Rut: «1.23.45-6» no es un RUT";
        QTest::newRow("a letter the file cannot hold")
            << 0 << "ape_pat"
            << "ROJAS\nłukasz\n"
            << "Línea 2: [3] Apellido Paterno: «łUKASZ» tiene «ł»";
        QTest::newRow("a text longer than its field")
            << 0 << "ape_pat"
            << "ROJAS\nAAAAAAAAAABBBBBBBBBBCCCCCCCCCCD\n"
            << "Línea 2: [3] Apellido Paterno: «AAAAAAAAAABBBBBBBBBBCCCCCCCCCCD» tiene 31 "
               "caracteres y el campo admite 30.";
        QTest::newRow("in a line still to add, nothing asked")
            << 1 << "asig_fam"
            << "1\n2\nabc\n"
            << "Línea 4: [22] Asig. Familiar: «ABC» no es un número.";
        QTest::newRow("wider than the columns left")
            << 0 << "dv_pag_subs"
            << "K\t1\t2\n"
            << "lo copiado tiene 3 columnas, y desde la columna «[104] dv» hasta la última hay "
               "solo 2.";
    }

    void refusedBlockChangesNothing() {
        QFETCH(int, row);
        QFETCH(QString, column);
        QFETCH(QString, block);
        QFETCH(QString, refusal);
        auto l = threeLines();
        showGrid(*l);
        const QList<QStringList> before = contents(*l);
        clickCell(*l, row, columnOf(column.toLatin1().constData()));
        d().expectError(refusal);
        paste(*l, block);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(d().last().text.endsWith(QStringLiteral("No se pegó nada.")));
        QCOMPARE(contents(*l), before);
        QVERIFY(!l->table().hasUnsavedChanges());
        QVERIFY(!l->table().canUndo());
    }

    // More rows than lines from the current one: a question first; Cancel
    // pastes nothing, Ok adds the lines missing at the end and fills them.
    void moreRowsThanLinesAsksFirst_data() {
        QTest::addColumn<bool>("add");
        QTest::newRow("cancel") << false;
        QTest::newRow("ok") << true;
    }

    void moreRowsThanLinesAsksFirst() {
        QFETCH(bool, add);
        auto l = threeLines();
        showGrid(*l);
        const QList<QStringList> before = contents(*l);
        clickCell(*l, 2, columnOf("nombres"));
        d().expectAsk(QStringLiteral("Se pegarán 4 filas, pero hay solo 1 línea desde la actual. "
                                     "¿Agregar las 3 líneas que faltan?"),
                      add ? ui::Button::Ok : ui::Button::Cancel);
        paste(*l, QStringLiteral("ana\nbeatriz\ncarla\ndaniela\n"));
        QVERIFY2(d().done(), qPrintable(d().problems()));
        if (!add) {
            QCOMPARE(contents(*l), before);
            QVERIFY(!l->table().hasUnsavedChanges());
            return;
        }
        RxMem& t = l->table();
        QCOMPARE(t.recordCount(), 6);
        QCOMPARE(t.textAt(1, field("nombres")), before[1][field("nombres")]);
        const QStringList names{QStringLiteral("ANA"), QStringLiteral("BEATRIZ"),
                                QStringLiteral("CARLA"), QStringLiteral("DANIELA")};
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(t.textAt(2 + i, field("nombres")), names[i]);
        QCOMPARE(t.textAt(5, field("ape_pat")), QString()); // otherwise empty
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(2, columnOf("nombres")));
        // The lines added and the cells filled are one change.
        const QList<QStringList> pasted = contents(*l);
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(contents(*l), before);
        QVERIFY(!t.hasUnsavedChanges());
        QTest::keyClick(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(contents(*l), pasted);
    }

    // A line being edited is stored before the paste, as before any other
    // command on the table, and keeps what was typed into it.
    void pendingLineIsStoredFirst() {
        auto l = threeLines();
        showGrid(*l);
        const QString motherBefore = l->table().textAt(1, field("ape_mat"));
        clickCell(*l, 1, columnOf("ape_pat"));
        typeInGrid(l->grid(), QStringLiteral("soto"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(l->table().state(), RxMem::State::Edit);
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(1, columnOf("ape_mat")));
        paste(*l, QStringLiteral("vera\n"));
        RxMem& t = l->table();
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(t.textAt(1, field("ape_pat")), QStringLiteral("SOTO"));
        QCOMPARE(t.textAt(1, field("ape_mat")), QStringLiteral("VERA"));
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(t.textAt(1, field("ape_mat")), motherBefore);
        QCOMPARE(t.textAt(1, field("ape_pat")), QStringLiteral("SOTO"));
    }
};

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"
