// The desktop program's correction path: the load dialog, the listing window
// and its grid, writing the corrected file, and closing with unsaved changes.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "ui/app/UnitPrincipal.h"
#include "ui/app/UnitSeleccionar.h"
#include "ui/help/UFrmAyudaParametros.h"
#include "ui/help/UnitAcercade.h"
#include "ui/help/UnitAyuda.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitSelFormato.h"
#include "ui/widgets/CommandBar.h"
#include "ui/widgets/RadioGroup.h"

#include <QAbstractItemModelTester>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>
#include <optional>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

class TestListing : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    // Every prompt a test does not expect is a failure, never a box that
    // waits for an answer.
    DialogScript d;

private slots:
    void init() { d.start(); }
    void cleanup() { d.finish(); }

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
        const ModalAction modal = whenModal([&](QWidget* w) {
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

    // A screen reader names every button and control of every window: by its
    // caption, its label or a name of its own.
    void everyControlHasAnAccessibleName() {
        auto listing = listingOf(tmp_, 3);
        std::vector<std::unique_ptr<QWidget>> windows;
        windows.emplace_back(std::make_unique<TFrmPrincipal>());
        windows.emplace_back(std::make_unique<TFrmSeleccionar>());
        windows.emplace_back(std::make_unique<TFrmSelFormato>());
        windows.emplace_back(std::make_unique<TFrmAcercade>());
        windows.emplace_back(std::make_unique<TFrmAyuda>());
        windows.emplace_back(std::make_unique<TFrmAyudaParametros>());
        d().expectInform(
            QStringLiteral("No se encontró el archivo Ayuda.html")); // not beside the tests
        qsizetype checked = 0;
        QList<QWidget*> all{listing.get()};
        for (const auto& w : windows)
            all << w.get();
        for (QWidget* window : all) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QList<QWidget*> controls;
            for (QWidget* w : window->findChildren<QWidget*>()) {
                const bool control =
                    qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                    qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                    qobject_cast<QTextEdit*>(w) ||
                    (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w));
                // Parts of a compound control (a view's corner button, a
                // combo box's line edit) are named by the control.
                QWidget* parent = w->parentWidget();
                if (control && w->isVisibleTo(window) &&
                    !qobject_cast<QAbstractItemView*>(parent) &&
                    !qobject_cast<QAbstractSpinBox*>(parent) && !qobject_cast<QComboBox*>(parent))
                    controls << w;
            }
            checked += controls.size();
            for (QWidget* w : controls) {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY(a);
                QVERIFY2(!a->text(QAccessible::Name).trimmed().isEmpty(),
                         qPrintable(QStringLiteral("%1: %2 %3")
                                        .arg(window->windowTitle(),
                                             QLatin1String(w->metaObject()->className()),
                                             w->objectName())));
            }
            window->close();
        }
        QVERIFY(checked > 20); // the toolbar alone has twelve buttons
        QCOMPARE(QAccessible::queryAccessibleInterface(
                     listing->findChild<QToolButton*>(QStringLiteral("SpeedButton1")))
                     ->text(QAccessible::Name),
                 QStringLiteral("Crear Archivo"));
    }

    // ---- the load dialog ------------------------------------------------------

    void loadCancelledAtEachStep() {
        TFrmSeleccionar dialog;
        d().expectAsk(QStringLiteral("Indique la ruta donde se encuentra el archivo"),
                      ui::Button::Cancel);
        dialog.chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const auto q = d().shown().first();
        QCOMPARE(q.caption, QStringLiteral("¡Atención!"));
        QCOMPARE(q.text, QStringLiteral("Señor Usuario:\nIndique la ruta donde se encuentra el "
                                        "archivo\nenviado a Solvanta"));
        QCOMPARE(q.icon, ui::Icon::Exclamation);
        QCOMPARE(q.defaultButton, ui::Button::Ok);

        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(QString()); // the user cancels the open dialog
        dialog.chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().request.filter,
                 QStringLiteral("Archivo .txt (*.txt);;Archivo .csv (*.csv);;Archivo .zip (*.zip);;"
                                "Planilla de Excel (*.xlsx)"));
        QVERIFY(!openListingWindow());
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
        TFrmPrincipal main;
        const auto dialog = main.loadDialog();
        QCOMPARE(dialog->itemIndex(), 0);
        dialog->findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(item);
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(file);
        int rows = -1, current = -1, form = -1;
        bool maximised = false;
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* listing = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(listing);
            QCOMPARE(listing->parentWidget(), dialog.get()); // over the load dialog
            form = listing->document().form() == FileForm::Position ? 0 : 1;
            rows = listing->model()->rowCount();
            current = listing->grid()->currentIndex().row();
            maximised = listing->windowState() & Qt::WindowMaximized;
            QCOMPARE(listing->windowTitle(), QStringLiteral("Listado para Solvanta"));
            listing->findChild<QToolButton*>(QStringLiteral("SpeedButton4"))->click(); // Salir
        });
        dialog->chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(rows, 2);
        QCOMPARE(current, 0); // a file opens at its first line
        QVERIFY(maximised);
        QCOMPARE(form, item);
        QVERIFY(!openListingWindow()); // released when it closed
    }

    // The load dialog's third choice reads a spreadsheet; a workbook chosen
    // under the first choice is read as one all the same, by its extension.
    void loadDialogOpensASpreadsheet_data() {
        QTest::addColumn<int>("item");
        QTest::newRow("chosen as a spreadsheet") << 2;
        QTest::newRow("by its extension") << 0;
    }

    void loadDialogOpensASpreadsheet() {
        QFETCH(int, item);
        TFrmPrincipal main;
        const auto dialog = main.loadDialog();
        dialog->findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(item);
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(dataFile("calc-editado.xlsx"));
        int rows = -1;
        bool sheet = false;
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* listing = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(listing);
            rows = listing->model()->rowCount();
            sheet = listing->document().isSheet();
            listing->findChild<QToolButton*>(QStringLiteral("SpeedButton4"))->click(); // Salir
        });
        dialog->chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        if (item == 2)
            QVERIFY(
                d().last().request.filter.startsWith(QStringLiteral("Planilla (*.xlsx *.csv)")));
        QCOMPARE(rows, 2);
        QVERIFY(sheet);
        QCOMPARE(dialog->itemIndex(), 2);
    }

    // The message names the line and the field, and quotes at most 80
    // characters of what it found, so the box fits on the screen.
    void failedLoadShowsNoListing_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QByteArray twoLines = readAll(dataFile("dos-lineas-coma.txt"));
        QTest::newRow("missing file") << 0 << QByteArray() << QStringLiteral("no existe");
        QTest::newRow("bad nacion") << 0 << QByteArray(twoLines + "\r\n" + twoLines)
                                    << QStringLiteral("Línea 3: está vacía");
        QTest::newRow("position file read by separator")
            << 1 << twoLines
            << QStringLiteral("Línea 1: no tiene los campos separados por «;», así que no "
                              "parece un archivo de declaración por separador.");
    }

    void failedLoadShowsNoListing() {
        QFETCH(int, item);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        const QString path = tmp_.filePath(QStringLiteral("fallida.txt"));
        QFile::remove(path);
        if (!bytes.isEmpty()) QVERIFY(writeAll(path, bytes));
        TFrmPrincipal main;
        const auto dialog = main.loadDialog();
        dialog->findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(item);
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(path);
        // A position file chosen as separated: the offer to read it by
        // position, declined here.
        if (item == 1)
            d().expectAsk(QStringLiteral("El archivo parece estar por posición"),
                          ui::Button::Cancel);
        d().expectError(message);
        bool listingShown = false;
        QTimer::singleShot(0, [&] {
            if (auto* w = qobject_cast<TFrmSolvanta*>(QApplication::activeModalWidget())) {
                listingShown = true;
                w->close();
            }
        });
        dialog->chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(d().shown().last().text.contains(QDir::toNativeSeparators(path)));
        QVERIFY(!listingShown);
        QCoreApplication::processEvents(); // let the scheduled check run
    }

    // Accepting the offer reads the file in the form its lines show.
    void wrongFormOfferedTheRightOne() {
        TFrmPrincipal main;
        const auto dialog = main.loadDialog();
        auto* form = dialog->findChild<RadioGroup*>(QStringLiteral("RadioGroup1"));
        form->setItemIndex(0);
        d().expectAsk(QString(), ui::Button::Ok);
        d().expectOpen(dataFile("dos-lineas-coma.csv"));
        d().expectAsk(QStringLiteral("parece estar por separador"), ui::Button::Ok);
        int lines = -1;
        FileForm read = FileForm::Position;
        QTimer::singleShot(0, [&] {
            if (auto* w = qobject_cast<TFrmSolvanta*>(QApplication::activeModalWidget())) {
                lines = w->table().recordCount();
                read = w->document().form();
                w->close();
            }
        });
        dialog->chooseFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(lines, 2);
        QCOMPARE(form->itemIndex(), 1);
        QCOMPARE(read, FileForm::Separator);
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
        Document document;
        TFrmSolvanta l(document);
        if (loaded == 0)
            l.load(dataFile("dos-lineas-coma.txt"), FileForm::Position);
        else
            l.load(dataFile("dos-lineas-coma.csv"), FileForm::Separator);
        showGrid(l);
        l.table().first();
        l.grid()->showTableCursor();
        const QString out = tmp_.filePath(QStringLiteral("Solvanta.txt"));
        d().expectSave(out);
        int proposed = -2;
        const ModalAction modal = whenModal([&](QWidget* w) {
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
        // Beside the file read, named after it.
        QCOMPARE(r.fileName, QStringLiteral("dos-lineas-coma-corregido"));
        QCOMPARE(QDir(r.directory), QFileInfo(dataFile("dos-lineas-coma.txt")).absoluteDir());
        QCOMPARE(r.filter, QStringLiteral("Archivo de Texto (*.txt)"));
        QVERIFY(!r.confirmOverwrite);
        QCOMPARE(readAll(out), readAll(expected));
        QCOMPARE(l.grid()->currentIndex().row(), 0); // the line current before writing
        QVERIFY(!l.hasUnsavedChanges());
        l.close();
        QVERIFY(!l.isVisible());
    }

    // After a write in the other form, the next write proposes that form:
    // the form of the file as last written.
    void writeProposesTheFormLastWritten() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        l->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        int proposed = -1;
        const auto write = [&](int choose) {
            proposed = -1;
            // Without a window manager nothing gives the listing its
            // activation back after a dialog: the test does.
            l->activateWindow();
            QTRY_VERIFY(l->isActiveWindow());
            const ModalAction modal = whenModalAppears([&, choose](QWidget* w) {
                auto* format = qobject_cast<TFrmSelFormato*>(w);
                proposed = format->itemIndex();
                if (choose >= 0) format->setItemIndex(choose);
                format->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
            });
            // Crear Archivo by its key, which presses the button a moment later.
            QTest::keyClick(l->grid(), Qt::Key_A, Qt::AltModifier);
            QTRY_VERIFY(proposed >= 0);
            QTRY_VERIFY(!QApplication::activeModalWidget());
        };
        d().expectSave(tmp_.filePath(QStringLiteral("separado.csv")));
        write(1);
        QCOMPARE(proposed, 0); // read by position, written by separator
        QVERIFY2(d().done(), qPrintable(d().problems()));
        d().expectSave(QString()); // the second time, cancelled at the file name
        write(-1);
        QCOMPARE(proposed, 1);
        QVERIFY2(d().done(), qPrintable(d().problems()));
    }

    // A new line inserted and left untouched is no part of the file: writing
    // neither asks about its empty fields nor writes it.
    void untouchedNewLineIsNotWritten() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        l->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        QTest::keyClick(l->grid(), Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClick(l->grid(), Qt::Key_Insert);
        QCOMPARE(l->table().recordCount(), 4);
        const QString out = tmp_.filePath(QStringLiteral("sin-linea-nueva.txt"));
        d().expectSave(out);
        const ModalAction modal = whenModalAppears(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        QTest::keyClick(l->grid(), Qt::Key_A, Qt::AltModifier); // Crear Archivo
        QTRY_VERIFY(QFile::exists(out));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY2(d().done(), qPrintable(d().problems())); // no question about the new line
        QCOMPARE(readAll(out).count("\r\n"), 3);
        QCOMPARE(l->table().recordCount(), 3);
    }

    // Writing over the very file that is open asks first; Cancel writes nothing.
    void writingOverTheOpenFileAsks() {
        const QString path = tmp_.filePath(QStringLiteral("abierto.txt"));
        QVERIFY(writeAll(path, readAll(dataFile("dos-lineas-coma.txt"))));
        OpenListing l;
        l->load(path, FileForm::Position);
        showGrid(*l);
        l->table().first();
        l->table().edit();
        l->table().setText(field("ape_pat"), u"CAMBIADO");
        l->table().post();
        const QByteArray before = readAll(path);
        for (const ui::Button answer : {ui::Button::Cancel, ui::Button::Ok}) {
            d().expectSave(path);
            d().expectAsk(QStringLiteral("«abierto.txt» es el archivo abierto. ¿Reemplazarlo con "
                                         "las líneas corregidas?"),
                          answer);
            const ModalAction modal = whenModal(
                [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
            l->createFile();
            QVERIFY2(d().done(), qPrintable(d().problems()));
            QCOMPARE(d().last().defaultButton, ui::Button::Cancel);
            QCOMPARE(readAll(path) == before, answer == ui::Button::Cancel);
        }
    }

    void cancelledWriteWritesNothing() {
        auto l = listingOf(tmp_, 2);
        showGrid(*l);
        const QString out = tmp_.filePath(QStringLiteral("cancelado.txt"));
        ModalAction modal = whenModal(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click(); });
        l->createFile();
        QVERIFY(d().shown().isEmpty()); // no save dialog after cancelling the format
        d().expectSave(QString());
        modal = whenModal(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->createFile();
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
        const QString out = tmp_.filePath(QStringLiteral("con-punto-y-coma.txt"));
        d().expectSave(out);
        d().expectError(QStringLiteral("Línea 1, campo [3] Apellido Paterno:"));
        const ModalAction modal = whenModal([](QWidget* w) {
            qobject_cast<TFrmSelFormato*>(w)->setItemIndex(1); // by separator
            w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        });
        l->createFile();
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

    // A spreadsheet opens as the file's lines: what its columns do not
    // match is asked about first, and a cell that cannot be read shows in
    // the problems panel with its address; declining loads nothing.
    void spreadsheetOpensAsLines_data() {
        QTest::addColumn<bool>("go");
        QTest::newRow("cancelled") << false;
        QTest::newRow("loaded") << true;
    }

    void spreadsheetOpensAsLines() {
        QFETCH(bool, go);
        const QString csv = tmp_.filePath(QStringLiteral("nomina.csv"));
        writeAll(csv, "rut;[27] Impo. afp;Notas\n11;1.000;x\n12;12,3,4;y\n");
        OpenListing l;
        d().expectAsk(QStringLiteral("Columnas que no se usan: Notas.\n\nCampos que faltan "
                                     "(quedan vacíos): "),
                      go ? ui::Button::Ok : ui::Button::Cancel);
        if (!go) {
            QVERIFY_THROWS_EXCEPTION(Cancelled, l->loadSheet(csv));
            QVERIFY2(d().done(), qPrintable(d().problems()));
            QVERIFY(l->table().isEmpty());
            return;
        }
        d().expectInform(QStringLiteral("1 celda de la planilla no se pudo leer y quedó vacía"));
        l->loadSheet(csv);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(l->table().recordCount(), 2);
        QCOMPARE(l->table().textAt(0, field("impo_afp")), QStringLiteral("1000"));
        QVERIFY(!l->table().recordAt(1).hasValue(field("impo_afp")));
        QVERIFY(!l->hasUnsavedChanges());
        QCOMPARE(l->findChild<QLabel*>(QStringLiteral("LabelArchivo"))->text(),
                 QStringLiteral("nomina.csv (planilla)"));
        QStringList problems;
        for (int r = 0; r < l->problems()->rowCount(); ++r)
            problems << l->problems()->index(r, 2).data().toString();
        QVERIFY2(problems.filter(QStringLiteral("nomina!B3: «12,3,4»")).size() == 1,
                 qPrintable(problems.join(u'\n')));
    }

    // Every toolbar button has an Alt key of its own, so each is reached
    // from the keyboard; Alt+L opens the web page.
    void everyButtonHasItsOwnKey() {
        auto l = listingOf(tmp_, 1);
        showGrid(*l);
        QSet<QString> keys;
        const QList<QToolButton*> buttons = l->findChildren<QToolButton*>();
        QVERIFY(buttons.size() >= 15);
        for (QToolButton* b : buttons) {
            if (b->objectName() == u"MasComandos") continue; // opens a menu of keyed commands
            const QString key = QKeySequence::mnemonic(b->text()).toString();
            QVERIFY2(!key.isEmpty(), qPrintable(b->objectName()));
            QVERIFY2(!keys.contains(key), qPrintable(key + u' ' + b->objectName()));
            keys.insert(key);
        }
        l->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(l.get()));
        d().expectUrl(true);
        QTest::keyClick(l->grid(), Qt::Key_L, Qt::AltModifier);
        QTRY_VERIFY(d().done());
    }

    void webPageAndMenus() {
        auto l = listingOf(tmp_, 1);
        l->resize(1366, 700); // every button in the row
        showGrid(*l);
        d().expectUrl(true);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().text, TFrmSolvanta::webAddress());
        // Without a browser to open it, the user is told where to go.
        d().expectUrl(false);
        d().expectInform(QStringLiteral("No se pudo abrir el navegador. Abra "
                                        "https://www.solvanta.cl en su navegador de Internet."));
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton3"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));

        const QStringList captions{QStringLiteral("Crear &Archivo"), QStringLiteral("So&lvanta"),
                                   QStringLiteral("E&xcel"),         QStringLiteral("A&gregar"),
                                   QStringLiteral("&Modificar"),     QStringLiteral("&Eliminar"),
                                   QStringLiteral("C&ódigos"),       QStringLiteral("Masi&va"),
                                   QStringLiteral("Asig&nar"),       QStringLiteral("A&yuda"),
                                   QStringLiteral("Ace&rca de"),     QStringLiteral("&Salir")};
        const QStringList names{QStringLiteral("SpeedButton1"),  QStringLiteral("SpeedButton3"),
                                QStringLiteral("SpeedButton5"),  QStringLiteral("SpeedButton13"),
                                QStringLiteral("SpeedButton6"),  QStringLiteral("SpeedButton7"),
                                QStringLiteral("SpeedButton2"),  QStringLiteral("SpeedButton9"),
                                QStringLiteral("SpeedButton12"), QStringLiteral("SpeedButton8"),
                                QStringLiteral("SpeedButton10"), QStringLiteral("SpeedButton4")};
        int left = -1;
        for (qsizetype i = 0; i < names.size(); ++i) {
            auto* b = l->findChild<QToolButton*>(names[i]);
            QVERIFY2(b, qPrintable(names[i]));
            QCOMPARE(b->text(), captions[i]);
            QVERIFY(b->x() > left); // left to right in this order
            left = b->x();
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        }
        // Every button works.
        for (const QString& name : names)
            QVERIFY2(l->findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));

        auto* menu = l->findChild<QMenu*>(QStringLiteral("PopupMenu1"));
        d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?"), ui::Button::Cancel);
        QAction* remove = nullptr;
        for (QAction* a : menu->actions())
            if (a->objectName() == u"Eliminar1") remove = a;
        QVERIFY(remove);
        remove->trigger();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QStringList entries;
        for (QAction* a : menu->actions())
            entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(entries,
                 (QStringList{QStringLiteral("Modificar"), QStringLiteral("Eliminar"),
                              QStringLiteral("Agregar"), QStringLiteral("-"),
                              QStringLiteral("Deshacer\tCtrl+Z"), QStringLiteral("Rehacer\tCtrl+Y"),
                              QStringLiteral("-"), QStringLiteral("Buscar\tCtrl+B"),
                              QStringLiteral("-"), QStringLiteral("Filtrar por este valor"),
                              QStringLiteral("Filtrar esta columna...\tAlt+Abajo"),
                              QStringLiteral("Solo líneas con problemas"),
                              QStringLiteral("Solo líneas modificadas"),
                              QStringLiteral("Mostrar todas las líneas\tCtrl+Mayús+L"),
                              QStringLiteral("-"), QStringLiteral("Resumen\tCtrl+T"),
                              QStringLiteral("Comparar con otro archivo...")}));
        QCOMPARE(l->findChild<QMenu*>(QStringLiteral("PopupMenu2"))->actions().size(), 11);
        QCOMPARE(l->findChild<QMenu*>(QStringLiteral("PopupMenu3"))->actions().size(), 2);
    }

    // The toolbar never cuts a caption: on a narrow window its captions go
    // under the icons, then the commands at its end go to the "»" menu, in
    // their order; a command in that menu keeps its Alt key.
    void captionsAreNeverCut_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("allInRow");
        QTest::newRow("1366") << 1366 << true;
        QTest::newRow("1100") << 1100 << true;
        QTest::newRow("1024") << 1024 << false;
        QTest::newRow("700") << 700 << false;
        QTest::newRow("420") << 420 << false;
    }

    void captionsAreNeverCut() {
        QFETCH(int, width);
        QFETCH(bool, allInRow);
        auto l = listingOf(tmp_, 1);
        QVERIFY(l->minimumSizeHint().width() <= 420);
        l->resize(width, 600);
        showGrid(*l);
        QTRY_COMPARE(l->width(), width);
        auto* bar = l->findChild<CommandBar*>();
        QVERIFY(bar);
        QStringList order, row;
        for (QToolButton* b : bar->buttons()) {
            order << b->defaultAction()->objectName();
            if (b->isHidden()) continue;
            row << b->defaultAction()->objectName();
            QVERIFY2(b->width() >= b->sizeHint().width(), qPrintable(b->objectName()));
            QVERIFY2(b->geometry().right() < bar->width(), qPrintable(b->objectName()));
        }
        QStringList menu;
        for (QAction* a : bar->moreButton()->menu()->actions())
            menu << a->objectName();
        QCOMPARE(row + menu, order);
        QCOMPARE(menu.isEmpty(), allInRow);
        QCOMPARE(bar->moreButton()->isVisible(), !allInRow);
        if (allInRow) return;
        QVERIFY(bar->moreButton()->geometry().right() < bar->width());
        // The last buttons are the ones that leave the row.
        QVERIFY(menu.contains(u"Salir1"_s));
        if (!menu.contains(u"Acercade1"_s)) return;
        l->activateWindow();
        QTRY_VERIFY(l->isActiveWindow());
        const ModalAction about = whenModalAppears([](QWidget* w) {
            QVERIFY(qobject_cast<TFrmAcercade*>(w));
            w->close();
        });
        QTest::keyClick(l->grid(), Qt::Key_R, Qt::AltModifier);
        QTRY_VERIFY(about.ran());
    }

    // ---- the line menu ------------------------------------------------------------

    // A right-click makes the clicked line the current one and the only one
    // highlighted before the line menu shows, whatever was current or
    // highlighted before, so the menu's commands act on the line the user
    // sees; the deletion question names it.
    void lineMenuActsOnTheClickedLine_data() {
        QTest::addColumn<QString>("before");  // how line 7 came to be highlighted
        QTest::addColumn<QString>("command"); // chosen in the menu
        QTest::newRow("back from the editor, Eliminar") << u"editor"_s << u"Eliminar1"_s;
        QTest::newRow("several lines highlighted, Eliminar") << u"ctrl"_s << u"Eliminar1"_s;
        QTest::newRow("back from the editor, Modificar") << u"editor"_s << u"Modificar1"_s;
    }

    void lineMenuActsOnTheClickedLine() {
        QFETCH(QString, before);
        QFETCH(QString, command);
        QVERIFY(placeCodeTableBesideProgram());
        auto l = listingOf(tmp_, 12);
        l->table().moveTo(8); // line 9: a RUT with every part
        l->table().edit();
        l->table().setText(field("rut"), u"12345678"_s);
        l->table().setText(field("dv"), u"5"_s);
        l->table().post();
        l->table().moveTo(0);
        showGrid(*l);
        DeclarationGrid* g = l->grid();
        auto cellAt = [&](int row) {
            g->scrollTo(g->model()->index(row, 3));
            return g->viewport()->mapTo(l.get(), g->visualRect(g->model()->index(row, 3)).center());
        };
        if (before == u"editor") {
            // Line 7 opened in the editor, which Escape closes.
            QTest::mouseClick(l->windowHandle(), Qt::LeftButton, {}, cellAt(6));
            const ModalAction modal =
                whenModalAppears([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
            QTest::mouseDClick(l->windowHandle(), Qt::LeftButton, {}, cellAt(6));
            QTRY_VERIFY(modal.ran());
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QCOMPARE(selectedRows(*l), QList<int>{6});
        } else {
            clickCell(*l, 2, 3);
            clickCell(*l, 4, 3, Qt::ControlModifier);
            clickCell(*l, 6, 3, Qt::ControlModifier);
            QCOMPARE(selectedRows(*l), (QList<int>{2, 4, 6}));
        }
        QCOMPARE(l->table().row(), 6);

        auto* menu = l->findChild<QMenu*>(u"PopupMenu1"_s);
        QTest::mouseClick(l->windowHandle(), Qt::RightButton, {}, cellAt(8));
        QTRY_VERIFY(menu->isVisible());
        // What the menu acts on is what the grid shows.
        QCOMPARE(selectedRows(*l), QList<int>{8});
        QCOMPARE(g->currentIndex().row(), 8);
        QCOMPARE(l->table().row(), 8);

        QAction* chosen = l->findChild<QAction*>(command);
        QString editorRut;
        std::optional<ModalAction> modal;
        if (command == u"Eliminar1") {
            d().expectAsk(u"¿Seguro de Eliminar esta línea?"_s, ui::Button::Ok);
        } else {
            modal.emplace(whenModal([&](QWidget* w) {
                editorRut = w->findChild<QLineEdit*>(u"EdRut"_s)->text();
                QTest::keyClick(w, Qt::Key_Escape);
            }));
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
        if (command == u"Eliminar1") {
            QVERIFY2(d().done(), qPrintable(d().problems()));
            QCOMPARE(d().last().text,
                     u"¿Seguro de Eliminar esta línea?\n\nLínea 9, RUT 12.345.678-5"_s);
            QCOMPARE(ruts(*l), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12}));
        } else {
            QTRY_VERIFY(modal->ran());
            QCOMPARE(editorRut, u"12345678"_s);
            QCOMPARE(l->table().recordCount(), 12);
        }
    }
};

QTEST_MAIN(TestListing)
#include "tst_listing.moc"
