// Undo and redo in the listing, the wash of changed cells and the status
// bar, driven as a user does: keys, buttons, menus and dialogs.

#include "ListingFixture.h"
#include "ui/editor/UnitDatosSolvanta.h"
#include "ui/listing/ListingStatusBar.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

using namespace testutil;

namespace {

void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(w, key, mods);
}

QString statusText(TFrmSolvanta& l, const char* label) {
    QCoreApplication::processEvents(); // the status bar follows once per turn
    return ctl<QLabel>(&l, label)->text();
}

bool tinted(TFrmSolvanta& l, int row, int column) {
    return l.model()->index(row, column).data(Qt::BackgroundRole).value<QColor>() ==
           DeclarationModel::changedTint();
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // A dialog of the listing, answered; then the listing is the active
    // window again (the offscreen platform does not make it so by itself).
    void withDialog(TFrmSolvanta& l, const char* action, std::function<void(QWidget*)> inDialog) {
        testutil::withDialog(l, action, std::move(inDialog));
        l.activateWindow();
        l.grid()->setFocus();
    }

    // One change of each kind, made through the window as a user makes it.
    void change(TFrmSolvanta& l, const QString& kind) {
        DeclarationGrid* g = l.grid();
        if (kind == u"cell") {
            clickCell(l, 2, columnOf("nombres"));
            typeInGrid(g, QStringLiteral("x"));
            press(QApplication::focusWidget(), Qt::Key_Return);
            press(g, Qt::Key_Return); // stores the line
        } else if (kind == u"append") {
            clickCell(l, 0, columnOf("rut"));
            press(g, Qt::Key_End, Qt::ControlModifier);
            press(g, Qt::Key_Down);
            typeInGrid(g, QStringLiteral("77"));
            press(QApplication::focusWidget(), Qt::Key_Return);
            press(g, Qt::Key_Return);
        } else if (kind == u"insert") {
            clickCell(l, 3, columnOf("rut"));
            press(g, Qt::Key_Insert);
            typeInGrid(g, QStringLiteral("88"));
            press(QApplication::focusWidget(), Qt::Key_Return);
            press(g, Qt::Key_Return);
        } else if (kind == u"delete") {
            clickCell(l, 4, columnOf("rut"));
            d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?"), ui::Button::Ok);
            l.findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
        } else if (kind == u"delete selected") {
            clickCell(l, 1, columnOf("rut"));
            clickCell(l, 3, columnOf("rut"), Qt::ControlModifier);
            clickCell(l, 4, columnOf("rut"), Qt::ControlModifier);
            d().expectAsk(QStringLiteral("Se eliminarán 3 líneas."), ui::Button::Ok);
            press(g, Qt::Key_Delete, Qt::ControlModifier);
        } else if (kind == u"mass") {
            clickCell(l, 1, columnOf("rut"));
            withDialog(l, "SpeedButton9", [](QWidget* w) {
                auto* group = ctl<RadioGroup>(w, "RadioGroup1");
                for (int i = 0; i < group->count(); ++i)
                    if (group->button(i)->text() == u"Periodo Desde") group->button(i)->click();
                QTest::keyClicks(ctl(w, "OvcPF"), QStringLiteral("052023"));
                ctl<QPushButton>(w, "BitBtn1")->click();
            });
        } else if (kind == u"assign") {
            clickCell(l, 4, columnOf("rut"));
            clickCell(l, 2, columnOf("rut"), Qt::ControlModifier);
            withDialog(l, "Dos1", [](QWidget* w) {
                typeText(ctl<QLineEdit>(w, "Edit1"), QStringLiteral("CC9"));
                ctl<QPushButton>(w, "BitBtn1")->click();
            });
        } else if (kind == u"editor") {
            clickCell(l, 3, columnOf("rut"));
            withDialog(l, "SpeedButton6", [](QWidget* w) {
                ctl<QLineEdit>(w, "EdNombres")->setText(QStringLiteral("DESDE EL FORMULARIO"));
                ctl<QLineEdit>(w, "EdDV")->setText(QStringLiteral("3")); // RUT 4's check digit
                ctl<QPushButton>(w, "BitBtn1")->click();
            });
        } else {
            QFAIL(qPrintable(kind));
        }
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    void eachKindOfChange_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("firstTouched");             // current line after the undo
        QTest::addColumn<QList<int>>("selectedAfterUndo"); // {-1}: what the clicks left
        const QList<int> clicks{-1};
        QTest::newRow("a cell typed in the grid") << "cell" << 2 << clicks;
        QTest::newRow("a line appended with Down") << "append" << 5 << clicks;
        QTest::newRow("a line inserted with Insert") << "insert" << 3 << clicks;
        QTest::newRow("the current line deleted") << "delete" << 4 << clicks;
        QTest::newRow("selected lines deleted: selected again")
            << "delete selected" << 1 << QList<int>{1, 3, 4};
        QTest::newRow("mass modification") << "mass" << 0 << clicks;
        QTest::newRow("cost centre of the selection") << "assign" << 2 << clicks;
        QTest::newRow("the record editor") << "editor" << 3 << clicks;
    }

    // Ctrl+Z gives back the exact lines and makes the first touched line
    // current; Ctrl+Y and Ctrl+Shift+Z repeat the change; back at the loaded
    // state nothing is unsaved and nothing is washed.
    void eachKindOfChange() {
        QFETCH(QString, kind);
        QFETCH(int, firstTouched);
        QFETCH(QList<int>, selectedAfterUndo);
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        auto* undoButton = l->findChild<QToolButton*>(QStringLiteral("SpeedButtonDeshacer"));
        auto* redoButton = l->findChild<QToolButton*>(QStringLiteral("SpeedButtonRehacer"));
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("Sin cambios"));
        QVERIFY(!undoButton->isEnabled());
        const QList<QByteArray> loaded = lineBytes(l->table());
        change(*l, kind);
        const QList<int> clicksLeft{-1};
        const QList<QByteArray> changed = lineBytes(l->table());
        QVERIFY(changed != loaded);
        QVERIFY(l->hasUnsavedChanges());
        QVERIFY(statusText(*l, "LabelCambios") != u"Sin cambios");
        QVERIFY(undoButton->isEnabled());

        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(lineBytes(l->table()), loaded);
        QCOMPARE(l->table().row(), firstTouched);
        QCOMPARE(l->grid()->currentIndex().row(), firstTouched);
        if (selectedAfterUndo != clicksLeft) QCOMPARE(selectedRows(*l), selectedAfterUndo);
        QVERIFY(!l->hasUnsavedChanges());
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("Sin cambios"));
        for (int r = 0; r < l->model()->rowCount(); ++r)
            for (int c = 0; c < l->model()->columnCount(); ++c)
                QVERIFY(!tinted(*l, r, c));
        QVERIFY(!undoButton->isEnabled());
        QVERIFY(redoButton->isEnabled());

        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(lineBytes(l->table()), changed);
        QVERIFY(l->hasUnsavedChanges());
        undoButton->click();
        QCOMPARE(lineBytes(l->table()), loaded);
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(lineBytes(l->table()), changed);
        QVERIFY(!redoButton->isEnabled());
        // Closing after the redo asks about the unsaved change; answer to stay.
        d().expectAsk(QStringLiteral("Hay cambios que no se han guardado"), ui::Button::Cancel);
        l->close();
        QVERIFY(l->isVisible());
        undoButton->click();
        l->close(); // nothing unsaved: no question
        QVERIFY(!l->isVisible());
    }

    // The blue rows are the current line or nothing: when an undo or a redo
    // moves to another line, the selection goes, as after a move with the
    // keys, so "Eliminar" and "Modificar" act on the line the user sees;
    // staying on the line keeps it.
    void selectionFollowsTheLineUndoMovesTo_data() {
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QList<int>>("selected");
        QTest::newRow("another line clicked") << 5 << QList<int>{};
        QTest::newRow("the changed line itself") << 2 << QList<int>{2};
    }

    void selectionFollowsTheLineUndoMovesTo() {
        QFETCH(int, clicked);
        QFETCH(QList<int>, selected);
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        change(*l, QStringLiteral("cell")); // line 2
        clickCell(*l, clicked, columnOf("rut"));
        QCOMPARE(selectedRows(*l), QList<int>{clicked});
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(l->table().row(), 2);
        QCOMPARE(selectedRows(*l), selected);
        clickCell(*l, clicked, columnOf("rut"));
        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(l->table().row(), 2);
        QCOMPARE(selectedRows(*l), selected);
    }

    // Edit, delete selected, undo, undo, redo: the steps come back in order,
    // and bookmarks kept meanwhile still name their lines.
    void combination() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        const RxMem::Bookmark sixth = l->table().bookmarkAt(5);
        change(*l, QStringLiteral("cell")); // line 3's name
        const QString typed = l->table().textAt(2, field("nombres"));
        change(*l, QStringLiteral("delete selected")); // lines 2, 4, 5
        QCOMPARE(ruts(*l), (QList<int>{1, 3, 6}));
        QCOMPARE(l->table().rowOf(sixth), 2);
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(l->table().rowOf(sixth), 5);
        QCOMPARE(l->table().textAt(2, field("nombres")), typed);
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(l->table().textAt(2, field("nombres")) != typed);
        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(l->table().textAt(2, field("nombres")), typed);
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6}));
        QVERIFY(l->table().canRedo());
        // A new change drops what could still be redone.
        change(*l, QStringLiteral("delete"));
        QVERIFY(!l->table().canRedo());
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("1 línea modificada, 1 eliminada"));
    }

    // A line being edited in the grid is stored before the undo, which then
    // takes that very edit back; an open cell editor keeps Ctrl+Z for its
    // own text.
    void pendingEditBeforeUndo() {
        auto l = listingOf(tmp_, 4);
        showGrid(*l);
        const QString name = l->table().textAt(1, field("nombres"));
        clickCell(*l, 1, columnOf("nombres"));
        typeInGrid(l->grid(), QStringLiteral("ab"));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        press(editor, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(editor->isVisible()); // the editor's own undo
        QVERIFY(!l->table().canUndo());
        typeText(editor, QStringLiteral("c"));
        const QString typed = editor->text();
        press(editor, Qt::Key_Tab);                       // to the next cell of the same line
        QCOMPARE(l->table().state(), RxMem::State::Edit); // pending, not stored
        QCOMPARE(l->table().asText(field("nombres")), typed);
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(1, field("nombres")), name);
        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(l->table().textAt(1, field("nombres")), typed);
    }

    // A new line left untouched just disappears on Ctrl+Z; the change before
    // it stays.
    void untouchedNewLine() {
        auto l = listingOf(tmp_, 4);
        showGrid(*l);
        change(*l, QStringLiteral("cell"));
        press(l->grid(), Qt::Key_Insert);
        QCOMPARE(l->model()->rowCount(), 5);
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(l->model()->rowCount(), 4);
        QCOMPARE(l->table().textAt(2, field("nombres")), QStringLiteral("X"));
        QVERIFY(l->table().canUndo());
    }

    // Washed cells: exactly those whose value differs from the load or the
    // last write, and the line number of their lines; a write makes the
    // written lines the reference, and undoing past it shows them again.
    void washAndWrite() {
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        change(*l, QStringLiteral("cell"));
        l->model()->clearSelection(); // selected lines show the selection's colour
        QVERIFY(tinted(*l, 2, columnOf("nombres")));
        QVERIFY(tinted(*l, 2, 0));
        QVERIFY(!tinted(*l, 2, columnOf("ape_pat")));
        QVERIFY(!tinted(*l, 1, columnOf("nombres")));
        QVERIFY(!tinted(*l, 1, 0));
        change(*l, QStringLiteral("insert"));
        l->model()->clearSelection();
        // A new line: every cell, unless the line checks found a problem
        // there, whose colour comes first.
        for (int c = 0; c < l->model()->columnCount(); ++c)
            QVERIFY(tinted(*l, 3, c) ||
                    l->problems()->hasProblem(l->table().bookmarkAt(3).slot,
                                              DeclarationModel::fieldOfColumn(c)));
        QVERIFY(tinted(*l, 3, 0) && tinted(*l, 3, columnOf("rut")));

        const QString written = tmp_.filePath(QStringLiteral("corregido.csv"));
        const ModalAction modal = whenModal([](QWidget* w) {
            ctl<RadioGroup>(w, "RadioGroup1")->setItemIndex(1);
            ctl<QPushButton>(w, "BitBtn1")->click();
        });
        d().expectSave(written);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(QFile::exists(written));
        l->activateWindow(); // the offscreen platform does not, after a modal box
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        QVERIFY(!l->hasUnsavedChanges());
        QVERIFY(!tinted(*l, 2, columnOf("nombres")) && !tinted(*l, 3, 0));
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("Sin cambios"));
        QCOMPARE(statusText(*l, "LabelArchivo"), QStringLiteral("corregido.csv (por separador)"));

        press(l->grid(), Qt::Key_Z, Qt::ControlModifier); // the inserted line goes
        QVERIFY(l->hasUnsavedChanges());
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("1 línea eliminada"));
        press(l->grid(), Qt::Key_Z, Qt::ControlModifier); // the name comes back
        l->model()->clearSelection();
        QVERIFY(tinted(*l, 2, columnOf("nombres")));
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("1 línea modificada, 1 eliminada"));
        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        press(l->grid(), Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(!l->hasUnsavedChanges()); // back at the written state
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("Sin cambios"));
    }

    void statusBar() {
        auto l = listingOf(tmp_, 1200);
        showGrid(*l);
        QCOMPARE(statusText(*l, "LabelArchivo"), QStringLiteral("entrada-1200.txt (por posición)"));
        clickCell(*l, 2, columnOf("rut"));
        QCOMPARE(statusText(*l, "LabelPosicion"), QStringLiteral("Línea 3 de 1.200"));
        press(l->grid(), Qt::Key_Down);
        QCOMPARE(statusText(*l, "LabelPosicion"), QStringLiteral("Línea 4 de 1.200"));
        withDialog(*l, "SpeedButton9", [](QWidget* w) {
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            for (int i = 0; i < group->count(); ++i)
                if (group->button(i)->text() == u"Periodo Hasta") group->button(i)->click();
            QTest::keyClicks(ctl(w, "OvcPF"), QStringLiteral("122030"));
            ctl<QPushButton>(w, "BitBtn1")->click();
        });
        QCOMPARE(statusText(*l, "LabelCambios"), QStringLiteral("1.200 líneas modificadas"));
        QCOMPARE(statusText(*l, "LabelPosicion"), QStringLiteral("Línea 1.200 de 1.200"));
        press(l->grid(), Qt::Key_Insert);
        QCOMPARE(statusText(*l, "LabelPosicion"), QStringLiteral("Línea 1.200 de 1.201"));
        typeInGrid(l->grid(), QStringLiteral("5"));
        press(QApplication::focusWidget(), Qt::Key_Return);
        press(l->grid(), Qt::Key_Return);
        QCOMPARE(statusText(*l, "LabelCambios"),
                 QStringLiteral("1.200 líneas modificadas, 1 agregada"));
    }

    void changesText_data() {
        QTest::addColumn<int>("changed");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0 << 0 << 0 << "Sin cambios";
        QTest::newRow("one") << 1 << 0 << 0 << "1 línea modificada";
        QTest::newRow("many") << 12345 << 0 << 0 << "12.345 líneas modificadas";
        QTest::newRow("added only") << 0 << 1 << 0 << "1 línea agregada";
        QTest::newRow("all three")
            << 2 << 1 << 3 << "2 líneas modificadas, 1 agregada, 3 eliminadas";
        QTest::newRow("deleted only") << 0 << 0 << 2 << "2 líneas eliminadas";
    }

    void changesText() {
        QFETCH(int, changed);
        QFETCH(int, added);
        QFETCH(int, deleted);
        QFETCH(QString, text);
        QCOMPARE(ListingStatusBar::changesText({changed, added, deleted}), text);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
