// Filtering and sorting the listing: which lines show and in what order,
// with the file's own order and line numbers kept; the commands under a
// filter act on the lines shown only, and a file written is always every
// line in file order.

#include "Generator.h"
#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "ui/app/AppMessage.h"
#include "ui/listing/ColumnFilterDialog.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitSelFormato.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// The file's line numbers of the rows shown, top to bottom.
QList<int> shownLines(TFrmSolvanta& l) {
    QList<int> out;
    for (int r = 0; r < l.model()->rowCount(); ++r)
        out << l.model()->index(r, 0).data(DeclarationModel::LineNumberRole).toInt();
    return out;
}

QStringList column(TFrmSolvanta& l, const char* name) {
    QStringList out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        out << l.table().textAt(r, field(name)).trimmed();
    return out;
}

// A click in the middle of a column's title.
void clickTitle(TFrmSolvanta& l, int column) {
    DeclarationGrid* g = l.grid();
    QHeaderView* header = column == 0 ? g->frozenView()->horizontalHeader() : g->horizontalHeader();
    if (column > 0) g->scrollTo(g->model()->index(g->currentIndex().row(), column));
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

QString viewText(TFrmSolvanta& l) {
    auto* label = ctl<QLabel>(&l, "LabelFiltro");
    return label->isVisible() ? label->text() : QString();
}

// Alt+Down on a cell of the column opens its filter box, which `inBox` answers.
void filterBox(TFrmSolvanta& l, const char* name, std::function<void(QWidget*)> inBox) {
    // The window is active again after a box, as on a desktop.
    l.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&l));
    clickCell(l, 0, columnOf(name));
    const ModalAction modal = whenModal([&](QWidget* w) {
        QVERIFY(qobject_cast<ColumnFilterDialog*>(w));
        inBox(w);
        if (w->isVisible()) static_cast<QDialog*>(w)->reject();
    });
    QTest::keyClick(l.grid(), Qt::Key_Down, Qt::AltModifier);
    QVERIFY(modal.ran());
    l.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&l));
}

// Chooses these values in the box's list and presses Filtrar.
void chooseValues(QWidget* box, const QStringList& values) {
    auto* list = ctl<QListWidget>(box, "ListaValores");
    for (int i = 0; i < list->count(); ++i)
        for (const QString& v : values)
            if (list->item(i)->text().startsWith(v + u"   ("_s)) list->item(i)->setSelected(true);
    click(box, "BtnFiltrar");
}

const QStringList kSurnames{u"PEREZ"_s, u"ÁLVAREZ"_s, u"MUÑOZ"_s, u""_s, u"BRAVO"_s};

} // namespace

class TestFilter : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // Five lines, RUT 1 to 5, whose paternal surnames are kSurnames, the
    // changes taken as the file's (written), so no line shows as changed.
    OpenListing surnames() {
        OpenListing l = listingOf(tmp_, 5);
        RxMem& t = l->table();
        for (int r = 0; r < t.recordCount(); ++r) {
            t.moveTo(r);
            t.edit();
            t.setText(field("ape_pat"), kSurnames[r]);
            t.post();
        }
        t.markSaved();
        t.first();
        return l;
    }

    // Writes every line by position with "Crear Archivo" to `path`.
    void write(TFrmSolvanta& l, const QString& path) {
        d().expectSave(path);
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* format = qobject_cast<TFrmSelFormato*>(w);
            QVERIFY(format);
            format->setItemIndex(0);
            click(format, "BitBtn1");
        });
        l.findChild<QToolButton*>(u"SpeedButton1"_s)->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // A click on a title sorts by its column, a second click the other way,
    // a third gives the file's order back; the line numbers stay the file's
    // and the table's order never changes.
    void titleClicksSort() {
        auto l = surnames();
        showGrid(*l);
        const int title = columnOf("ape_pat");
        clickTitle(*l, title);
        QCOMPARE(shownLines(*l), (QList<int>{2, 5, 3, 1, 4})); // Á as A, the empty one last
        QVERIFY2(viewText(*l).contains(u"orden: [3] Apellido Paterno ascendente"_s),
                 qPrintable(viewText(*l)));
        QCOMPARE(l->grid()->horizontalHeader()->sortIndicatorSection(), title);
        clickTitle(*l, title);
        QCOMPARE(shownLines(*l), (QList<int>{1, 3, 5, 2, 4}));
        QCOMPARE(l->grid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
        clickTitle(*l, title);
        QCOMPARE(shownLines(*l), (QList<int>{1, 2, 3, 4, 5}));
        QVERIFY(viewText(*l).isEmpty());
        // Sorted by a number, then back with the line numbers' title.
        clickTitle(*l, columnOf("rut"));
        clickTitle(*l, columnOf("rut"));
        QCOMPARE(shownLines(*l), (QList<int>{5, 4, 3, 2, 1}));
        clickTitle(*l, 0);
        QCOMPARE(shownLines(*l), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5}));
    }

    // The column's box lists its values with their counts; chosen values
    // filter; a typed text filters by what the cells contain and takes the
    // place of the column's filter; the status bar says how many lines show
    // and of how many; "Mostrar todas" brings every line back.
    void columnFilterBox() {
        auto l = surnames();
        showGrid(*l);
        QStringList listed;
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            auto* list = ctl<QListWidget>(w, "ListaValores");
            for (int i = 0; i < list->count(); ++i)
                listed << list->item(i)->text();
            // Every button in its own place.
            const QList<QPushButton*> buttons = w->findChildren<QPushButton*>();
            QCOMPARE(buttons.size(), 5);
            for (QPushButton* b : buttons)
                for (QPushButton* other : buttons)
                    QVERIFY2(b == other || !b->geometry().intersects(other->geometry()),
                             qPrintable(b->text() + u" / "_s + other->text()));
            chooseValues(w, {u"BRAVO"_s, u"MUÑOZ"_s});
        });
        QCOMPARE(listed, (QStringList{u"ÁLVAREZ   (1)"_s, u"BRAVO   (1)"_s, u"MUÑOZ   (1)"_s,
                                      u"PEREZ   (1)"_s, u"(vacía)   (1)"_s}));
        QCOMPARE(shownLines(*l), (QList<int>{3, 5}));
        QVERIFY2(viewText(*l).startsWith(u"2 de 5 líneas · filtro: [3] Apellido Paterno = "_s),
                 qPrintable(viewText(*l)));
        QVERIFY(l->model()
                    ->headerData(columnOf("ape_pat"), Qt::Horizontal, Qt::FontRole)
                    .value<QFont>()
                    .underline());
        // The current line went to a line shown.
        QVERIFY(l->model()->currentRow() >= 0);

        // Typed: without regard to case or accents; the list narrows as typed.
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTest::keyClicks(ctl(w, "EdContiene"), u"ez"_s);
            auto* list = ctl<QListWidget>(w, "ListaValores");
            int visible = 0;
            for (int i = 0; i < list->count(); ++i)
                visible += !list->item(i)->isHidden();
            QCOMPARE(visible, 2);
            QTest::keyClick(ctl(w, "EdContiene"), Qt::Key_Return);
        });
        QCOMPARE(shownLines(*l), (QList<int>{1, 2}));
        QVERIFY2(viewText(*l).contains(u"[3] Apellido Paterno contiene «ez»"_s),
                 qPrintable(viewText(*l)));

        // Another column's filter narrows further.
        filterBox(*l, "rut", [&](QWidget* w) { chooseValues(w, {u"2"_s}); });
        QCOMPARE(shownLines(*l), (QList<int>{2}));

        auto* all = ctl<QToolButton>(l.get(), "BotonMostrarTodas");
        QVERIFY(all->isVisible());
        all->click();
        QCOMPARE(shownLines(*l), (QList<int>{1, 2, 3, 4, 5}));
        QVERIFY(!all->isVisible());
    }

    // With the keys alone, Enter walking the box as it walks every form:
    // the typed text, Enter, Enter filters by it; Down in the list chooses a
    // value, and Enter filters by that value.
    void filterWithTheKeys() {
        AppMessage enterAsTab;
        qApp->installEventFilter(&enterAsTab);
        auto l = surnames();
        showGrid(*l);
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), ctl(w, "EdContiene"));
            QTest::keyClicks(QApplication::focusWidget(), u"ez"_s);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), ctl(w, "ListaValores"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY(!w->isVisible());
        });
        QCOMPARE(shownLines(*l), (QList<int>{1, 2}));
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), ctl(w, "EdContiene"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), ctl(w, "ListaValores"));
            // The list takes the focus on its first value; Down goes to the second.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY(!w->isVisible());
        });
        qApp->removeEventFilter(&enterAsTab);
        QCOMPARE(shownLines(*l), QList<int>{5}); // BRAVO
    }

    // "Solo líneas modificadas" and "Solo líneas con problemas" combine with
    // each other and with a column's filter, and each goes off again.
    void changedAndProblemLines() {
        RxMem generated;
        generateDeclaration(generated, 5, 2);
        const QString path = tmp_.filePath(u"limpio.txt"_s);
        writeDeclaration(path, FileForm::Position, generated);
        OpenListing l;
        l->load(path, FileForm::Position);
        showGrid(*l);
        QCOMPARE(l->problems()->lineCount(), 0);
        // Lines 2 and 3 changed in the grid; line 4 changed and left without
        // RUT, a problem, as is line 2's RUT.
        for (int row : {1, 2}) {
            clickCell(*l, row, columnOf("ape_pat"));
            typeInGrid(l->grid(), u"ROJAS"_s);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        RxMem& t = l->table();
        for (int row : {1, 3}) {
            t.moveTo(row);
            t.edit();
            t.setTextOrClear(field("rut"), QString());
            t.post();
        }
        QCOMPARE(l->problems()->lineCount(), 2);

        l->findChild<QAction*>(u"SoloModificadas1"_s)->trigger();
        QCOMPARE(shownLines(*l), (QList<int>{2, 3, 4}));
        QVERIFY(l->findChild<QAction*>(u"SoloModificadas1"_s)->isChecked());
        l->findChild<QAction*>(u"SoloProblemas1"_s)->trigger();
        QCOMPARE(shownLines(*l), (QList<int>{2, 4}));
        QVERIFY2(viewText(*l).contains(u"filtro: modificadas; con problemas"_s),
                 qPrintable(viewText(*l)));
        // With a column's filter too.
        filterBox(*l, "ape_pat", [&](QWidget* w) { chooseValues(w, {u"ROJAS"_s}); });
        QCOMPARE(shownLines(*l), (QList<int>{2}));
        l->findChild<QAction*>(u"SoloModificadas1"_s)->trigger(); // off again
        QVERIFY(!l->findChild<QAction*>(u"SoloModificadas1"_s)->isChecked());
        QCOMPARE(shownLines(*l), (QList<int>{2}));
        filterBox(*l, "ape_pat", [&](QWidget* w) { click(w, "BtnQuitarFiltro"); });
        QCOMPARE(shownLines(*l), (QList<int>{2, 4}));
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        QTest::keyClick(l->grid(), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shownLines(*l), (QList<int>{1, 2, 3, 4, 5}));
    }

    // Whatever the view, "Crear Archivo" writes every line in the file's
    // order: the same bytes as without filter or sort.
    void writingUnderAViewWritesTheFile() {
        auto l = surnames();
        showGrid(*l);
        const QString plain = tmp_.filePath(u"sin-filtro.txt"_s);
        write(*l, plain);
        clickTitle(*l, columnOf("rut"));
        clickTitle(*l, columnOf("rut")); // descending
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTest::keyClicks(ctl(w, "EdContiene"), u"EZ"_s);
            click(w, "BtnFiltrar");
        });
        QCOMPARE(shownLines(*l), (QList<int>{2, 1}));
        const QString viewed = tmp_.filePath(u"con-filtro.txt"_s);
        write(*l, viewed);
        QCOMPARE(readAll(viewed), readAll(plain));
        QCOMPARE(readAll(viewed).count("\r\n"), 5);
        QCOMPARE(shownLines(*l), (QList<int>{2, 1})); // the view stays
    }

    // Under a filter, Ctrl+Delete deletes the selected lines shown and no
    // other, the question says so, and Ctrl+Z brings them back into the view.
    void deleteUnderAFilter() {
        auto l = surnames();
        showGrid(*l);
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTest::keyClicks(ctl(w, "EdContiene"), u"ez"_s);
            click(w, "BtnFiltrar");
        });
        QCOMPARE(shownLines(*l), (QList<int>{1, 2}));
        clickCell(*l, 0, columnOf("ape_pat"));
        QTest::keyClick(l->grid(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(selectedRows(*l), (QList<int>{0, 1}));
        d().expectAsk(u"Se eliminarán 2 líneas, de las mostradas por el filtro"_s, ui::Button::Ok);
        QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), (QList<int>{3, 4, 5}));
        QCOMPARE(l->model()->rowCount(), 0);
        QTRY_VERIFY2(viewText(*l).startsWith(u"0 de 3 líneas"_s), qPrintable(viewText(*l)));
        QCOMPARE(ctl<QLabel>(l.get(), "LabelPosicion")->text(), u"Ninguna línea a la vista"_s);
        // No hidden line is modified in its place.
        d().expectInform(u"El filtro no muestra ninguna línea"_s);
        l->findChild<QToolButton*>(u"SpeedButton6"_s)->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));

        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5}));
        QCOMPARE(shownLines(*l), (QList<int>{1, 2}));
        QCOMPARE(selectedRows(*l), (QList<int>{0, 1}));
    }

    // Replace all, Masiva and the workbook act on the lines shown only, and
    // their questions say so.
    void commandsActOnTheLinesShown() {
        auto l = surnames();
        showGrid(*l);
        filterBox(*l, "ape_pat", [&](QWidget* w) { chooseValues(w, {u"MUÑOZ"_s, u"PEREZ"_s}); });
        QCOMPARE(shownLines(*l), (QList<int>{1, 3}));

        l->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        // "Z" is in three surnames, one of them hidden.
        d().expectAsk(u"Se reemplazarán 2 celdas en 2 líneas, solo entre las 2 líneas mostradas "
                      u"(de 5). ¿Continuar?"_s,
                      ui::Button::Ok);
        const ModalAction find = whenModal([&](QWidget* w) {
            ctl<QLineEdit>(w, "EdBuscar")->setText(u"Z"_s);
            ctl<QLineEdit>(w, "EdReemplazar")->setText(u"S"_s);
            ctl<QComboBox>(w, "CbColumna")->setCurrentIndex(columnOf("ape_pat"));
            click(w, "BtnReemplazarTodo");
            static_cast<QDialog*>(w)->reject();
        });
        QTest::keyClick(l->grid(), Qt::Key_H, Qt::ControlModifier);
        QVERIFY(find.ran());
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(column(*l, "ape_pat"),
                 (QStringList{u"PERES"_s, u"ÁLVAREZ"_s, u"MUÑOS"_s, u""_s, u"BRAVO"_s}));

        withDialog(*l, "SpeedButton9", [&](QWidget* w) {
            QCOMPARE(ctl<QLabel>(w, "LabelAlcance")->text(),
                     u"Hay un filtro: cambiarán solo las 2 líneas mostradas, de 5."_s);
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            for (int i = 0; i < group->count(); ++i)
                if (group->button(i)->text() == u"Código Mutual") group->button(i)->click();
            auto* list = ctl<CodeList>(w, "CBox1");
            list->setCurrentIndex(list->findText(u"03 Instituto de Seguridad del Trabajo"_s));
            click(w, "BitBtn1");
        });
        const QStringList mutual = column(*l, "cod_mutual");
        QCOMPARE(mutual[0], u"03"_s);
        QCOMPARE(mutual[2], u"03"_s);
        for (int r : {1, 3, 4})
            QVERIFY2(mutual[r] != u"03", qPrintable(mutual.join(u',')));
    }

    // A block pasted into a sorted view goes down the rows as shown, one
    // Ctrl+Z takes it back; the file's order stays.
    void pasteFollowsTheView() {
        auto l = surnames();
        showGrid(*l);
        clickTitle(*l, columnOf("rut"));
        clickTitle(*l, columnOf("rut")); // 5, 4, 3, 2, 1
        clickCell(*l, 0, columnOf("ape_pat"));
        QGuiApplication::clipboard()->setText(u"urrutia\nvega\n"_s);
        QTest::keyClick(l->grid(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(column(*l, "ape_pat"),
                 (QStringList{u"PEREZ"_s, u"ÁLVAREZ"_s, u"MUÑOZ"_s, u"VEGA"_s, u"URRUTIA"_s}));
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5}));
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(column(*l, "ape_pat"), kSurnames);
    }

    // A line the user goes to that the filter hides joins the lines shown:
    // a RUT found with Ctrl+B.
    void goingToAHiddenLine() {
        auto l = surnames();
        showGrid(*l);
        filterBox(*l, "ape_pat", [&](QWidget* w) { chooseValues(w, {u"PEREZ"_s}); });
        QCOMPARE(shownLines(*l), QList<int>{1});
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            QTest::keyClicks(ctl(w, "OvcERut"), u"4"_s);
            click(w, "BitBtn1");
        });
        QCOMPARE(l->table().row(), 3);
        QCOMPARE(shownLines(*l), (QList<int>{1, 4}));
        QCOMPARE(l->grid()->currentIndex().row(), 1);
    }

    // The grid's model tells every change right while lines come and go
    // under a filter and a sort.
    void modelStaysConsistent() {
        auto l = surnames();
        QAbstractItemModelTester tester(l->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        showGrid(*l);
        clickTitle(*l, columnOf("ape_pat"));
        filterBox(*l, "ape_pat", [&](QWidget* w) {
            QTest::keyClicks(ctl(w, "EdContiene"), u"ez"_s);
            click(w, "BtnFiltrar");
        });
        QCOMPARE(shownLines(*l), (QList<int>{2, 1}));
        clickCell(*l, 1, columnOf("ape_pat"));
        QTest::keyClick(l->grid(), Qt::Key_Insert);
        typeInGrid(l->grid(), u"NUEVO"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(shownLines(*l), (QList<int>{3, 1, 2})); // the new line is line 1 of the file
        d().expectAsk(u"¿Seguro de Eliminar esta línea?"_s, ui::Button::Ok);
        clickCell(*l, 0, columnOf("ape_pat"));
        QTest::keyClick(l->grid(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5}));
    }

    // Lines added while the view is sorted or filtered show where they were
    // added, and what is typed into them stays there.
    void addingUnderAView() {
        auto l = surnames();
        showGrid(*l);
        clickTitle(*l, columnOf("ape_pat")); // 2, 5, 3, 1, 4
        clickCell(*l, 2, columnOf("ape_pat"));
        QTest::keyClick(l->grid(), Qt::Key_Insert);
        typeInGrid(l->grid(), u"ZAPATA"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        // Inserted before line 3 in the file, and shown where it was added.
        QCOMPARE(column(*l, "ape_pat"), (QStringList{u"PEREZ"_s, u"ÁLVAREZ"_s, u"ZAPATA"_s,
                                                     u"MUÑOZ"_s, u""_s, u"BRAVO"_s}));
        QCOMPARE(shownLines(*l), (QList<int>{2, 6, 3, 4, 1, 5}));
        QCOMPARE(l->model()->index(2, columnOf("ape_pat")).data().toString().trimmed(),
                 u"ZAPATA"_s);
    }
};

QTEST_MAIN(TestFilter)
#include "tst_filter.moc"
