// The listing's grid: editing by lines, adding and deleting lines, the
// selection, the line-number column that stays in place, and the keys and
// clicks a user moves with.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/util/CodePage.h"
#include "engine/util/NumberText.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// The line numbers stand beside their rows: for every row on the screen, the
// line-number cell and the data cells start at the same height.
QString misalignment(DeclarationGrid* g) {
    QAbstractItemView* f = g->frozenView();
    if (!f->isVisible()) return QStringLiteral("the line-number column is hidden");
    const int rows = g->model()->rowCount();
    if (rows == 0) return {};
    int first = g->rowAt(0);
    int last = g->rowAt(g->viewport()->height() - 1);
    if (last < 0) last = rows - 1;
    for (int r = first; r <= last; ++r) {
        const int data =
            g->viewport()->mapToGlobal(g->visualRect(g->model()->index(r, 1)).topLeft()).y();
        const int number =
            f->viewport()->mapToGlobal(f->visualRect(g->model()->index(r, 0)).topLeft()).y();
        if (data != number)
            return QStringLiteral("line %1: number at y=%2, data at y=%3")
                .arg(r + 1)
                .arg(number)
                .arg(data);
    }
    return {};
}

// The current cell is on the screen, whole, and not under the line numbers.
QString currentCellHidden(DeclarationGrid* g) {
    const QModelIndex c = g->currentIndex();
    if (!c.isValid()) return QStringLiteral("no current cell");
    const QRect cell = g->visualRect(c);
    const QRect free = g->viewport()->rect().adjusted(g->frozenView()->columnWidth(0), 0, 0, 0);
    if (c.column() == 0 || !free.contains(cell))
        return QStringLiteral("current cell (%1, %2) at %3,%4 %5x%6 outside %7,%8 %9x%10")
            .arg(c.row())
            .arg(c.column())
            .arg(cell.x())
            .arg(cell.y())
            .arg(cell.width())
            .arg(cell.height())
            .arg(free.x())
            .arg(free.y())
            .arg(free.width())
            .arg(free.height());
    return {};
}

// "ctrl+end, down" -> the steps of a key sequence.
QStringList steps(const char* sequence) {
    return QString::fromLatin1(sequence).split(QStringLiteral(", "));
}

// Lets the views lay themselves out, as they do before the user sees them.
void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

class TestGrid : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    // Every prompt a test does not expect is a failure, never a box that
    // waits for an answer.
    DialogScript d;

    // Keys as a user presses them: to whatever has the focus.
    void press(const QString& step) {
        QWidget* w = QApplication::focusWidget();
        QVERIFY2(w, qPrintable(step));
        if (step == QLatin1String("ctrl+end"))
            QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier);
        else if (step == QLatin1String("ctrl+home"))
            QTest::keyClick(w, Qt::Key_Home, Qt::ControlModifier);
        else if (step == QLatin1String("home"))
            QTest::keyClick(w, Qt::Key_Home);
        else if (step == QLatin1String("left"))
            QTest::keyClick(w, Qt::Key_Left);
        else if (step == QLatin1String("down"))
            QTest::keyClick(w, Qt::Key_Down);
        else if (step == QLatin1String("up"))
            QTest::keyClick(w, Qt::Key_Up);
        else if (step == QLatin1String("enter"))
            QTest::keyClick(w, Qt::Key_Return);
        else if (step == QLatin1String("tab"))
            QTest::keyClick(w, Qt::Key_Tab);
        else if (step == QLatin1String("backtab"))
            QTest::keyClick(w, Qt::Key_Backtab, Qt::ShiftModifier);
        else if (step == QLatin1String("insert"))
            QTest::keyClick(w, Qt::Key_Insert);
        else if (step == QLatin1String("pagedown"))
            QTest::keyClick(w, Qt::Key_PageDown);
        else if (step == QLatin1String("pageup"))
            QTest::keyClick(w, Qt::Key_PageUp);
        else if (step == QLatin1String("eliminar")) {
            d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?"), ui::Button::Ok);
            w->window()->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
        } else if (step == QLatin1String("ctrl+delete")) {
            d().expectAsk(QString(), ui::Button::Ok);
            QTest::keyClick(w, Qt::Key_Delete, Qt::ControlModifier);
        } else if (step.startsWith(QLatin1String("type "))) {
            typeInGrid(w, step.mid(5));
        } else
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }

private slots:
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // Number cells of the current column on the selected lines are summed,
    // counted and averaged in the status bar, grouped as the locale groups
    // them; cells without a value are not counted; a text column shows no
    // totals, nor does a single line.
    void selectionTotals_data() {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QStringList>("values"); // lines 1 to 4; "" leaves no value
        QTest::addColumn<QString>("shown");      // empty: no totals
        QTest::newRow("whole pesos")
            << u"impo_afp"_s << QStringList{u"1000000"_s, u"2500"_s, u"3000"_s, u"7"_s}
            << u"Suma: 1.005.500   Cantidad: 3   Promedio: 335.166,67"_s;
        QTest::newRow("a cell without value")
            << u"impo_afp"_s << QStringList{u"10"_s, u""_s, u"20"_s, u"7"_s}
            << u"Suma: 30   Cantidad: 2   Promedio: 15"_s;
        QTest::newRow("decimals") << u"cot_pactada"_s
                                  << QStringList{u"1,5"_s, u"2,25"_s, u"0"_s, u"7"_s}
                                  << u"Suma: 3,75   Cantidad: 3   Promedio: 1,25"_s;
        QTest::newRow("a text column")
            << u"nombres"_s << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s} << QString();
    }

    void selectionTotals() {
        QFETCH(QString, fieldName);
        QFETCH(QStringList, values);
        QFETCH(QString, shown);
        auto l = listingOf(tmp_, 5);
        const int f = field(fieldName.toLatin1().constData());
        for (int r = 0; r < 4; ++r) {
            l->table().moveTo(r + 1);
            l->table().edit();
            if (values[r].isEmpty())
                l->table().clear(f);
            else
                l->table().setText(f, values[r]);
            l->table().post();
        }
        showGrid(*l);
        auto* totals = l->findChild<QLabel*>(u"LabelTotales"_s);
        QVERIFY(totals);
        const int column = DeclarationModel::columnOf(f);
        clickCell(*l, 1, column);
        for (int r : {2, 3})
            clickCell(*l, r, column, Qt::ControlModifier);
        if (shown.isEmpty()) {
            QTest::qWait(20);
            QVERIFY(totals->isHidden());
            return;
        }
        QTRY_COMPARE(totals->text(), shown);
        QVERIFY(totals->isVisible());
        clickCell(*l, 4, column); // one line alone: no totals
        QTRY_VERIFY(totals->isHidden());
    }

    // A block of cells chosen with Shift+arrows: every number cell in it.
    void blockTotals() {
        auto l = listingOf(tmp_, 3);
        const int pay = field("impo_afp"), fund = field("cot_obli_afp");
        QCOMPARE(fund, pay + 1);
        for (int r = 0; r < 2; ++r) {
            l->table().moveTo(r);
            l->table().edit();
            l->table().setNumber(pay, 1000 * (r + 1));
            l->table().setNumber(fund, 100 * (r + 1));
            l->table().post();
        }
        showGrid(*l);
        auto* totals = l->findChild<QLabel*>(u"LabelTotales"_s);
        clickCell(*l, 0, DeclarationModel::columnOf(pay));
        QTest::keyClick(l->grid(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        QTRY_COMPARE(totals->text(), u"Suma: 3.300   Cantidad: 4   Promedio: 825"_s);
        QTest::keyClick(l->grid(), Qt::Key_Left); // the block goes
        QTRY_VERIFY(totals->isHidden());
    }

    void modelIsConsistent() {
        auto l = listingOf(tmp_, 5);
        QAbstractItemModelTester tester(l->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        showGrid(*l);
        l->table().moveTo(2);
        l->grid()->showTableCursor();
        l->grid()->insertLine();
        QTest::keyClick(l->grid(), Qt::Key_Escape);
        l->grid()->appendLine();
        l->grid()->cancelPending();
        l->table().moveTo(1);
        l->table().deleteRecord();
        QCOMPARE(l->model()->rowCount(), 4);
        QCOMPARE(l->model()->columnCount(), 106);
        QCOMPARE(l->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Línea"));
        QCOMPARE(l->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("[1] Rut"));
        QCOMPARE(l->model()->headerData(105, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("[105] Centro costo"));
    }

    // The line number is the row's present position.
    void lineNumbersAfterDelete() {
        auto l = listingOf(tmp_, 10);
        showGrid(*l);
        clickCell(*l, 2, 3);
        d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?"), ui::Button::Ok);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const auto q = d().shown().last();
        QCOMPARE(q.caption, QStringLiteral("Atención"));
        QCOMPARE(q.defaultButton, ui::Button::Cancel);
        QCOMPARE(l->model()->rowCount(), 9);
        for (int r = 0; r < 9; ++r)
            QCOMPARE(
                l->model()->data(l->model()->index(r, 0), DeclarationModel::LineNumberRole).toInt(),
                r + 1);
        QCOMPARE(l->model()->data(l->model()->index(2, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("4"));
        QCOMPARE(l->grid()->currentIndex().row(), 2);
    }

    void deleteAsksAndDeletesOnlyTheCurrentLine() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        clickCell(*l, 1, 3);
        for (int r : {2, 3, 4})
            clickCell(*l, r, 3, Qt::ControlModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{1, 2, 3, 4}));
        d().expectAsk(QString(), ui::Button::Cancel);
        l->deleteLines();
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6}));
        d().expectAsk(QString(), ui::Button::Ok);
        l->deleteLines();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 6})); // only the current line, the fifth
    }

    void deleteOnEmptyTableAsksNothing() {
        auto l = listingOf(tmp_, 0);
        showGrid(*l);
        l->deleteLines();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(d().shown().isEmpty());
    }

    void selectionRules() {
        auto l = listingOf(tmp_, 8);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        clickCell(*l, 2, 3);
        QCOMPARE(selectedRows(*l), QList<int>{2});
        clickCell(*l, 5, 3, Qt::ControlModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{2, 5}));
        clickCell(*l, 2, 3, Qt::ControlModifier); // Ctrl+click takes it out again
        QCOMPARE(selectedRows(*l), QList<int>{5});
        clickCell(*l, 4, 3); // a plain click: that row only
        QCOMPARE(selectedRows(*l), QList<int>{4});
        QTest::keyClick(g, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(g, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{4, 5, 6}));
        QTest::keyClick(g, Qt::Key_Up, Qt::ShiftModifier); // back towards where it started
        QCOMPARE(selectedRows(*l), (QList<int>{4, 5}));
        QTest::keyClick(g, Qt::Key_Right); // left and right keep it
        QCOMPARE(selectedRows(*l), (QList<int>{4, 5}));
        QTest::keyClick(g, Qt::Key_Up); // a plain move empties it
        QVERIFY(selectedRows(*l).isEmpty());
        QCOMPARE(l->table().recNo(), 5);

        clickCell(*l, 1, 3);
        QTest::keyClick(g, Qt::Key_Escape);
        QVERIFY(selectedRows(*l).isEmpty());

        // Selected lines are remembered as lines, not as positions.
        clickCell(*l, 6, 3);
        l->table().moveTo(0);
        l->grid()->showTableCursor();
        l->grid()->insertLine();
        l->table().setText(field("ape_pat"), u"NUEVA");
        l->grid()->postPending(false);
        QCOMPARE(selectedRows(*l), QList<int>{7});
        QCOMPARE(l->model()->selectedBookmarks().size(), 1);
    }

    void typingIsCapitalised_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("ascii letters") << QStringLiteral("abc") << QStringLiteral("ABC");
        QTest::newRow("ñ and accents") << QStringLiteral("muñoz é") << QStringLiteral("MUÑOZ É");
        QTest::newRow("ÿ, œ; ß and µ have no capital in the file")
            << QStringLiteral("ÿœ ßµ") << QStringLiteral("ŸŒ ßµ");
        QTest::newRow("digits and capitals") << QStringLiteral("Ab1") << QStringLiteral("AB1");
    }

    void typingIsCapitalised() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        clickCell(*l, 1, 3); // ape_pat
        QTest::keyClick(l->grid(), Qt::Key_F2);
        auto* editor = l->grid()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        typeText(editor, typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(1, field("ape_pat")), stored);

        // The first key typed on a cell starts the editor; it is capitalised too.
        clickCell(*l, 2, 5); // nombres
        typeInGrid(l->grid(), QStringLiteral("x"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(l->table().textAt(2, field("nombres")), QStringLiteral("X"));
    }

    // Enter stores the line. A value the field refuses is reported and
    // stays in its cell to be corrected; the line stays in edit mode.
    void enterStoresTheLine() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        clickCell(*l, 0, 3);
        typeInGrid(l->grid(), QStringLiteral("soto"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // to ape_mat, line still pending
        QCOMPARE(l->table().state(), RxMem::State::Edit);
        QTest::keyClick(l->grid(), Qt::Key_Return);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(0, field("ape_pat")), QStringLiteral("SOTO"));

        clickCell(*l, 0, 3);
        typeInGrid(l->grid(), QStringLiteral("rojas"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        clickCell(*l, 0, 28); // cot_obli_afp, a number
        typeInGrid(l->grid(), QStringLiteral("12X"));
        d().expectError(QStringLiteral("[28] Cot. AFP: «12X» no es un número."));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(l->table().state(), RxMem::State::Edit);
        QCOMPARE(l->table().asText(field("ape_pat")), QStringLiteral("ROJAS"));
        QCOMPARE(l->table().asText(field("cot_obli_afp")), QStringLiteral("2036"));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("12X"));
        QCOMPARE(editor->selectedText(), QStringLiteral("12X")); // typing replaces it
        typeText(editor, QStringLiteral("15"));
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(0, field("cot_obli_afp")), QStringLiteral("15"));
        QCOMPARE(l->table().textAt(0, field("ape_pat")), QStringLiteral("ROJAS"));
    }

    // Tab and a click elsewhere report a refused value too, and keep it in
    // its cell; Escape abandons it.
    void refusedValueIsReported_data() {
        QTest::addColumn<QString>("leave");
        QTest::newRow("tab") << "tab";
        QTest::newRow("click on another line") << "cell";
        QTest::newRow("click on another line's number") << "number";
        QTest::newRow("up arrow") << "up";
    }

    void refusedValueIsReported() {
        QFETCH(QString, leave);
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        const QString before = l->table().textAt(1, field("cot_obli_afp"));
        clickCell(*l, 1, 28);
        typeInGrid(l->grid(), QStringLiteral("abc"));
        d().expectError(QStringLiteral("[28] Cot. AFP: «ABC» no es un número."));
        if (leave == u"cell") {
            clickCell(*l, 0, 5);
        } else if (leave == u"number") {
            QAbstractItemView* numbers = l->grid()->frozenView();
            QTest::mouseClick(numbers->viewport(), Qt::LeftButton, {},
                              numbers->visualRect(l->model()->index(0, 0)).center());
        } else {
            QTest::keyClick(QApplication::focusWidget(), leave == u"up" ? Qt::Key_Up : Qt::Key_Tab);
        }
        QVERIFY2(d().done(), qPrintable(d().problems()));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("ABC"));
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(1, 28));
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(l->table().textAt(1, field("cot_obli_afp")), before);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
    }

    // An arrow key leaves the cell with what was typed in it, on a line
    // the click selected too (emptying the selection put the stored value
    // back into the editor, and the typed one was lost).
    void arrowKeyStoresWhatWasTyped() {
        numtext::setDecimalSeparator(',');
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        clickCell(*l, 1, 28);
        QCOMPARE(selectedRows(*l), QList<int>{1});
        typeInGrid(l->grid(), QStringLiteral("1.234"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(l->grid()->currentIndex(), l->model()->index(0, 28));
        QCOMPARE(l->table().textAt(1, field("cot_obli_afp")), QStringLiteral("1234"));
        QCOMPARE(selectedRows(*l), QList<int>());
        numtext::useSystemDecimalSeparator();
    }

    // What is typed in a cell is read as people write it: thousands with
    // ".", the decimal comma, a RUT with its dots and check character
    // (which goes into its own column). What the field cannot take is
    // refused, naming the field: a decimal in a whole-peso amount, text, a
    // character the file cannot hold.
    void typedValues_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<QString>("checkStored");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, const char* column, const char* typed,
                            const char* stored, const char* check = "", const char* refusal = "") {
            QTest::newRow(name) << QString::fromUtf8(column) << QString::fromUtf8(typed)
                                << QString::fromUtf8(stored) << QString::fromUtf8(check)
                                << QString::fromUtf8(refusal);
        };
        row("thousands", "asig_fam", "1.234", "1234");
        row("millions and decimals", "cot_pactada", "1.234.567,5", "1234567,5");
        row("decimal comma", "tasa_ex_caja", "4,5", "4,5");
        row("decimal point where clear", "cot_pactada", "3.75", "3,75");
        row("RUT with dots and check", "rut", "12.345.678-5", "12345678", "5");
        row("RUT with dash and K", "rut", "9876543-k", "9876543", "K");
        row("RUT with dots only", "rut", "12.345.678", "12345678", "K"); // check kept
        row("voluntary affiliate's RUT", "rut_afi_volun", "7.654.321-6", "7654321", "6");
        row("decimal in whole pesos", "impo_afp", "1234,5", "", "",
            "[27] Impo. afp: «1234,5» tiene decimales, y este campo lleva un número entero.");
        row("ambiguous point", "cot_pactada", "1.234", "", "",
            "[79] Cot. pactada: «1.234» puede leerse como 1234 o como 1,234: escríbalo sin "
            "separador de miles y con «,» para los decimales.");
        row("letters", "asig_fam", "abc", "", "", "[22] Asig. Familiar: «ABC» no es un número.");
        row("RUT with misplaced dots", "rut", "1.23.45-6", "", "",
            "[1] Rut: «1.23.45-6» no es un RUT; escríbalo como 12.345.678-5 o 12345678.");
        row("letter the file cannot hold", "ape_pat", "łukasz", "", "",
            "[3] Apellido Paterno: «łUKASZ» tiene «ł», que el archivo no puede guardar: escriba "
            "el texto sin ese carácter.");
    }

    void typedValues() {
        QFETCH(QString, column);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, checkStored);
        QFETCH(QString, refusal);
        numtext::setDecimalSeparator(',');
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        const int f = field(column.toLatin1().constData());
        const QString before = l->table().textAt(0, f);
        if (kFields[std::size_t(f)].value == Value::Rut) {
            RxMem& t = l->table();
            t.moveTo(0);
            t.edit();
            t.setText(checkFieldOf(f), u"K");
            t.post();
        }
        clickCell(*l, 0, f + 1);
        typeInGrid(l->grid(), typed);
        if (!refusal.isEmpty()) d().expectError(refusal);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        if (refusal.isEmpty()) {
            QCOMPARE(l->table().state(), RxMem::State::Browse);
            QCOMPARE(l->table().textAt(0, f), stored);
            if (!checkStored.isEmpty())
                QCOMPARE(l->table().textAt(0, checkFieldOf(f)), checkStored);
        } else {
            // The text stays in the cell; nothing was stored.
            auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            QVERIFY(editor);
            QCOMPARE(editor->text(), cp1252::upper(typed));
            QTest::keyClick(editor, Qt::Key_Escape);
            QCOMPARE(l->table().textAt(0, f), before);
        }
        numtext::useSystemDecimalSeparator();
    }
    void escapeAbandonsTheLine() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        const QString before = l->table().textAt(1, field("ape_pat"));
        clickCell(*l, 1, 3);
        typeInGrid(l->grid(), QStringLiteral("uno"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        typeInGrid(l->grid(), QStringLiteral("dos"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // in the editor
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(1, field("ape_pat")), before);
        QVERIFY(!l->hasUnsavedChanges());

        clickCell(*l, 2, 3); // Escape on the grid, after the editor closed
        typeInGrid(l->grid(), QStringLiteral("tres"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(2, field("ape_pat")), before);
    }

    void insertAndAppendLines() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        clickCell(*l, 1, 3);
        QTest::keyClick(g, Qt::Key_Insert);
        QCOMPARE(l->model()->rowCount(), 4);
        QCOMPARE(g->currentIndex().row(), 1);
        QCOMPARE(l->table().state(), RxMem::State::Insert);
        QCOMPARE(l->model()->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(),
                 QStringLiteral("*"));
        QTest::keyClick(g, Qt::Key_Insert); // still the same new line
        QCOMPARE(l->model()->rowCount(), 4);
        QTest::keyClick(g, Qt::Key_Down); // left untouched: it disappears
        QCOMPARE(l->model()->rowCount(), 3);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3}));
        QCOMPARE(l->table().recNo(), 2);
        QCOMPARE(g->currentIndex().row(), 1);

        QTest::keyClick(g, Qt::Key_Down);
        QTest::keyClick(g, Qt::Key_Down); // from the last line: a new one
        QCOMPARE(l->model()->rowCount(), 4);
        QCOMPARE(g->currentIndex().row(), 3);
        QTest::keyClick(g, Qt::Key_Down); // not another while it is untouched
        QCOMPARE(l->model()->rowCount(), 4);
        typeInGrid(g, QStringLiteral("7"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(ruts(*l).size(), 4);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QVERIFY(l->hasUnsavedChanges());
    }

    // A new line that was left untouched goes when the focus leaves the grid.
    void untouchedNewLineGoesWithTheFocus() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        clickCell(*l, 1, 3);
        QTest::keyClick(l->grid(), Qt::Key_Insert);
        QCOMPARE(l->model()->rowCount(), 4);
        l->grid()->clearFocus();
        QCOMPARE(l->model()->rowCount(), 3);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3}));
        QVERIFY(!l->hasUnsavedChanges());
    }

    void ctrlDeleteAsksTheStandardQuestion_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QList<int>>("left");
        // In Spanish, naming what goes: the line and its RUT, or how many.
        QTest::newRow("none selected")
            << QList<int>{} << QStringLiteral("¿Seguro de Eliminar esta línea?\n\nLínea 4, RUT 4")
            << QList<int>{1, 2, 3, 5};
        QTest::newRow("one selected")
            << QList<int>{1} << QStringLiteral("¿Seguro de Eliminar esta línea?\n\nLínea 2, RUT 2")
            << QList<int>{1, 3, 4, 5};
        QTest::newRow("three selected")
            << QList<int>{0, 2, 4}
            << QStringLiteral("¿Seguro de Eliminar las líneas seleccionadas?\n\nSe eliminarán 3 "
                              "líneas.")
            << QList<int>{2, 4};
    }

    void ctrlDeleteAsksTheStandardQuestion() {
        QFETCH(QList<int>, selected);
        QFETCH(QString, question);
        QFETCH(QList<int>, left);
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        for (int r : selected)
            clickCell(*l, r, 3, Qt::ControlModifier);
        if (selected.isEmpty()) {
            l->table().moveTo(3);
            l->grid()->showTableCursor();
        }
        d().expectAsk(question, ui::Button::Cancel);
        QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(ruts(*l).size(), 5);
        d().expectAsk(question, ui::Button::Ok);
        QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), left);
    }

    void frozenColumnsStayWhileScrolling() {
        auto l = listingOf(tmp_, 50);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        const QRect before = g->frozenView()->geometry();
        QVERIFY(g->frozenView()->isVisible());
        g->horizontalScrollBar()->setValue(g->horizontalScrollBar()->maximum());
        QVERIFY(g->horizontalScrollBar()->value() > 0);
        QCOMPARE(g->frozenView()->geometry(), before);
        QCOMPARE(before.left(), g->verticalHeader()->width() + g->frameWidth());
        QVERIFY(g->verticalHeader()->isVisible());
        g->verticalScrollBar()->setValue(20);
        QCOMPARE(g->rowAt(0), 20);
        QCOMPARE(g->frozenView()->rowAt(0), 20);
        QVERIFY2(misalignment(g).isEmpty(), qPrintable(misalignment(g)));
    }

    // No column title is wider than its column.
    void titlesAreNotClipped() {
        auto l = listingOf(tmp_, 1);
        showGrid(*l);
        const QFontMetrics fm(l->grid()->horizontalHeader()->font());
        for (int c = 0; c < l->model()->columnCount(); ++c) {
            const QString title =
                l->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            QVERIFY2(fm.horizontalAdvance(title) < l->grid()->columnWidth(c), qPrintable(title));
        }
    }

    // ---- deleting a new line that was never filled --------------------------------

    // The question is about the line the user saw as current; OK deletes that
    // line and nothing else. For an untouched new line that only removes it.
    void deletingAnUntouchedNewLine_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("button"); // "&Eliminar", else Ctrl+Delete
        QTest::addColumn<int>("newRow");
        for (bool button : {true, false}) {
            const char* how = button ? "Eliminar" : "Ctrl+Delete";
            QTest::addRow("appended, %s", how) << steps("ctrl+end, down") << button << 6;
            QTest::addRow("inserted, %s", how)
                << steps("ctrl+home, down, down, insert") << button << 2;
        }
    }

    void deletingAnUntouchedNewLine() {
        QFETCH(QStringList, steps);
        QFETCH(bool, button);
        QFETCH(int, newRow);
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        for (const QString& s : steps)
            press(s);
        QCOMPARE(l->table().recordCount(), 7);
        QCOMPARE(l->grid()->currentIndex().row(), newRow);

        // Cancel: everything stays as it was, the new line included.
        const QString question = QStringLiteral("¿Seguro de Eliminar esta línea?");
        auto ask = [&] {
            if (button)
                l->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
            else
                QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        };
        d().expectAsk(question, ui::Button::Cancel);
        ask();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(l->table().recordCount(), 7);
        QCOMPARE(l->table().row(), newRow);
        QCOMPARE(l->table().state(), RxMem::State::Insert);

        d().expectAsk(question, ui::Button::Ok);
        ask();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6})); // no real line lost
        QVERIFY(!l->hasUnsavedChanges());
    }

    // A real line the user selected is the one deleted, even when the focus
    // left the grid meanwhile.
    void deletingSelectedLinesBesideANewLine() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        clickCell(*l, 1, 3);
        clickCell(*l, 3, 3, Qt::ControlModifier);
        d().expectAsk(QStringLiteral("¿Seguro de Eliminar las líneas seleccionadas?\n\nSe "
                                     "eliminarán 2 líneas."),
                      ui::Button::Ok);
        QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), (QList<int>{1, 3, 5, 6}));
        QVERIFY(selectedRows(*l).isEmpty());
    }

    // ---- the line-number column --------------------------------------------------

    void lineNumbersStayBesideTheirRows_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("append") << steps("ctrl+end, down");
        QTest::newRow("append, store, up") << steps("ctrl+end, down, enter, up");
        QTest::newRow("append, type, store") << steps("ctrl+end, down, type 7, enter");
        QTest::newRow("insert near the end") << steps("ctrl+end, up, insert");
        QTest::newRow("insert and leave") << steps("ctrl+end, up, insert, up");
        QTest::newRow("delete at the end") << steps("ctrl+end, ctrl+delete");
        QTest::newRow("delete at the top") << steps("ctrl+home, ctrl+delete");
        QTest::newRow("page down and up") << steps("ctrl+home, pagedown, pagedown, pageup");
    }

    void lineNumbersStayBesideTheirRows() {
        QFETCH(QStringList, steps);
        auto l = listingOf(tmp_, 80);
        showGrid(*l);
        settle();
        QCOMPARE(misalignment(l->grid()), QString());
        for (const QString& s : steps) {
            press(s);
            settle();
            QVERIFY2(misalignment(l->grid()).isEmpty(),
                     qPrintable(s + QLatin1String(": ") + misalignment(l->grid())));
        }
    }

    // Scrolling by any means, and a new load, keep the numbers beside their rows.
    void lineNumbersFollowScrollingAndReload() {
        auto l = listingOf(tmp_, 80);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        for (int value :
             {g->verticalScrollBar()->maximum(), 7, 0, g->verticalScrollBar()->maximum() - 1,
              g->verticalScrollBar()->maximum()}) {
            g->verticalScrollBar()->setValue(value);
            settle();
            QVERIFY2(misalignment(g).isEmpty(), qPrintable(misalignment(g)));
        }
        // The wheel over the line numbers scrolls the rows.
        const int before = g->verticalScrollBar()->value();
        QWheelEvent wheel(QPointF(5, 5), g->frozenView()->viewport()->mapToGlobal(QPointF(5, 5)),
                          QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(g->frozenView()->viewport(), &wheel);
        settle();
        QVERIFY(g->verticalScrollBar()->value() < before);
        QVERIFY2(misalignment(g).isEmpty(), qPrintable(misalignment(g)));

        l->load(tmp_.filePath(QStringLiteral("entrada-80.txt")), FileForm::Position);
        settle();
        QVERIFY2(misalignment(g).isEmpty(), qPrintable(misalignment(g)));
    }

    // As wide as the largest line number needs, and wider if the user drags it.
    void lineNumberColumnFitsTheLargestNumber() {
        auto l = listingOf(tmp_, 0);
        l->model()->refill([&] {
            RxMem& t = l->table();
            for (int i = 1; i <= 100000; ++i) {
                t.append();
                t.setNumber(field("rut"), i);
                t.post();
            }
        });
        showGrid(*l);
        QTableView* f = l->grid()->frozenView();
        const int width = f->horizontalHeader()->sectionSize(0);
        QVERIFY2(width >= f->fontMetrics().horizontalAdvance(QStringLiteral("100000")) + 8,
                 qPrintable(QString::number(width)));
        QCOMPARE(l->grid()->columnWidth(0), width);

        const QPoint edge(width - 1, f->horizontalHeader()->height() / 2);
        QTest::mousePress(f->horizontalHeader()->viewport(), Qt::LeftButton, {}, edge);
        QTest::mouseMove(f->horizontalHeader()->viewport(), edge + QPoint(30, 0));
        QTest::mouseRelease(f->horizontalHeader()->viewport(), Qt::LeftButton, {},
                            edge + QPoint(30, 0));
        QVERIFY2(f->horizontalHeader()->sectionSize(0) > width,
                 qPrintable(QString::number(f->horizontalHeader()->sectionSize(0))));
        QCOMPARE(l->grid()->columnWidth(0), f->horizontalHeader()->sectionSize(0));
        QCOMPARE(f->width(), f->horizontalHeader()->sectionSize(0));
        settle();
        QVERIFY2(currentCellHidden(l->grid()).isEmpty(), qPrintable(currentCellHidden(l->grid())));
    }

    // ---- moving the cell cursor ----------------------------------------------------

    // The cell cursor never goes under the line numbers, and the current cell
    // is always shown whole.
    void cellCursorStaysOnData_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("expectedRow");
        QTest::addColumn<int>("expectedColumn");
        QTest::newRow("Home") << 5 << 12 << QStringLiteral("home") << 5 << 1;
        QTest::newRow("Ctrl+Home") << 5 << 12 << QStringLiteral("ctrl+home") << 0 << 1;
        QTest::newRow("Left on the first data cell") << 5 << 1 << QStringLiteral("left") << 5 << 1;
        QTest::newRow("Tab past the last cell") << 5 << 105 << QStringLiteral("tab") << 6 << 1;
        QTest::newRow("Shift+Tab on the first cell")
            << 5 << 1 << QStringLiteral("backtab") << 4 << 105;
        QTest::newRow("click on a line number")
            << 5 << 40 << QStringLiteral("click number 8") << 8 << 1;
        QTest::newRow("click on the row indicator")
            << 5 << 40 << QStringLiteral("click indicator 9") << 9 << 1;
    }

    void cellCursorStaysOnData() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, action);
        QFETCH(int, expectedRow);
        QFETCH(int, expectedColumn);
        auto l = listingOf(tmp_, 30);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        clickCell(*l, row, column);
        if (action.startsWith(QLatin1String("click "))) {
            const int target = action.section(QLatin1Char(' '), 2).toInt();
            QWidget* where = action.contains(QLatin1String("number"))
                                 ? g->frozenView()->viewport()
                                 : g->verticalHeader()->viewport();
            const QRect rowRect = g->frozenView()->visualRect(g->model()->index(target, 0));
            QTest::mouseClick(where, Qt::LeftButton, {},
                              QPoint(where->width() / 2, rowRect.center().y()));
            QCOMPARE(selectedRows(*l), QList<int>{target});
        } else {
            press(action);
        }
        settle();
        QCOMPARE(g->currentIndex().row(), expectedRow);
        QCOMPARE(g->currentIndex().column(), expectedColumn);
        QCOMPARE(l->table().row(), expectedRow);
        QVERIFY2(currentCellHidden(g).isEmpty(), qPrintable(currentCellHidden(g)));
        QVERIFY(g->hasFocus());
    }

    // Tab and Shift+Tab go along the line and on to the next or previous one,
    // storing the line; at the table's ends they stay.
    void tabGoesAlongTheLines_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("expectedRow");
        QTest::addColumn<int>("expectedColumn");
        QTest::newRow("Tab on the last cell of the last line")
            << 4 << 105 << QStringLiteral("") << "tab" << 4 << 105;
        QTest::newRow("Shift+Tab on the first cell of line 1")
            << 0 << 1 << QStringLiteral("") << "backtab" << 0 << 1;
        QTest::newRow("Tab while editing the last cell")
            << 1 << 105 << QStringLiteral("cc7") << "tab" << 2 << 1;
        QTest::newRow("Shift+Tab while editing the first cell")
            << 2 << 1 << QStringLiteral("55") << "backtab" << 1 << 105;
        QTest::newRow("Tab while editing the last cell of the last line")
            << 4 << 105 << QStringLiteral("cc9") << "tab" << 4 << 105;
    }

    void tabGoesAlongTheLines() {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, key);
        QFETCH(int, expectedRow);
        QFETCH(int, expectedColumn);
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        clickCell(*l, row, column);
        if (!typed.isEmpty()) typeInGrid(l->grid(), typed);
        press(key);
        settle();
        QCOMPARE(l->grid()->currentIndex().row(), expectedRow);
        QCOMPARE(l->grid()->currentIndex().column(), expectedColumn);
        QCOMPARE(l->table().recordCount(), 5);
        if (!typed.isEmpty()) {
            const QString stored = l->table().textAt(row, DeclarationModel::fieldOfColumn(column));
            QCOMPARE(stored, typed.toUpper());
            if (expectedRow != row) QCOMPARE(l->table().state(), RxMem::State::Browse);
        }
        QVERIFY2(currentCellHidden(l->grid()).isEmpty(), qPrintable(currentCellHidden(l->grid())));
    }

    // Shift+Up and Shift+Down add to the selection that is there.
    void shiftArrowsAddToTheSelection() {
        auto l = listingOf(tmp_, 10);
        showGrid(*l);
        clickCell(*l, 2, 3);
        clickCell(*l, 4, 3, Qt::ControlModifier);
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{2, 4, 5, 6}));
        QTest::keyClick(l->grid(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{2, 4, 5}));

        clickCell(*l, 8, 3, Qt::ControlModifier); // a Ctrl+click starts a new stretch
        QTest::keyClick(l->grid(), Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{2, 4, 5, 7, 8}));
    }

    // ---- the current line is shown ---------------------------------------------------

    void currentLineShownAfterChanges_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("scrollAway");
        QTest::newRow("delete line 1") << steps("ctrl+home, ctrl+delete") << false;
        QTest::newRow("Eliminar on line 1") << steps("ctrl+home, eliminar") << false;
        QTest::newRow("Eliminar on the last line when scrolled away")
            << steps("ctrl+end, eliminar") << true;
        QTest::newRow("delete the last line") << steps("ctrl+end, ctrl+delete") << false;
        QTest::newRow("delete line 1 when scrolled away")
            << steps("ctrl+home, ctrl+delete") << true;
        QTest::newRow("insert when scrolled away") << steps("ctrl+home, insert") << true;
        QTest::newRow("append when scrolled away") << steps("ctrl+end, down") << true;
    }

    void currentLineShownAfterChanges() {
        QFETCH(QStringList, steps);
        QFETCH(bool, scrollAway);
        auto l = listingOf(tmp_, 80);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        for (const QString& s : steps) {
            if (scrollAway && s == steps.last()) {
                QScrollBar* v = g->verticalScrollBar();
                v->setValue(l->table().row() > 40 ? 0 : v->maximum());
                settle();
            }
            press(s);
        }
        settle();
        QVERIFY2(currentCellHidden(g).isEmpty(), qPrintable(currentCellHidden(g)));
    }

    void currentLineShownAfterLoadAndMultiDelete() {
        auto l = listingOf(tmp_, 80);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        settle();
        QCOMPARE(g->currentIndex().row(), 0); // a file opens at its first line
        QVERIFY2(currentCellHidden(g).isEmpty(), qPrintable(currentCellHidden(g)));

        clickCell(*l, 70, 3);
        for (int r : {72, 75, 79})
            clickCell(*l, r, 3, Qt::ControlModifier);
        press(QStringLiteral("ctrl+delete"));
        settle();
        QCOMPARE(l->table().recordCount(), 76);
        QVERIFY2(currentCellHidden(g).isEmpty(), qPrintable(currentCellHidden(g)));
    }

    void currentLineShownAfterWrite() {
        auto l = listingOf(tmp_, 80);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        clickCell(*l, 3, 3);
        g->verticalScrollBar()->setValue(0); // the last line far below
        d().expectSave(tmp_.filePath(QStringLiteral("escrito.txt")));
        const ModalAction modal = whenModal(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        settle();
        QCOMPARE(g->currentIndex().row(), 3); // the line that was current stays current
        QCOMPARE(l->table().row(), 3);
        QVERIFY2(currentCellHidden(g).isEmpty(), qPrintable(currentCellHidden(g)));
    }

    // ---- what a screen reader gets ---------------------------------------------------

    void lineNumbersAreReadAloud() {
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(l->grid());
        QVERIFY(grid && grid->tableInterface());
        for (int r = 0; r < 5; ++r) {
            QAccessibleInterface* cell = grid->tableInterface()->cellAt(r, 0);
            QVERIFY(cell);
            QCOMPARE(cell->text(QAccessible::Name), QString::number(r + 1));
        }
        QCOMPARE(grid->tableInterface()->cellAt(2, 1)->text(QAccessible::Name),
                 QStringLiteral("3"));
        QVERIFY(!grid->text(QAccessible::Name).isEmpty());
    }
};

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
