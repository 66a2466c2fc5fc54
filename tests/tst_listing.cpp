// The desktop program's correction path: the load dialog, the listing window
// and its grid, writing the corrected file, and closing with unsaved changes.

#include "ScriptedDialogs.h"
#include "TestUtil.h"
#include "app/UnitPrincipal.h"
#include "files/UnitSeleccionar.h"
#include "files/UnitSelFormato.h"
#include "listing/DeclarationGrid.h"
#include "listing/DeclarationModel.h"
#include "listing/UnitDespSolvanta.h"
#include "model/SharedState.h"
#include "util/NumberText.h"
#include "widgets/RadioGroup.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;

namespace {

// Runs `action` on the modal window that the next exec() shows.
void whenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* w = QApplication::activeModalWidget();
        QVERIFY(w);
        action(w);
    });
}

// A listing over a file of n generated lines whose rut is 1..n.
std::unique_ptr<TFrmSolvanta> listingOf(const QTemporaryDir& dir, int lines) {
    QByteArray bytes;
    const QByteArray base = readAll(dataFile("dos-lineas-coma.txt")).left(kPositionLineLength);
    for (int i = 1; i <= lines; ++i)
        bytes += QByteArray::number(i).rightJustified(11, '0') + base.mid(11) + "\r\n";
    const QString path = dir.filePath(QStringLiteral("entrada-%1.txt").arg(lines));
    writeAll(path, bytes);
    auto listing = std::make_unique<TFrmSolvanta>();
    listing->load(path, FileForm::Position);
    return listing;
}

QList<int> ruts(TFrmSolvanta& l) {
    QList<int> out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        out << l.table().textAt(r, field("rut")).toInt();
    return out;
}

QList<int> selectedRows(TFrmSolvanta& l) {
    QList<int> rows;
    for (int r = 0; r < l.model()->rowCount(); ++r)
        if (l.model()->isSelected(r)) rows << r;
    return rows;
}

// Types any text, letters outside ASCII included.
void typeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        const Qt::Key key = c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, w, key, QString(c), Qt::NoModifier);
    }
}

// Types the text as a user would: the first key starts the cell editor and
// the rest go to whatever has the focus then.
void typeInGrid(QWidget* grid, const QString& text) {
    for (QChar c : text) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : grid;
        typeText(target, QString(c));
    }
}

} // namespace

class TestListing : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    // Every prompt a test does not expect is a failure, never a box that
    // waits for an answer.
    ScriptedDialogs& d() { return *dialogs_; }

    void showGrid(TFrmSolvanta& l) {
        l.show();
        QVERIFY(QTest::qWaitForWindowExposed(&l));
        l.grid()->setFocus();
    }

    void clickCell(TFrmSolvanta& l, int row, int column, Qt::KeyboardModifiers mods = {}) {
        DeclarationGrid* g = l.grid();
        g->scrollTo(g->model()->index(row, column));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, mods, g->visualRect(g->model()->index(row, column)).center());
    }

private slots:
    void init() {
        numtext::setDecimalSeparator(',');
        dialogs_ = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        const bool done = dialogs_->done();
        const QString problems = dialogs_->problems();
        dialogs_.reset();
        QVERIFY2(done, qPrintable(problems));
    }

    // ---- the main window ------------------------------------------------------

    void mainWindowOpensTheLoadDialog() {
        TFrmPrincipal main;
        QCOMPARE(main.windowTitle(), QStringLiteral("Editor de Archivos de Solvanta Versión: 3.0"));
        QCOMPARE(main.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("1.- Haga clic en el botón \"Editar Archivo\"."));
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        int choice = -1;
        QString caption;
        whenModal([&](QWidget* w) {
            auto* dialog = qobject_cast<TFrmSeleccionar*>(w);
            QVERIFY(dialog);
            choice = dialog->itemIndex();
            caption = dialog->windowTitle();
            dialog->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click(); // Cerrar
        });
        main.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        QCOMPARE(choice, 0); // "105 Campos por Posición" each time it opens
        QCOMPARE(caption, QStringLiteral("Seleccionar Formato"));
        QVERIFY(main.isVisible());
        main.findChild<QPushButton*>(QStringLiteral("BitBtn3"))->click(); // Salir
        QVERIFY(!main.isVisible());
    }

    // ---- the load dialog ------------------------------------------------------

    void loadCancelledAtEachStep() {
        TFrmSeleccionar dialog;
        d().expectAsk(QStringLiteral("Indique la ruta donde se encuentra el archivo"), ui::Button::Cancel);
        dialog.BitBtn1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const auto q = d().shown().first();
        QCOMPARE(q.caption, QStringLiteral("¡Atención!"));
        QCOMPARE(q.text, QStringLiteral("Señor Usuario:\nIndique la ruta donde se encuentra el archivo\nenviado a Solvanta"));
        QCOMPARE(q.icon, ui::Icon::Exclamation);
        QCOMPARE(q.defaultButton, ui::Button::Ok);

        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(QString()); // the user cancels the open dialog
        dialog.BitBtn1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().request.filter, QStringLiteral("Archivo .txt (*.txt);;Archivo .csv (*.csv);;Archivo .zip (*.zip)"));
        QVERIFY(!TFrmSolvanta::instance());
    }

    void loadShowsTheListing_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("file");
        QTest::newRow("by position") << 0 << dataFile("dos-lineas-coma.txt");
        QTest::newRow("by separator") << 1 << dataFile("dos-lineas-coma.csv");
    }

    void loadShowsTheListing() {
        QFETCH(int, item);
        QFETCH(QString, file);
        TFrmSeleccionar dialog;
        QCOMPARE(dialog.itemIndex(), 0);
        dialog.findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(item);
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(file);
        int rows = -1, current = -1;
        bool maximised = false;
        whenModal([&](QWidget* w) {
            auto* listing = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(listing);
            rows = listing->model()->rowCount();
            current = listing->grid()->currentIndex().row();
            maximised = listing->windowState() & Qt::WindowMaximized;
            QCOMPARE(listing->windowTitle(), QStringLiteral("Listado para Solvanta"));
            listing->findChild<QToolButton*>(QStringLiteral("SpeedButton4"))->click(); // Salir
        });
        dialog.BitBtn1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(rows, 2);
        QCOMPARE(current, 1); // the last line loaded
        QVERIFY(maximised);
        QCOMPARE(shared::loadFormat, item);
        QVERIFY(!TFrmSolvanta::instance()); // released when it closed
    }

    void failedLoadShowsNoListing_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QByteArray() << QStringLiteral("no existe");
        QTest::newRow("bad nacion") << QByteArray(readAll(dataFile("dos-lineas-coma.txt")) + "\r\n") << QStringLiteral("Línea 3");
    }

    void failedLoadShowsNoListing() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = tmp_.filePath(QStringLiteral("fallida.txt"));
        QFile::remove(path);
        if (!bytes.isEmpty()) QVERIFY(writeAll(path, bytes));
        TFrmSeleccionar dialog;
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(path);
        d().expectError(message);
        bool listingShown = false;
        QTimer::singleShot(0, [&] {
            if (auto* w = qobject_cast<TFrmSolvanta*>(QApplication::activeModalWidget())) {
                listingShown = true;
                w->close();
            }
        });
        dialog.BitBtn1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(d().shown().last().text.contains(QDir::toNativeSeparators(path)));
        QVERIFY(!listingShown);
        QCoreApplication::processEvents(); // let the scheduled check run
    }

    // ---- the grid ---------------------------------------------------------------

    void modelIsConsistent() {
        auto l = listingOf(tmp_, 5);
        QAbstractItemModelTester tester(l->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
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
        QCOMPARE(l->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Línea"));
        QCOMPARE(l->model()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("[1] Rut"));
        QCOMPARE(l->model()->headerData(105, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("[105] Centro costo"));
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
            QCOMPARE(l->model()->data(l->model()->index(r, 0), DeclarationModel::LineNumberRole).toInt(), r + 1);
        QCOMPARE(l->model()->data(l->model()->index(2, 1), Qt::DisplayRole).toString(), QStringLiteral("4"));
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
        l->Eliminar1Click();
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6}));
        d().expectAsk(QString(), ui::Button::Ok);
        l->Eliminar1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 6})); // only the current line, the fifth
    }

    void deleteOnEmptyTableAsksNothing() {
        auto l = listingOf(tmp_, 0);
        showGrid(*l);
        l->Eliminar1Click();
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
        QTest::keyClick(g, Qt::Key_Up, Qt::ShiftModifier);
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
        QTest::newRow("ñ and accents pass") << QStringLiteral("ñandú") << QStringLiteral("ñANDú");
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

    // Enter stores the line; a value that cannot be stored is dropped
    // without a message and the line stays in edit mode.
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
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY2(d().done(), qPrintable(d().problems())); // nothing shown
        QCOMPARE(l->table().state(), RxMem::State::Edit);
        QCOMPARE(l->table().asText(field("ape_pat")), QStringLiteral("ROJAS"));
        QCOMPARE(l->table().asText(field("cot_obli_afp")), QStringLiteral("2036"));
    }

    // Elsewhere a refused value is reported.
    void refusedValueIsReported() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        clickCell(*l, 0, 28);
        typeInGrid(l->grid(), QStringLiteral("abc"));
        d().expectError(QStringLiteral("cot_obli_afp"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(l->table().textAt(0, field("cot_obli_afp")), QStringLiteral("2036"));
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
        QCOMPARE(l->model()->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("*"));
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
        QTest::newRow("none selected") << QList<int>{} << QStringLiteral("Delete record?") << QList<int>{1, 2, 3, 5};
        QTest::newRow("one selected") << QList<int>{1} << QStringLiteral("Delete record?") << QList<int>{1, 3, 4, 5};
        QTest::newRow("three selected") << QList<int>{0, 2, 4} << QStringLiteral("Delete all selected records?") << QList<int>{2, 4};
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
        QCOMPARE(g->frozenView()->verticalScrollBar()->value(), 20);
        QCOMPARE(g->frozenView()->rowAt(0), g->rowAt(0));
    }

    // No column title is wider than its column.
    void titlesAreNotClipped() {
        auto l = listingOf(tmp_, 1);
        showGrid(*l);
        const QFontMetrics fm(l->grid()->horizontalHeader()->font());
        for (int c = 0; c < l->model()->columnCount(); ++c) {
            const QString title = l->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            QVERIFY2(fm.horizontalAdvance(title) < l->grid()->columnWidth(c), qPrintable(title));
        }
    }

    // ---- writing -----------------------------------------------------------------

    void writeProposesTheLoadFormat_data() {
        QTest::addColumn<int>("loaded");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::newRow("as loaded, by position") << 0 << -1 << dataFile("dos-lineas-coma.txt");
        QTest::newRow("as loaded, by separator") << 1 << -1 << dataFile("dos-lineas-coma.csv");
        QTest::newRow("changed to separator") << 0 << 1 << dataFile("dos-lineas-coma.csv");
    }

    void writeProposesTheLoadFormat() {
        QFETCH(int, loaded);
        QFETCH(int, chosen);
        QFETCH(QString, expected);
        shared::loadFormat = loaded;
        TFrmSolvanta l;
        l.load(dataFile("dos-lineas-coma.txt"), FileForm::Position);
        showGrid(l);
        l.table().first();
        l.grid()->showTableCursor();
        const QString out = tmp_.filePath(QStringLiteral("Solvanta.txt"));
        d().expectSave(out);
        int proposed = -2;
        whenModal([&](QWidget* w) {
            auto* format = qobject_cast<TFrmSelFormato*>(w);
            QVERIFY(format);
            proposed = format->itemIndex();
            if (chosen >= 0) format->setItemIndex(chosen);
            format->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        });
        l.findChild<QToolButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(proposed, loaded);
        const ui::FileRequest r = d().last().request;
        QCOMPARE(r.fileName, QStringLiteral("Solvanta"));
        QCOMPARE(r.filter, QStringLiteral("Archivo de Texto (*.txt)"));
        QVERIFY(!r.confirmOverwrite);
        QCOMPARE(readAll(out), readAll(expected));
        QCOMPARE(l.grid()->currentIndex().row(), 1); // the last line
        QVERIFY(!l.hasUnsavedChanges());
        l.close();
        QVERIFY(!l.isVisible());
    }

    void cancelledWriteWritesNothing() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        const QString out = tmp_.filePath(QStringLiteral("cancelado.txt"));
        whenModal([](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click(); });
        l->SpeedButton1Click();
        QVERIFY(d().shown().isEmpty()); // no save dialog after cancelling the format
        d().expectSave(QString());
        whenModal([](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->SpeedButton1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(!QFile::exists(out));
    }

    void failedWriteIsReported() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        l->table().first();
        l->table().edit();
        l->table().setText(field("ape_pat"), u"A;B");
        l->table().post();
        shared::loadFormat = 1;
        const QString out = tmp_.filePath(QStringLiteral("con-punto-y-coma.txt"));
        d().expectSave(out);
        d().expectError(QStringLiteral("Línea 1, campo ape_pat"));
        whenModal([](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->SpeedButton1Click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(!QFile::exists(out));
        QVERIFY(l->hasUnsavedChanges());
        QVERIFY(l->isVisible());
    }

    // ---- closing -----------------------------------------------------------------

    void closingWithUnsavedChangesAsks() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        l->close(); // nothing changed: closes at once
        QVERIFY(!l->isVisible());
        QVERIFY2(d().done(), qPrintable(d().problems()));

        l = listingOf(tmp_, 3);
        showGrid(*l);
        l->table().first();
        l->table().deleteRecord();
        d().expectAsk(QStringLiteral("Hay cambios que no se han guardado"), ui::Button::Cancel);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton4"))->click();
        QVERIFY(l->isVisible());
        QCOMPARE(l->table().recordCount(), 2);
        QCOMPARE(d().last().caption, QStringLiteral("Atención"));
        QCOMPARE(d().last().defaultButton, ui::Button::Cancel);

        d().expectAsk(QStringLiteral("Hay cambios que no se han guardado"), ui::Button::Ok);
        l->close(); // the window's close box
        QVERIFY(!l->isVisible());
        QVERIFY(!l->table().isActive()); // the table is released
        QVERIFY2(d().done(), qPrintable(d().problems()));
    }

    // A pending edit in the grid counts as a change too.
    void pendingEditCountsAsChange() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        clickCell(*l, 0, 3);
        typeInGrid(l->grid(), QStringLiteral("x"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(l->table().state(), RxMem::State::Edit);
        d().expectAsk(QStringLiteral("¿Desea cerrar y descartarlos?"), ui::Button::Cancel);
        l->close();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(l->isVisible());
        QCOMPARE(l->table().state(), RxMem::State::Edit);
    }

    void webPageAndMenus() {
        auto l = listingOf(tmp_, 1);
        showGrid(*l);
        d().expectUrl(true);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().text, TFrmSolvanta::webAddress());

        const QStringList captions{QStringLiteral("Crear &Archivo"), QStringLiteral("&Solvanta"), QStringLiteral("E&xcel"),
                                   QStringLiteral("A&gregar"), QStringLiteral("&Modificar"), QStringLiteral("&Eliminar"),
                                   QStringLiteral("C&ódigos"), QStringLiteral("Masi&va"), QStringLiteral("Asi&gnar"),
                                   QStringLiteral("A&yuda"), QStringLiteral("Ace&rca de"), QStringLiteral("&Salir")};
        const QStringList names{QStringLiteral("SpeedButton1"), QStringLiteral("SpeedButton3"), QStringLiteral("SpeedButton5"),
                                QStringLiteral("SpeedButton13"), QStringLiteral("SpeedButton6"), QStringLiteral("SpeedButton7"),
                                QStringLiteral("SpeedButton2"), QStringLiteral("SpeedButton9"), QStringLiteral("SpeedButton12"),
                                QStringLiteral("SpeedButton8"), QStringLiteral("SpeedButton10"), QStringLiteral("SpeedButton4")};
        int left = -1;
        for (qsizetype i = 0; i < names.size(); ++i) {
            auto* b = l->findChild<QToolButton*>(names[i]);
            QVERIFY2(b, qPrintable(names[i]));
            QCOMPARE(b->text(), captions[i]);
            QVERIFY(b->x() > left); // left to right in this order
            left = b->x();
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        }
        // Buttons of windows still to come stay disabled.
        const QStringList later{QStringLiteral("SpeedButton5"), QStringLiteral("SpeedButton13"),
                                QStringLiteral("SpeedButton6"), QStringLiteral("SpeedButton9")};
        for (const QString& name : names)
            QCOMPARE(l->findChild<QToolButton*>(name)->isEnabled(), !later.contains(name));

        auto* menu = l->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
        d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?"), ui::Button::Cancel);
        auto* remove = menu->findChild<QAction*>(QStringLiteral("Eliminar1"));
        QVERIFY(remove);
        remove->trigger();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QStringList entries;
        for (QAction* a : menu->actions())
            entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(entries, (QStringList{QStringLiteral("Modificar"), QStringLiteral("Eliminar"), QStringLiteral("Agregar"),
                                       QStringLiteral("-"), QStringLiteral("Buscar")}));
        QCOMPARE(l->findChild<QMenu*>(QStringLiteral("PopupMenu2"))->actions().size(), 11);
        QCOMPARE(l->findChild<QMenu*>(QStringLiteral("PopupMenu3"))->actions().size(), 2);
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
